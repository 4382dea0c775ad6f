#!/usr/bin/env python3
"""Checks a capture of window.c: the drawn picture outside the video's
rectangle (40, 30)-(120, 90), and inside it the clip's last frame (number
49, shown in binary in its top rows) at half size. With BAR, a menu bar
BAR pixels high lies above the picture. With "closed", the picture alone.
usage: check_window.py WINDOW.xwd [BAR [closed]]"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from compare_xwd import read_xwd  # noqa: E402

PAGE, SQUARE = (0xC0, 0x80, 0x20), (0x20, 0xA0, 0x40)
LEFT, TOP, RIGHT, BOTTOM = 40, 30, 120, 90


def near(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def main():
    w, h, px = read_xwd(sys.argv[1])
    bar = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    closed = len(sys.argv) > 3 and sys.argv[3] == "closed"
    if (w, h) != (160, 120 + bar):
        raise SystemExit(f"window is {w}x{h}")
    if bar:
        # The bar is drawn by the menu, not the video: no video pixel in it.
        top_row = px[bar // 2]
        if any(near(p, (40, 80, 200), 30) for p in top_row[LEFT:RIGHT]):
            raise SystemExit("the video shows through the menu bar")
        px = px[bar:]
        h -= bar
    for y in range(h):
        for x in range(w):
            if LEFT <= x < RIGHT and TOP <= y < BOTTOM and not closed:
                continue
            want = SQUARE if 10 <= x < 30 and 10 <= y < 30 else PAGE
            if px[y][x] != want:
                raise SystemExit(f"outside the video at {x},{y}: {px[y][x]}, expected {want}")
    if closed:
        print("window shows the picture alone after the clip closed")
        return
    # Half size: the bit blocks are 10 pixels wide and 20 high.
    number = 0
    for bit in range(8):
        r, g, b = px[TOP + 10][LEFT + bit * 10 + 5]
        if g > 128:
            number |= 1 << bit
    if number != 49:
        raise SystemExit(f"the video shows frame {number}, expected 49")
    blue = px[BOTTOM - 5][(LEFT + RIGHT) // 2]
    if not near(blue, (40, 80, 200)):
        raise SystemExit(f"the clip's blue is {blue}")
    print("window shows the picture and the video's last frame in its rectangle")


if __name__ == "__main__":
    main()
