#!/usr/bin/env python3
"""The pydicom side of the waveform benchmark.

Usage: bench_dcmwave_pydicom.py OUTDIR SAMPLES_PER_CHANNEL REPEATS
Builds a six-lead 500 Hz General ECG waveform object from sample arrays,
saves it, loads it and splits the samples into channels again, as the C++
side does; prints the best time in seconds and a checksum of the samples.
"""
import os
import sys
import time

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, generate_uid
from pydicom.waveforms.numpy_handler import multiplex_array

LEADS = [("2:1", "Lead I"), ("2:2", "Lead II"), ("2:61", "Lead III"),
         ("2:62", "Lead aVR"), ("2:63", "Lead aVL"), ("2:64", "Lead aVF")]


def code(value, scheme, meaning):
    c = Dataset()
    c.CodeValue = value
    c.CodingSchemeDesignator = scheme
    c.CodeMeaning = meaning
    return c


def run(path, samples):
    # the same samples as the C++ side: (i * 7 + c * 13) % 2000 - 1000
    i = np.arange(samples, dtype=np.int64)
    channels = [((i * 7 + c * 13) % 2000 - 1000).astype("<i2") for c in range(6)]

    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.9.1.2"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.PatientName = "Bench^Dog"
    ds.Modality = "ECG"
    g = Dataset()
    g.MultiplexGroupTimeOffset = "0"
    g.WaveformOriginality = "ORIGINAL"
    g.NumberOfWaveformChannels = 6
    g.NumberOfWaveformSamples = samples
    g.SamplingFrequency = "500"
    defs = []
    for value, meaning in LEADS:
        d = Dataset()
        d.ChannelSourceSequence = Sequence([code(value, "MDC", meaning)])
        d.ChannelSensitivity = "1"
        d.ChannelSensitivityUnitsSequence = Sequence([code("uV", "UCUM", "microvolt")])
        d.ChannelSensitivityCorrectionFactor = "1"
        d.ChannelBaseline = "0"
        d.WaveformBitsStored = 16
        defs.append(d)
    g.ChannelDefinitionSequence = Sequence(defs)
    g.WaveformBitsAllocated = 16
    g.WaveformSampleInterpretation = "SS"
    g.WaveformData = np.stack(channels, axis=1).tobytes()  # interleaved frames
    ds.WaveformSequence = Sequence([g])
    ds.save_as(path, write_like_original=False)

    back = pydicom.dcmread(path)
    arr = multiplex_array(back, 0, as_raw=True)
    split = [np.ascontiguousarray(arr[:, c]) for c in range(arr.shape[1])]
    return sum(int(s.astype(np.int64).sum()) for s in split)


def main():
    outdir, samples, repeats = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    path = os.path.join(outdir, "pydicom_bench.dcm")
    best = None
    checksum = 0
    for _ in range(repeats):
        start = time.perf_counter()
        checksum = run(path, samples)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"{best:.6f} {checksum}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
