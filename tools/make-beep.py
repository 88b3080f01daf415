#!/usr/bin/env python3
"""Writes the beat tone: 60 ms of 1 kHz, 16-bit mono at 22,050 Hz, with 5 ms ramps."""
import math, struct, sys, wave

rate, seconds, freq, ramp = 22050, 0.060, 1000.0, 0.005
out = sys.argv[1] if len(sys.argv) > 1 else "qml/sounds/beep.wav"
n = int(rate * seconds)
frames = bytearray()
for i in range(n):
    t = i / rate
    envelope = min(1.0, t / ramp, (seconds - t) / ramp)
    frames += struct.pack("<h", int(0.6 * 32767 * envelope * math.sin(2 * math.pi * freq * t)))
with wave.open(out, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(bytes(frames))
