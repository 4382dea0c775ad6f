#!/usr/bin/env python3
"""Writes the small MIDI files the music tests play (run by hand; the
results are kept beside it)."""
import struct
import sys


def vlq(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, 0x80 | (v & 0x7F))
        v >>= 7
    return bytes(out)


def smf(events, division=480):
    body = b"".join(events) + vlq(0) + b"\xff\x2f\x00"
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, division) +
            b"MTrk" + struct.pack(">I", len(body)) + body)


def chord(ticks):
    """Tempo 500000, channel volume 100, piano, a C major chord held for
    `ticks` (480 a half second)."""
    on = [vlq(0) + bytes([0x90, k, 100]) for k in (60, 64, 67)]
    off = [vlq(ticks if i == 0 else 0) + bytes([0x80, k, 0]) for i, k in enumerate((60, 64, 67))]
    return smf([vlq(0) + b"\xff\x51\x03\x07\xa1\x20", vlq(0) + b"\xb0\x07\x64",
                vlq(0) + b"\xc0\x00"] + on + off)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    with open(folder + "/song.mid", "wb") as f:
        f.write(chord(960))  # one second
