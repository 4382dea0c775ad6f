#!/usr/bin/env python3
"""Checks the recording of listen.c: the tone at volume 100, about 15 dB
lower at 50, silence after the stop, and the tone at 50 after play."""
import math
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from recording import read_recording  # noqa: E402

WINDOW = 0.05    # seconds a level is measured over
THRESHOLD = 64   # a window whose loudest sample passes this is sound


def main(path):
    rate, data = read_recording(path)
    n = int(rate * WINDOW) * 2
    peaks = [max((abs(x) for x in data[i:i + n]), default=0) for i in range(0, len(data), n)]
    # Runs of loud windows; a single quiet window does not end one.
    runs, start, quiet = [], None, 0
    for i, p in enumerate(peaks + [0, 0]):
        if p > THRESHOLD:
            if start is None:
                start = i
            quiet = 0
        elif start is not None:
            quiet += 1
            if quiet >= 2:
                runs.append((start, i - quiet + 1))
                start, quiet = None, 0
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAILED: ") + what)
        if not ok:
            failures.append(what)

    def db(a, b):
        return 20 * math.log10(a / b) if a > 0 and b > 0 else -999

    check(len(runs) == 2, "two stretches of tone (%s)" % [(a * WINDOW, b * WINDOW) for a, b in runs])
    if len(runs) == 2:
        (a0, a1), (b0, b1) = runs
        first = peaks[a0:a1]
        loud = statistics.median(first[2:len(first) // 2 - 2])
        soft = statistics.median(first[len(first) // 2 + 4:-1])
        again = statistics.median(peaks[b0 + 2:b1 - 1])
        check(abs(db(soft, loud) + 15.05) < 2, "volume 50 is about 15 dB lower (%.1f dB)" % db(soft, loud))
        check((b0 - a1) * WINDOW >= 0.4, "silence after the stop (%.2f s)" % ((b0 - a1) * WINDOW))
        check(abs(db(again, soft)) < 2, "play brings the tone back at the stored volume (%.1f dB)"
              % db(again, soft))
        check(loud > 1000, "the tone is heard (peak %d)" % loud)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
