#!/usr/bin/env python3
"""Writes waveform objects the way another system would, with pydicom.

Usage: wvf_pydicom_write.py OUTDIR
Writes OUTDIR/two_groups.dcm (a 16-bit SS group of 3 channels and an 8-bit
SB group of 2 channels, annotations of every kind, a UTF-8 patient name,
synchronization and referenced instances) and OUTDIR/eight_bit.dcm (one UB
group with a padding value); prints the paths.
"""
import os
import sys

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, generate_uid


def code(value, scheme, meaning, version=None):
    c = Dataset()
    c.CodeValue = value
    c.CodingSchemeDesignator = scheme
    if version is not None:
        c.CodingSchemeVersion = version
    c.CodeMeaning = meaning
    return c


def group(interp, bits, channels, samples, label, padding=None, synchronized=True):
    g = Dataset()
    if synchronized:  # the offset belongs to a synchronized acquisition time
        g.MultiplexGroupTimeOffset = "0.0"
    g.WaveformOriginality = "ORIGINAL"
    g.NumberOfWaveformChannels = channels
    g.NumberOfWaveformSamples = samples
    g.SamplingFrequency = "500"
    g.MultiplexGroupLabel = label
    defs = []
    for c in range(channels):
        d = Dataset()
        d.WaveformChannelNumber = str(c + 1)
        d.ChannelLabel = f"CH{c + 1}"
        d.ChannelStatus = "OK"
        d.ChannelSourceSequence = Sequence([code(f"2:{c + 1}", "MDC", f"Lead {c + 1}")])
        mod = code("5.4.5-33-1", "SCPECG", "Derived", "1.3")
        d.ChannelSourceModifiersSequence = Sequence([mod])
        d.ChannelSensitivity = "2.5"
        d.ChannelSensitivityUnitsSequence = Sequence([code("uV", "UCUM", "microvolt", "1.4")])
        d.ChannelSensitivityCorrectionFactor = "1"
        d.ChannelBaseline = "0"
        d.ChannelSampleSkew = "0"
        d.WaveformBitsStored = bits
        d.FilterLowFrequency = "0.05"
        d.FilterHighFrequency = "150"
        d.NotchFilterFrequency = "50"
        defs.append(d)
    g.ChannelDefinitionSequence = Sequence(defs)
    g.WaveformBitsAllocated = bits
    g.WaveformSampleInterpretation = interp
    dtype = {"SS": "<i2", "US": "<u2", "SB": "i1", "UB": "u1"}[interp]
    rng = np.random.default_rng(channels * 1000 + samples)
    info = np.iinfo(dtype)
    arr = rng.integers(info.min, info.max, size=(samples, channels), endpoint=True).astype(dtype)
    if padding is not None:
        g.add_new(0x5400100A, "OW" if bits == 16 else "OB",
                  np.array([padding], dtype=dtype).tobytes() if bits == 16 else bytes([padding & 0xFF]))
    g.add_new(0x54001010, "OW" if bits == 16 else "OB", arr.tobytes())
    return g


def base(sop_class):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = sop_class
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.SOPClassUID = sop_class
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.StudyInstanceUID = generate_uid()
    ds.SeriesInstanceUID = generate_uid()
    ds.Modality = "ECG"
    ds.SeriesNumber = "7"
    ds.InstanceNumber = "3"
    ds.ContentDate = "20240315"
    ds.ContentTime = "101530"
    ds.AcquisitionDateTime = "20240315101500"
    ds.StudyDate = "20240315"
    ds.StudyTime = "101500"
    ds.StudyID = "S-42"
    ds.AccessionNumber = "ACC-0815"
    ds.ReferringPhysicianName = "Vet^Anna"
    ds.PatientID = "P-1001"
    ds.PatientBirthDate = "20190305"
    ds.PatientSex = "M"
    ds.PatientSexNeutered = "ALTERED"
    ds.PatientSpeciesDescription = "Canine"
    ds.PatientBreedDescription = "Beagle"
    ds.PatientWeight = "12.5"
    ds.ResponsiblePersonRole = "OWNER"
    ds.Manufacturer = "Other Vendor"
    ds.ManufacturerModelName = "Model 9"
    ds.AcquisitionContextSequence = Sequence([])
    return ds


def two_groups(path):
    ds = base("1.2.840.10008.5.1.4.1.1.9.1.2")
    ds.SpecificCharacterSet = "ISO_IR 192"
    ds.PatientName = "Müller^Bello"
    ds.ResponsiblePerson = "Müller^Jürgen"
    ds.Laterality = "R"
    ds.SynchronizationFrameOfReferenceUID = "1.2.840.10008.15.1.1"
    ds.SynchronizationTrigger = "NO TRIGGER"
    ds.AcquisitionTimeSynchronized = "Y"
    ds.SynchronizationChannel = [1, 2]
    ref = Dataset()
    ref.ReferencedSOPClassUID = "1.2.840.10008.5.1.4.1.1.9.1.1"
    ref.ReferencedSOPInstanceUID = generate_uid()
    ref.PurposeOfReferenceCodeSequence = Sequence([code("121311", "DCM", "Localizer")])
    ds.ReferencedInstanceSequence = Sequence([ref])
    ds.WaveformSequence = Sequence([group("SS", 16, 3, 1000, "ECG"), group("SB", 8, 2, 333, "AUX")])
    anns = []
    a = Dataset()  # free text at one sample
    a.UnformattedTextValue = "R"
    a.ReferencedWaveformChannels = [1, 1]
    a.TemporalRangeType = "POINT"
    a.ReferencedSamplePositions = [100]
    anns.append(a)
    a = Dataset()  # a measurement: concept name, numeric value and units
    a.ConceptNameCodeSequence = Sequence([code("8633-2", "LN", "QRS duration")])
    a.NumericValue = "92"
    a.MeasurementUnitsCodeSequence = Sequence([code("ms", "UCUM", "millisecond", "1.4")])
    a.ReferencedWaveformChannels = [1, 0]
    a.AnnotationGroupNumber = 2
    anns.append(a)
    a = Dataset()  # a coded finding with a modifier, over a segment in time
    a.ConceptNameCodeSequence = Sequence([code("18810-2", "LN", "ECG lead")])
    cc = code("10:10", "MDC", "Sinus rhythm")
    cc.ModifierCodeSequence = Sequence([code("R-404FB", "SRT", "Minimal")])
    a.ConceptCodeSequence = Sequence([cc])
    a.ReferencedWaveformChannels = [1, 2, 2, 1]
    a.TemporalRangeType = "SEGMENT"
    a.ReferencedTimeOffsets = ["0.2", "0.6"]
    anns.append(a)
    a = Dataset()  # a measurement of another system without concept name
    a.UnformattedTextValue = "HR"
    a.NumericValue = "75"
    a.ReferencedWaveformChannels = [1, 1]
    anns.append(a)
    ds.WaveformAnnotationSequence = Sequence(anns)
    ds.save_as(path, write_like_original=False)


def eight_bit(path):
    ds = base("1.2.840.10008.5.1.4.1.1.9.4.2")
    ds.Modality = "AU"
    ds.PatientName = "Rex"
    ds.ResponsiblePerson = "Smith^John"
    ds.WaveformSequence = Sequence([group("UB", 8, 4, 250, "AUDIO", padding=0x80, synchronized=False)])
    ds.save_as(path, write_like_original=False)


def main():
    outdir = sys.argv[1]
    for name, fn in (("two_groups", two_groups), ("eight_bit", eight_bit)):
        path = os.path.join(outdir, name + ".dcm")
        fn(path)
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
