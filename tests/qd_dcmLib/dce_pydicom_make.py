#!/usr/bin/env python3
"""Writes a waveform object the way another maker's system would, with pydicom.

Usage: dce_pydicom_make.py OUTFILE CASE
The samples of channel c (from 0) at time t are
((t * 37 + c * 1000 + (t * t) % 101) % 2001) - 1000, 600 per channel.
"""
import sys

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

SAMPLES = 600
GENERAL_ECG = "1.2.840.10008.5.1.4.1.1.9.1.2"
TWELVE_LEAD_ECG = "1.2.840.10008.5.1.4.1.1.9.1.1"
HEMODYNAMIC = "1.2.840.10008.5.1.4.1.1.9.2.1"
CT_IMAGE = "1.2.840.10008.5.1.4.1.1.2"

MDC = {"I": "2:1", "II": "2:2", "III": "2:61", "aVR": "2:62", "aVL": "2:63", "aVF": "2:64",
       "V1": "2:3", "V2": "2:4", "V3": "2:5", "V4": "2:6", "V5": "2:7", "V6": "2:8"}
TWELVE = ["I", "II", "III", "aVR", "aVL", "aVF", "V1", "V2", "V3", "V4", "V5", "V6"]

# The patient cases: three plain leads, the patient written as other makers
# do; a value of None leaves the attribute out.
PATIENTS = {
    "patient_caret_in_name": {"PatientName": "Keller^Minka^Anna"},
    "patient_no_owner": {"PatientName": "Minka"},
    "patient_m_no_neutered": {"PatientSex": "M", "PatientSexNeutered": None},
    "patient_f_no_neutered": {"PatientSex": "F", "PatientSexNeutered": None},
    "patient_f_empty_neutered": {"PatientSex": "F", "PatientSexNeutered": ""},
    "patient_m_unaltered": {"PatientSex": "M", "PatientSexNeutered": "UNALTERED"},
    "patient_m_altered": {"PatientSex": "M", "PatientSexNeutered": "ALTERED"},
    "patient_o_altered": {"PatientSex": "O"},
    "patient_no_sex": {"PatientSex": None, "PatientSexNeutered": None},
}


def code(value, scheme, meaning, version=None):
    c = Dataset()
    c.CodeValue = value
    c.CodingSchemeDesignator = scheme
    if version is not None:
        c.CodingSchemeVersion = version
    c.CodeMeaning = meaning
    return c


def values(channels):
    t = np.arange(SAMPLES, dtype=np.int64)
    return np.stack([((t * 37 + c * 1000 + (t * t) % 101) % 2001) - 1000 for c in range(channels)], axis=1)


def group(leads, scheme="MDC", sensitivity="1", units=("uV", "microvolt"), correction="1", baseline="0",
          interp="SS", bits=16, frequency="500", originality="ORIGINAL", arr=None):
    g = Dataset()
    if originality is not None:
        g.WaveformOriginality = originality
    g.NumberOfWaveformChannels = len(leads)
    g.NumberOfWaveformSamples = SAMPLES
    if frequency is not None:
        g.SamplingFrequency = frequency
    defs = []
    for lead in leads:
        d = Dataset()
        if scheme == "MDC":
            d.ChannelSourceSequence = Sequence([code(MDC[lead], "MDC", "Lead " + lead)])
        elif scheme == "OFFIS_DCMTK_354":
            d.ChannelSourceSequence = Sequence([code("Malvorant", "OFFIS_DCMTK_354", lead, "1.3")])
        else:
            d.ChannelSourceSequence = Sequence([code("5.6.3-9-%d" % (100 + len(defs)), "SCPECG", "Lead " + lead)])
        d.ChannelSensitivity = sensitivity
        d.ChannelSensitivityUnitsSequence = Sequence([code(units[0], "UCUM", units[1], "1.4")])
        d.ChannelSensitivityCorrectionFactor = correction
        d.ChannelBaseline = baseline
        d.WaveformBitsStored = bits
        defs.append(d)
    g.ChannelDefinitionSequence = Sequence(defs)
    g.WaveformBitsAllocated = bits
    g.WaveformSampleInterpretation = interp
    if arr is None:
        arr = values(len(leads))
    if bits == 8:
        g["WaveformData"] = pydicom.DataElement(0x54001010, "OB", (arr % 100).astype("i1").tobytes())
    elif interp == "US":
        g["WaveformData"] = pydicom.DataElement(0x54001010, "OW", (arr + 1000).astype("<u2").tobytes())
    else:
        g["WaveformData"] = pydicom.DataElement(0x54001010, "OW", arr.astype("<i2").tobytes())
    return g


