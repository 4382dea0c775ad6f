#!/usr/bin/env python3
"""Checks the recording of listen.c: music is heard, volume 50 lowers it,
and the stop silences it."""
import array
import math
import sys
import wave


def main(path):
    with wave.open(path, "rb") as w:
        assert w.getnchannels() == 2 and w.getsampwidth() == 2, "16-bit stereo expected"
        rate = w.getframerate()
        data = array.array("h", w.readframes(w.getnframes()))
    left = data[0::2]
    loud = [i for i, x in enumerate(left) if abs(x) > 64]
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAILED: ") + what)
        if not ok:
            failures.append(what)

    check(len(loud) > rate // 2, "music is heard")
    if not loud:
        return 1
    start, end = loud[0], loud[-1]

    def rms(a, b):
        a, b = int(a), int(b)
        return math.sqrt(sum(float(x) * x for x in left[a:b]) / max(1, b - a))

    full = rms(start + 0.3 * rate, start + 0.9 * rate)
    half = rms(start + 1.3 * rate, start + 1.9 * rate)
    check(full > 100, "the chord is loud enough (rms %.0f)" % full)
    check(half < 0.7 * full, "midi_setvol(50) lowers it (%.0f then %.0f)" % (full, half))
    check(len(left) - end > 0.2 * rate, "silence after the stop")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
