#!/usr/bin/env python3
"""Compares a window captured by xwd with a 24- or 32-bit BMP, pixel for pixel.
usage: compare_xwd.py WINDOW.xwd PICTURE.bmp"""
import struct
import sys


def read_xwd(path):
    d = open(path, 'rb').read()
    (header_size, version, fmt, depth, width, height, xoff, byte_order, unit, bit_order, pad,
     bpp, bpl, visual, rmask, gmask, bmask, bits_rgb, cmap_entries, ncolors) = struct.unpack_from('>20I', d, 0)
    if version != 7 or bpp not in (24, 32):
        raise SystemExit(f'unsupported capture: version {version}, {bpp} bits per pixel')
    data = d[header_size + 12 * ncolors:]
    step = bpp // 8
    shift = lambda m: (m & -m).bit_length() - 1
    px = []
    for y in range(height):
        row = []
        for x in range(width):
            b = data[y * bpl + x * step: y * bpl + x * step + step]
            v = int.from_bytes(b, 'little' if byte_order == 0 else 'big')
            r, g, bl = (v & rmask) >> shift(rmask), (v & gmask) >> shift(gmask), (v & bmask) >> shift(bmask)
            row.append((r, g, bl))
        px.append(row)
    return width, height, px


def read_bmp(path):
    d = open(path, 'rb').read()
    off = struct.unpack_from('<I', d, 10)[0]
    w, h = struct.unpack_from('<ii', d, 18)
    bpp = struct.unpack_from('<H', d, 28)[0]
    step = bpp // 8
    bpr = (w * step + 3) // 4 * 4
    px = []
    for y in range(h):
        r = d[off + (h - 1 - y) * bpr:]
        px.append([(r[x * step + 2], r[x * step + 1], r[x * step]) for x in range(w)])
    return w, h, px


def main():
    ww, wh, wpx = read_xwd(sys.argv[1])
    bw, bh, bpx = read_bmp(sys.argv[2])
    if (ww, wh) != (bw, bh):
        raise SystemExit(f'window is {ww}x{wh}, the view page {bw}x{bh}')
    bad = [(x, y) for y in range(bh) for x in range(bw) if wpx[y][x] != bpx[y][x]]
    if bad:
        x, y = bad[0]
        raise SystemExit(f'{len(bad)} pixels differ; first at {x},{y}: window {wpx[y][x]}, page {bpx[y][x]}')
    print(f"window matches the picture ({bw}x{bh})")


if __name__ == '__main__':
    main()