def annotation(text, position, numeric=None, concept=None, group_number=1):
    a = Dataset()
    if text is not None:
        a.UnformattedTextValue = text
    if concept is not None:
        a.ConceptNameCodeSequence = Sequence([code(concept, "99TEST", concept)])
    if numeric is not None:
        a.NumericValue = numeric
        a.MeasurementUnitsCodeSequence = Sequence([code("1", "UCUM", "no units")])
    a.ReferencedWaveformChannels = [group_number, 1]
    a.TemporalRangeType = "POINT"
    a.ReferencedSamplePositions = position
    return a


def main():
    out, case = sys.argv[1], sys.argv[2]
    ds = Dataset()
    sop_class = GENERAL_ECG
    groups = None
    leads3 = ["I", "II", "III"]
    if case == "legacy_own":
        groups = [group(leads3 + ["aVR", "aVL", "aVF"], scheme="OFFIS_DCMTK_354")]
    elif case == "sensitivity_mv":
        groups = [group(leads3, sensitivity="0.005", units=("mV", "millivolt"))]
    elif case == "correction_baseline":
        groups = [group(leads3, sensitivity="2.5", correction="1.04", baseline="10")]
    elif case == "one_channel":
        groups = [group(["I"])]
    elif case == "two_channels":
        groups = [group(["I", "II"])]
    elif case == "one_channel_ii":
        groups = [group(["II"])]
    elif case == "two_channels_ii_iii":
        groups = [group(["II", "III"])]
    elif case == "two_channels_i_avf":
        groups = [group(["I", "aVF"])]
    elif case == "sensitivity_inf":
        # a decimal string beyond any double
        groups = [group(leads3, sensitivity="1E+999")]
    elif case == "sensitivity_huge":
        # a finite scale whose values pass what a recording's numbers hold
        groups = [group(leads3, sensitivity="1E+300")]
    elif case == "three_unknown_leads":
        groups = [group(["V1", "V2", "V3"], scheme="SCPECG")]
    elif case == "leads_by_code":
        groups = [group(["aVR", "III", "II", "I", "aVL", "aVF"])]
    elif case == "twelve_channels":
        groups = [group(TWELVE)]
    elif case == "thirteen_channels":
        groups = [group(TWELVE + ["V6"])]
    elif case == "frequency_250":
        groups = [group(leads3, frequency="250")]
    elif case == "no_frequency":
        groups = [group(leads3, frequency=None)]
    elif case == "derived":
        groups = [group(leads3, originality="DERIVED")]
    elif case == "no_originality":
        groups = [group(leads3, originality=None)]
    elif case == "eight_bit":
        groups = [group(leads3, interp="SB", bits=8)]
    elif case == "unsigned":
        groups = [group(leads3, interp="US")]
    elif case == "two_groups":
        groups = [group(leads3), group(["I", "II"], interp="SB", bits=8)]
    elif case == "no_sop_class":
        sop_class = None
        groups = [group(leads3)]
    elif case in PATIENTS:
        groups = [group(leads3)]
    elif case == "hemodynamic":
        sop_class = HEMODYNAMIC
        groups = [group(leads3)]
    elif case == "ct_image":
        sop_class = CT_IMAGE
        groups = [group(leads3)]
    elif case in ("annotations", "annotations_own_earlier"):
        # The same marks on the same samples: the standard's positions count
        # from 1, those of the program's earlier versions from 0.
        earlier = case == "annotations_own_earlier"
        first = 0 if earlier else 1
        groups = [group(leads3, scheme="OFFIS_DCMTK_354")]
        marks = [
            ("R", 0, None),
            ("LOWBAT", 2, None),
            ("R", 3, "0"),
            ("R", 5, None),
            ("USER_MARK_1", 5, None),            # same position: the first applies
            ("UNKNOWN", 1, None),                # out of order
            ("USER_MARK_2", 7, "7"),
            ("CHANNEL_ERROR", 8, "-3.9"),
            ("PACKET_ERROR", 9, "12"),
            (None, 10, None),                    # no text: a plain sample
            ("L", 11, None),
            ("USER_MARK_4", 12, None),
            ("SOMETHING_ELSE", 13, None),
            ("USER_MARK_3", SAMPLES + 5, None),  # beyond the samples
        ]
        items = [annotation(t, p + first, n, concept=None if t else "BEAT") for t, p, n in marks]
        if not earlier:
            items.insert(1, annotation("LOWBAT", 0))  # position 0 is none: passed over
        ds.WaveformAnnotationSequence = Sequence(items)
        if earlier:
            ds.Manufacturer = "Malvorant Windows"
            ds.ManufacturerModelName = "Yarlo Malvorant 8.0.2 build: 078"
    elif case == "r_peaks":
        # lead II peaks every 100 samples, each R mark at its peak's position (from 1)
        arr = values(3)
        arr[:, 1] = np.clip(arr[:, 1], -1000, 500)
        peaks = list(range(50, SAMPLES, 100))
        arr[peaks, 1] = 900
        groups = [group(leads3, arr=arr)]
        ds.WaveformAnnotationSequence = Sequence([annotation("R", p + 1) for p in peaks])
    elif case == "v_leads_only":
        groups = [group(["V1", "V2", "V3", "V4", "V5", "V6"])]
    elif case == "avf_alone":
        groups = [group(["aVF"])]
    elif case in ("median_first", "median_first_250"):
        # a 12-lead object: the median beat (derived, its leads in another
        # order) before the rhythm; marks name their group
        sop_class = TWELVE_LEAD_ECG
        rhythm = "250" if case == "median_first_250" else "500"
        groups = [group(list(reversed(TWELVE)), originality="DERIVED"), group(TWELVE, frequency=rhythm)]
        ds.WaveformAnnotationSequence = Sequence([annotation("R", 21, group_number=1),
                                                  annotation("R", 11, group_number=2)])
    elif case == "latin1":
        ds.SpecificCharacterSet = "ISO_IR 100"
        groups = [group(leads3)]
    else:
        print("unknown case " + case, file=sys.stderr)
        return 2

    if sop_class is not None:
        ds.SOPClassUID = sop_class
    ds.SOPInstanceUID = generate_uid()
    ds.Modality = "ECG"
    ds.PatientName = "Müller^Bello" if case == "latin1" else "Other^Maker"
    ds.PatientID = "TP-1"
    ds.PatientSex = "F"
    ds.PatientSexNeutered = "ALTERED"
    ds.PatientBirthDate = "20180704"
    ds.PatientSpeciesDescription = "feline"
    for keyword, value in PATIENTS.get(case, {}).items():
        if value is None:
            delattr(ds, keyword)
        else:
            setattr(ds, keyword, value)
    ds.StudyDate = "20240102"
    ds.StudyTime = "101500"
    ds.StudyInstanceUID = generate_uid()
    ds.SeriesInstanceUID = generate_uid()  # a PACS such as Orthanc stores nothing without it
    ds.WaveformSequence = Sequence(groups)

    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = sop_class or GENERAL_ECG
    meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta = meta
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(out, write_like_original=False)
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
