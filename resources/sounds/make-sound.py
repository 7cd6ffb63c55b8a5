#!/usr/bin/env python3
"""Generate Basso.aiff, the controller's notification sound.

A soft, low two-tone chime: G4 then D4 (a falling fourth), each note a sine with
a quieter octave partial, a short attack so it does not click, and an
exponential decay so it fades rather than stops. Mono, 16-bit, 22050 Hz.

The AIFF container is written by hand (it is three small chunks) so the script
needs nothing beyond the standard library and keeps working on Python versions
that no longer ship the aifc module.

Usage: python3 make-sound.py [output path]   (default: Basso.aiff beside this script)
"""
import math
import os
import struct
import sys

RATE = 22050
DURATION = 0.45          # seconds, whole sound including the tail
PEAK = 0.45              # of full scale: a notification, not an alarm

# (start s, frequency Hz, length s, level)
NOTES = [
    (0.000, 392.00, 0.30, 1.00),   # G4
    (0.120, 293.66, 0.33, 0.90),   # D4, overlapping the first note's tail
]
ATTACK = 0.012           # seconds of raised-cosine fade-in per note
RELEASE = 0.025         # seconds of linear fade-out at the end of each note
DECAY = 0.085            # exponential time constant of each note
OCTAVE_LEVEL = 0.22      # the octave partial gives the chime a little shimmer
END_FADE = 0.03          # final fade so the last sample is silence


def note_sample(t, freq, length, level):
    if t < 0.0 or t >= length:
        return 0.0
    env = math.exp(-t / DECAY)
    if t < ATTACK:
        env *= 0.5 - 0.5 * math.cos(math.pi * t / ATTACK)
    if length - t < RELEASE:
        # ends each note at exactly zero, or the cut-off would click
        env *= (length - t) / RELEASE
    # the octave partial dies away faster than the fundamental, as on a struck bar
    tone = math.sin(2 * math.pi * freq * t) + OCTAVE_LEVEL * math.exp(-t / (DECAY / 2)) * math.sin(
        4 * math.pi * freq * t)
    return level * env * tone


def render():
    n = int(RATE * DURATION)
    raw = []
    for i in range(n):
        t = i / RATE
        v = sum(note_sample(t - start, f, length, lvl) for start, f, length, lvl in NOTES)
        remaining = DURATION - t
        if remaining < END_FADE:
            v *= remaining / END_FADE
        raw.append(v)
    top = max(abs(v) for v in raw) or 1.0
    return [int(round(v / top * PEAK * 32767)) for v in raw]


def ieee_extended(x):
    """80-bit IEEE 754 extended float, as AIFF stores its sample rate."""
    if x == 0:
        return b"\0" * 10
    exponent = int(math.floor(math.log2(x)))
    mantissa = int(x / 2.0 ** exponent * (1 << 63))
    return struct.pack(">HQ", exponent + 16383, mantissa)


def write_aiff(path, samples):
    frames = struct.pack(">%dh" % len(samples), *samples)
    comm = struct.pack(">hLh", 1, len(samples), 16) + ieee_extended(RATE)
    ssnd = struct.pack(">LL", 0, 0) + frames
    chunks = b"COMM" + struct.pack(">L", len(comm)) + comm
    chunks += b"SSND" + struct.pack(">L", len(ssnd)) + ssnd
    with open(path, "wb") as fh:
        fh.write(b"FORM" + struct.pack(">L", 4 + len(chunks)) + b"AIFF" + chunks)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "Basso.aiff")
    write_aiff(out, render())
    print(out)


if __name__ == "__main__":
    main()
