#!/usr/bin/env python3
"""Reads an .ecg recording straight from its byte layout and prints its header
fields and records as JSON (each record: lead II, lead I, lead III as floats,
the first and third words as integers, type, extra). Kept apart from the program's own reader so the
tests can check the two against each other."""
import json
import struct
import sys

SYNC = bytes([0xAA] * 4 + [0x55] * 4)


def text(block, offset, width):
    raw = block[offset:offset + width]
    end = raw.find(b"\0")
    return (raw if end < 0 else raw[:end]).decode("utf-8", "replace")


def main(path):
    data = open(path, "rb").read()
    out = {}
    if data[:8] == SYNC and len(data) >= 10:
        version = struct.unpack(">H", data[8:10])[0]
    else:
        version = 0
    out["version"] = version
    start = {0: 0, 1: 1000, 2: 110000}.get(version)
    if start is None:
        out["refused"] = True
        print(json.dumps(out))
        return
    if version >= 1:
        p = data[10:10 + 655].ljust(655, b"\0")
        out["patientName"] = text(p, 0, 60)
        out["patientBirthdate"] = text(p, 60, 15)
        out["gender"] = text(p, 75, 10)
        out["species"] = text(p, 85, 20)
        out["ownerLastName"] = text(p, 105, 60)
        out["ownerFirstName"] = text(p, 165, 40)
        out["spareText1"] = text(p, 205, 60)
        out["spareText2"] = text(p, 265, 15)
        out["spareText3"] = text(p, 280, 60)
        out["spareText4"] = text(p, 340, 60)
        out["extPatientId"] = text(p, 595, 60)
        r = data[671:671 + 92].ljust(92, b"\0")
        out["recordingText"] = text(r, 0, 20)
        out["date"] = text(r, 44, 8)
        out["time"] = text(r, 56, 6)
    body = data[start:] if len(data) > start else b""
    n = len(body) // 16
    records = []
    for i in range(n):
        ii, i1, iii, rtype, extra = struct.unpack_from("<fffhh", body, i * 16)
        ii_bits, _, iii_bits = struct.unpack_from("<iii", body, i * 16)
        records.append([ii, i1, iii, ii_bits, iii_bits, rtype, extra])
    out["count"] = n
    out["records"] = records
    print(json.dumps(out))


if __name__ == "__main__":
    main(sys.argv[1])
