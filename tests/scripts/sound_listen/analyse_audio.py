#!/usr/bin/env python3
"""Checks the recording of listen.c: parts separated by silence, their
levels, the pan, the echo's delay, and silence after the stop."""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from recording import read_recording  # noqa: E402

THRESHOLD = 64  # a sample above this is sound
GAP = 0.06      # silence shorter than this does not end a part


def main(path):
    rate, data = read_recording(path)
    left, right = data[0::2], data[1::2]
    loud = [max(abs(l), abs(r)) > THRESHOLD for l, r in zip(left, right)]
    parts, start, last = [], None, None
    for i, x in enumerate(loud):
        if not x:
            continue
        if start is None:
            start = i
        elif i - last > GAP * rate:
            parts.append((start, last + 1))
            start = i
        last = i
    if start is not None:
        parts.append((start, last + 1))
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAILED: ") + what)
        if not ok:
            failures.append(what)

    check(len(parts) == 6, "six parts heard (%d: %s)" % (len(parts), [(a / rate, b / rate) for a, b in parts]))
    if len(parts) != 6:
        return 1

    def rms(samples, part):
        a, b = part
        a, b = a + (b - a) // 4, b - (b - a) // 4
        return math.sqrt(sum(float(x) * x for x in samples[a:b]) / (b - a))

    full, half = rms(left, parts[0]), rms(left, parts[1])
    db = 20 * math.log10(half / full)
    check(abs(db + 10) <= 0.3, "volume 50 is 10 dB under 100 (%.2f dB)" % db)
    check(rms(right, parts[2]) == 0 and rms(left, parts[2]) > 0.9 * full, "pan -100 silences the right")
    delay = (parts[4][0] - parts[3][0]) * 1000 / rate
    check(abs(delay - 150) <= 2, "the echo follows 150 ms later (%.1f ms)" % delay)
    check(abs(rms(left, parts[4]) / rms(left, parts[3]) - 1) < 0.05, "echo as loud as the dry click at half mix")
    tail = (len(left) - parts[5][1]) / rate
    check(tail >= 0.3, "silence after the stop (%.2f s)" % tail)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
