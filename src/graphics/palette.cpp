// The script palette and its built-ins, the 5-5-5 colour map that `pal_map`
// builds by a flood fill over the colour cube, and the HSV conversions.
#include <vector>

#include "graphics/colour.h"
#include "graphics/pages.h"
#include "graphics/plane.h"
#include "graphics/plane_table.h"
#include "vm/trap.h"

namespace tob::gfx {
namespace {

constexpr int64_t kWeightRed = 900, kWeightGreen = 3481, kWeightBlue = 121;

// Weighted distance between a 5-5-5 cell and a colour, on 6-bit channels.
int64_t cell_distance(uint32_t cell, uint32_t colour) {
    int64_t dr = int64_t((cell >> 10) & 31) * 2 - int64_t(red_of(colour) >> 2);
    int64_t dg = int64_t((cell >> 5) & 31) * 2 - int64_t(green_of(colour) >> 2);
    int64_t db = int64_t(cell & 31) * 2 - int64_t(blue_of(colour) >> 2);
    return kWeightRed * dr * dr + kWeightGreen * dg * dg + kWeightBlue * db * db;
}

}  // namespace

void build_colour_map(const uint32_t* palette, uint8_t* map) {
    std::fill(map, map + kColourMapCells, uint8_t(0));
    // A ring of cells to visit; a cell is never in it twice (one that gains a
    // better index while queued keeps its place and carries the new index).
    std::vector<uint32_t> queue;
    queue.reserve(kColourMapCells);
    std::vector<uint8_t> queued(kColourMapCells, 0);
    size_t head = 0;
    auto push = [&](uint32_t cell) {
        if (queued[cell]) return;
        queued[cell] = 1;
        queue.push_back(cell);
    };
    for (uint32_t i = 1; i < 256; ++i) {
        uint32_t cell = cell_of(palette[i] & 0xFFFFFF);
        if (map[cell] != 0) continue;
        map[cell] = uint8_t(i);
        push(cell);
    }
    while (head < queue.size()) {
        uint32_t cell = queue[head++];
        queued[cell] = 0;
        uint8_t index = map[cell];
        uint32_t colour = palette[index] & 0xFFFFFF;
        uint32_t c[3] = {(cell >> 10) & 31, (cell >> 5) & 31, cell & 31};
        for (int axis = 0; axis < 3; ++axis) {
            for (int step = -1; step <= 1; step += 2) {
                int v = int(c[axis]) + step;
                if (v < 0 || v > 31) continue;
                uint32_t n[3] = {c[0], c[1], c[2]};
                n[axis] = uint32_t(v);
                uint32_t neighbour = n[0] << 10 | n[1] << 5 | n[2];
                uint8_t present = map[neighbour];
                if (present == 0) {
                    map[neighbour] = index;
                    push(neighbour);
                } else if (present != index &&
                           cell_distance(neighbour, colour) <
                               cell_distance(neighbour, palette[present] & 0xFFFFFF)) {
                    map[neighbour] = index;
                    push(neighbour);
                }
            }
        }
        // Compact the ring once its consumed front grows large.
        if (head > 65536 && head * 2 > queue.size()) {
            queue.erase(queue.begin(), queue.begin() + long(head));
            head = 0;
        }
    }
}

uint32_t rgb_to_hsv(uint32_t c) {
    int32_t r = int32_t(red_of(c)), g = int32_t(green_of(c)), b = int32_t(blue_of(c));
    int32_t v = std::max({r, g, b}), mn = std::min({r, g, b});
    int32_t s = v == 0 ? 0 : (v - mn) * 255 / v;
    int32_t h = 0;
    if (s != 0) {
        int32_t d = v - mn;
        int32_t rr = (v - r) * 255 / d, gg = (v - g) * 255 / d, bb = (v - b) * 255 / d;
        int32_t h1 = r == v ? bb - gg : g == v ? rr - bb + 512 : gg - rr + 1024;
        if (h1 < 0) h1 += 1536;
        h = h1 * 2048 / 1536;
    }
    return uint32_t(h) << 16 | uint32_t(s) << 8 | uint32_t(v);
}

uint32_t hsv_to_rgb(uint32_t hsv) {
    uint32_t h = (hsv >> 16) & 2047, s = (hsv >> 8) & 255, v = hsv & 255;
    if (s == 0) return rgb(v, v, v);
    uint32_t hh = (h * 1536) >> 11, f = hh & 255, sector = hh >> 8;
    uint32_t p = (255 - s) * v / 255;
    uint32_t q = (255 - s * f / 255) * v / 255;
    uint32_t t = (255 - (255 - f) * s / 255) * v / 255;
    switch (sector) {
        case 0:
            return rgb(v, t, p);
        case 1:
            return rgb(q, v, p);
        case 2:
            return rgb(p, v, t);
        case 3:
            return rgb(p, q, v);
        case 4:
            return rgb(t, p, v);
        default:
            return rgb(v, p, q);
    }
}

}  // namespace tob::gfx
