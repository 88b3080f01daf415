#!/usr/bin/env python3
"""Reads every DICOM object a PACS keeps under a folder with pydicom.

Usage: pacs_pydicom_objects.py FOLDER
Walks FOLDER (dcmqrscp's storage area or Orthanc's storage directory); files
that are not DICOM (the archives' own index files) are passed over. Prints a
JSON list, one entry per object: its identifying attributes and, for each
multiplex group, the channel and sample counts and the raw range of every
channel (pydicom's own de-multiplexing).
"""
import json
import os
import sys

import pydicom
from pydicom.errors import InvalidDicomError
from pydicom.waveforms.numpy_handler import multiplex_array


def text(ds, keyword):
    if keyword not in ds:
        return None
    value = ds.data_element(keyword).value
    return "" if value is None else str(value)


def read(path):
    try:
        ds = pydicom.dcmread(path)
    except (InvalidDicomError, OSError, EOFError, ValueError):
        return None
    if "SOPInstanceUID" not in ds:
        return None
    out = {k: text(ds, k) for k in ("SOPClassUID", "SOPInstanceUID", "PatientID", "PatientName",
                                    "StudyInstanceUID", "SeriesInstanceUID", "Modality",
                                    "InstitutionName", "PatientSpeciesDescription", "PatientSex",
                                    "PatientSexNeutered")}
    groups = []
    for g, item in enumerate(ds.get("WaveformSequence", [])):
        arr = multiplex_array(ds, g, as_raw=True)  # samples x channels
        groups.append({
            "channels": int(item.NumberOfWaveformChannels),
            "samples": int(item.NumberOfWaveformSamples),
            "shape": list(arr.shape),
            "min": [int(v) for v in arr.min(axis=0)] if arr.size else [],
            "max": [int(v) for v in arr.max(axis=0)] if arr.size else [],
        })
    out["groups"] = groups
    return out


def main():
    objects = []
    for root, _dirs, files in os.walk(sys.argv[1]):
        for name in sorted(files):
            entry = read(os.path.join(root, name))
            if entry is not None:
                objects.append(entry)
    print(json.dumps(objects, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
