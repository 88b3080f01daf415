#!/usr/bin/env python3
"""Makes damaged copies of a good waveform file, one per fault.

Usage: wvf_make_malformed.py GOOD.dcm OUTDIR
Prints the names of the files written (OUTDIR/<fault>.dcm), one a line.
The first multiplex group is the one damaged.
"""
import os
import sys

import pydicom


def damage(ds, fault):
    item = ds.WaveformSequence[0]
    if fault == "channel_item_removed":
        # data interleaved for n channels, only n - 1 definitions
        del item.ChannelDefinitionSequence[-1]
    elif fault == "channel_count_wrong":
        item.NumberOfWaveformChannels = int(item.NumberOfWaveformChannels) - 1
        del item.ChannelDefinitionSequence[-1]
    elif fault == "bits_allocated_8":
        item.WaveformBitsAllocated = 8
    elif fault == "bits_allocated_missing":
        del item.WaveformBitsAllocated
    elif fault == "bits_allocated_4":
        item.WaveformBitsAllocated = 4
    elif fault == "interpretation_missing":
        del item.WaveformSampleInterpretation
    elif fault == "interpretation_unknown":
        item.WaveformSampleInterpretation = "SL"
    elif fault == "waveform_data_missing":
        del item.WaveformData
    elif fault == "channel_definitions_missing":
        del item.ChannelDefinitionSequence
    elif fault == "channel_definitions_empty":
        item.ChannelDefinitionSequence = pydicom.Sequence([])
    elif fault == "bits_stored_missing":
        del item.ChannelDefinitionSequence[0].WaveformBitsStored
    elif fault == "number_of_channels_missing":
        del item.NumberOfWaveformChannels
    elif fault == "truncated_data":
        data = item.WaveformData
        item.WaveformData = data[: len(data) // 2]
    elif fault == "truncated_to_partial_frame":
        frame = int(item.NumberOfWaveformChannels) * int(item.WaveformBitsAllocated) // 8
        item.WaveformData = item.WaveformData[: frame - 2] if frame > 2 else b""
    elif fault == "empty_data":
        item.WaveformData = b""
    elif fault == "sop_class_missing":
        del ds.SOPClassUID
    else:
        raise ValueError(fault)


FAULTS = [
    "channel_item_removed", "channel_count_wrong", "bits_allocated_8", "bits_allocated_missing",
    "bits_allocated_4", "interpretation_missing", "interpretation_unknown", "waveform_data_missing",
    "channel_definitions_missing", "channel_definitions_empty", "bits_stored_missing",
    "number_of_channels_missing", "truncated_data", "truncated_to_partial_frame", "empty_data",
]


def main():
    good, outdir = sys.argv[1], sys.argv[2]
    faults = sys.argv[3:] or FAULTS
    for fault in faults:
        ds = pydicom.dcmread(good)
        damage(ds, fault)
        path = os.path.join(outdir, fault + ".dcm")
        ds.save_as(path, write_like_original=True)
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
