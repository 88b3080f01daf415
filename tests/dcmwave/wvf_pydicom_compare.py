#!/usr/bin/env python3
"""Compares a waveform object with the same object read and written again.

Usage: wvf_pydicom_compare.py ORIGINAL REWRITTEN
Every attribute of ORIGINAL (also inside sequences) must be in REWRITTEN with
the same value, but for the ones a new instance makes anew (SOP Instance UID,
creation date, time and creator) and the type 3 synchronization attributes
that are not written. Prints each difference; exit code 1 when there is any.
"""
import sys

import pydicom

NEW_FOR_EACH_INSTANCE = {"SOPInstanceUID", "InstanceCreationDate", "InstanceCreationTime",
                         "InstanceCreatorUID"}
NOT_WRITTEN = {"TriggerSourceOrType", "TimeSource", "TimeDistributionProtocol", "NTPSourceAddress"}


def compare(a, b, path, problems):
    for elem in a:
        kw = elem.keyword
        if kw in NEW_FOR_EACH_INSTANCE or kw in NOT_WRITTEN:
            continue
        where = f"{path}{kw or elem.tag}"
        if elem.tag not in b:
            problems.append(f"missing {where}")
            continue
        other = b[elem.tag]
        if elem.VR == "SQ":
            if len(elem.value) != len(other.value):
                problems.append(f"{where}: {len(elem.value)} items, now {len(other.value)}")
                continue
            for i, (x, y) in enumerate(zip(elem.value, other.value)):
                compare(x, y, f"{where}[{i}].", problems)
        elif elem.value != other.value:
            va, vb = elem.value, other.value
            if isinstance(va, bytes) and len(va) > 64:
                va, vb = f"{len(va)} bytes", f"{len(vb)} bytes (different)"
            problems.append(f"{where}: {va!r} != {vb!r}")


def main():
    a = pydicom.dcmread(sys.argv[1])
    b = pydicom.dcmread(sys.argv[2])
    problems = []
    compare(a, b, "", problems)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
