#!/usr/bin/env python3
"""Synthesises resources/MetalClang.wav, the wizard's error sound: a short metallic
clang made of inharmonic partials that die away at different rates, struck by a
brief noise burst. Standard library only; the output is the same on every run."""

import math
import random
import struct
import sys
import wave
from pathlib import Path

RATE = 22050
SECONDS = 0.6
# (frequency in Hz, relative amplitude, decay time in seconds): the ratios of a
# struck bar, which is what makes it sound like metal rather than a note.
PARTIALS = [
    (620.0, 1.00, 0.30),
    (1710.0, 0.70, 0.18),
    (3350.0, 0.45, 0.10),
    (5540.0, 0.30, 0.06),
    (8270.0, 0.15, 0.04),
]
STRIKE_SECONDS = 0.008


def samples():
    noise = random.Random(20110329)
    count = int(RATE * SECONDS)
    total_amplitude = sum(a for _, a, _ in PARTIALS)
    for n in range(count):
        t = n / RATE
        value = sum(a * math.exp(-t / d) * math.sin(2 * math.pi * f * t) for f, a, d in PARTIALS)
        value /= total_amplitude
        if t < STRIKE_SECONDS:
            value += 0.5 * (1 - t / STRIKE_SECONDS) * noise.uniform(-1.0, 1.0)
        # A 5 ms fade at the end, so the last sample meets silence without a click.
        fade = min(1.0, (count - n) / (0.005 * RATE))
        yield max(-1.0, min(1.0, value * fade))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "MetalClang.wav"
    frames = b"".join(struct.pack("<h", int(round(s * 0.8 * 32767))) for s in samples())
    with wave.open(str(out), "wb") as wav:
        wav.setnchannels(1)
        wav.setsampwidth(2)
        wav.setframerate(RATE)
        wav.writeframes(frames)


if __name__ == "__main__":
    main()
