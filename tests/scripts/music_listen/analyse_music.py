#!/usr/bin/env python3
"""Checks the recording of listen.c: music is heard, volume 50 lowers it,
and the stop silences it; then the CD track's fade-in rises over its second
and the track plays on at full level."""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from recording import read_recording  # noqa: E402


def main(path):
    rate, data = read_recording(path)
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
    # The music ends at the first quiet stretch of a third of a second; the
    # CD track is what is heard after it.
    start = loud[0]
    end = start
    for a, b in zip(loud, loud[1:]):
        if b - a > rate // 3:
            end = a
            break
    cd = [i for i in loud if i > end]

    def rms(a, b):
        a, b = int(a), int(b)
        return math.sqrt(sum(float(x) * x for x in left[a:b]) / max(1, b - a))

    full = rms(start + 0.3 * rate, start + 0.9 * rate)
    half = rms(start + 1.3 * rate, start + 1.9 * rate)
    check(full > 100, "the chord is loud enough (rms %.0f)" % full)
    check(half < 0.7 * full, "midi_setvol(50) lowers it (%.0f then %.0f)" % (full, half))
    check(end - start < 2.3 * rate, "the music stops after two seconds")

    check(len(cd) > rate // 2, "the CD track is heard")
    if not cd:
        return 1
    # The fade's first step is heard one period after the track starts.
    begin = cd[0]
    steps = [rms(begin + k * 0.25 * rate, begin + (k + 1) * 0.25 * rate) for k in range(4)]
    after = rms(begin + 1.1 * rate, begin + 1.4 * rate)
    check(all(a < b for a, b in zip(steps, steps[1:])),
          "the fade-in rises over its second (%s)" % ", ".join("%.0f" % s for s in steps))
    check(steps[0] < 0.5 * after and after > 1000,
          "the track then plays at full level (%.0f)" % after)
    check(len(left) - cd[-1] > 0.2 * rate, "silence after the CD stop")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
