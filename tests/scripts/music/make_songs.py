#!/usr/bin/env python3
"""Writes the small MIDI files the music tests and the sample game play
(run by hand: make_songs.py tests/scripts/music games/demo/sound; the
results are kept)."""
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


def theme():
    """The sample game's tune: four bars of chords on strings over a bass
    line, two seconds a bar."""
    ev = [vlq(0) + b"\xff\x51\x03\x07\xa1\x20", vlq(0) + b"\xc0\x30",
          vlq(0) + b"\xc1\x20", vlq(0) + b"\xb0\x07\x50", vlq(0) + b"\xb1\x07\x64"]
    for root in (60, 57, 53, 55):
        keys = (root, root + 4 if root in (60, 53, 55) else root + 3, root + 7)
        ev += [vlq(0) + bytes([0x90, k, 70]) for k in keys]
        ev.append(vlq(0) + bytes([0x91, root - 24, 90]))
        ev.append(vlq(1920) + bytes([0x81, root - 24, 0]))
        ev += [vlq(0) + bytes([0x80, k, 0]) for k in keys]
    return smf(ev)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    with open(folder + "/song.mid", "wb") as f:
        f.write(chord(960))  # one second
    if len(sys.argv) > 2:
        with open(sys.argv[2] + "/theme.mid", "wb") as f:
            f.write(theme())
