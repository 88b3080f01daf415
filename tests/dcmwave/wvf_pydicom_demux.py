#!/usr/bin/env python3
"""Reads waveform files with pydicom and its own de-multiplexing.

Usage: wvf_pydicom_demux.py OUT.bin FILE...
For each multiplex group of each file one line goes to stdout:
  GROUP <file index> <group index> <channels> <samples> <bits> <interpretation> <vr>
  followed by one line per channel: CHANNEL <code value> <sensitivity> <baseline>
and the raw samples go to OUT.bin, channel after channel, as int32 little endian.
"""
import sys

import numpy as np
import pydicom
from pydicom.waveforms.numpy_handler import multiplex_array


def main():
    out_path = sys.argv[1]
    with open(out_path, "wb") as out:
        for f, path in enumerate(sys.argv[2:]):
            ds = pydicom.dcmread(path)
            for g, item in enumerate(ds.WaveformSequence):
                arr = multiplex_array(ds, g, as_raw=True)
                samples, channels = arr.shape
                vr = item["WaveformData"].VR
                print(f"GROUP {f} {g} {channels} {samples} {item.WaveformBitsAllocated} "
                      f"{item.WaveformSampleInterpretation} {vr}")
                for ch in item.ChannelDefinitionSequence:
                    src = ch.ChannelSourceSequence[0].CodeValue
                    print(f"CHANNEL {src} {float(ch.ChannelSensitivity)!r} {float(ch.ChannelBaseline)!r}")
                out.write(np.ascontiguousarray(arr.T.astype("<i4")).tobytes())
    return 0


if __name__ == "__main__":
    sys.exit(main())
