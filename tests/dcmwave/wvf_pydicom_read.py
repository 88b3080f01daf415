#!/usr/bin/env python3
"""Reads a waveform object with pydicom and prints every module as JSON.

Usage: wvf_pydicom_read.py FILE SAMPLES.bin
The samples of every multiplex group (pydicom's own de-multiplexing, raw
values) go to SAMPLES.bin as int32 little endian, group after group, channel
after channel.
"""
import json
import sys

import numpy as np
import pydicom
from pydicom.waveforms.numpy_handler import multiplex_array


def text(ds, keyword):
    if keyword not in ds:
        return None
    value = ds.data_element(keyword).value
    if value is None:
        return ""
    if isinstance(value, (list, tuple, pydicom.multival.MultiValue)):
        return [str(v) for v in value]
    return str(value)


def code(seq_item):
    return {k: text(seq_item, k) for k in
            ("CodeValue", "CodingSchemeDesignator", "CodingSchemeVersion", "CodeMeaning")}


def main():
    ds = pydicom.dcmread(sys.argv[1])
    out = {"meta_sop_class": str(ds.file_meta.MediaStorageSOPClassUID)}
    for k in ("SpecificCharacterSet", "SOPClassUID", "SOPInstanceUID", "InstanceCreationDate",
              "InstanceCreationTime", "InstanceCreatorUID", "InstitutionName",
              "PatientName", "PatientID", "PatientBirthDate", "PatientSex", "PatientSexNeutered",
              "ResponsiblePerson", "ResponsiblePersonRole", "PatientSpeciesDescription",
              "PatientBreedDescription", "PatientWeight",
              "StudyInstanceUID", "StudyDate", "StudyTime", "ReferringPhysicianName", "StudyID",
              "AccessionNumber", "Modality", "SeriesInstanceUID", "SeriesNumber", "Manufacturer",
              "ManufacturerModelName", "SoftwareVersions", "InstanceNumber", "ContentDate", "ContentTime",
              "AcquisitionDateTime"):
        out[k] = text(ds, k)
    out["AcquisitionContextSequence"] = len(ds.AcquisitionContextSequence) if "AcquisitionContextSequence" in ds else None
    annotations = []
    for item in ds.get("WaveformAnnotationSequence", []):
        a = {k: text(item, k) for k in ("UnformattedTextValue", "NumericValue", "ReferencedWaveformChannels",
                                         "TemporalRangeType", "ReferencedSamplePositions",
                                         "ReferencedTimeOffsets", "AnnotationGroupNumber")}
        for s in ("ConceptNameCodeSequence", "ConceptCodeSequence", "MeasurementUnitsCodeSequence"):
            a[s] = code(item.get(s)[0]) if s in item else None
        annotations.append(a)
    out["annotations"] = annotations
    groups = []
    with open(sys.argv[2], "wb") as bin_out:
        for g, item in enumerate(ds.WaveformSequence):
            arr = multiplex_array(ds, g, as_raw=True)
            group = {k: text(item, k) for k in ("MultiplexGroupTimeOffset", "WaveformOriginality",
                                                 "NumberOfWaveformChannels", "NumberOfWaveformSamples",
                                                 "SamplingFrequency", "WaveformBitsAllocated",
                                                 "WaveformSampleInterpretation")}
            group["WaveformDataVR"] = item["WaveformData"].VR
            group["shape"] = list(arr.shape)
            channels = []
            for ch in item.ChannelDefinitionSequence:
                c = {k: text(ch, k) for k in ("ChannelSensitivity", "ChannelSensitivityCorrectionFactor",
                                               "ChannelBaseline", "ChannelTimeSkew", "WaveformBitsStored")}
                c["source"] = code(ch.ChannelSourceSequence[0])
                c["units"] = code(ch.ChannelSensitivityUnitsSequence[0])
                channels.append(c)
            group["channels"] = channels
            groups.append(group)
            bin_out.write(np.ascontiguousarray(arr.T.astype("<i4")).tobytes())
    out["groups"] = groups
    print(json.dumps(out, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
