// Fill, line and polygon routines.
#include "graphics/raster.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/blend_tables.h"
#include "graphics/colour.h"

namespace tob::gfx {
namespace {

using i128 = __int128;

bool drawable(const Plane& p) {
    return p.depth() >= 8;
}

// Writes `count` pixels of raw value v starting at dst.
void put_pixels(uint8_t* dst, uint32_t bpp, uint32_t v, int64_t count) {
    if (bpp == 1) {
        std::memset(dst, int(v & 255), size_t(count));
        return;
    }
    uint8_t px[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    for (int64_t i = 0; i < count; ++i, dst += bpp) std::memcpy(dst, px, bpp);
}

// Fills [left, right) x [top, bottom) (inside the plane): the first row pixel
// by pixel, the others copied from it.
void fill_box(Plane& p, const Box& b, uint32_t v) {
    const uint32_t bpp = p.depth() / 8;
    uint8_t* first = p.row(int32_t(b.top)) + b.left * bpp;
    put_pixels(first, bpp, v, b.width());
    for (int64_t y = b.top + 1; y < b.bottom; ++y)
        std::memcpy(p.row(int32_t(y)) + b.left * bpp, first, size_t(b.width()) * bpp);
}

Box clip_of(const Plane& p) {
    return Box::of(p.clip()).intersect(p.bounds());
}

// One anti-aliased pixel: f of the pixel's own value and 255 - f of the line
// colour, per channel (5-bit fields on 16-bit planes, the index on 8-bit
// planes, alpha untouched).
void shade(uint8_t* px, uint32_t depth, uint32_t colour, uint32_t f) {
    const BlendTables& t = blend_tables();
    auto mixc = [&](uint32_t d, uint32_t c) {
        return uint32_t(t.at(kTableMultiply, f, d) + t.at(kTableMultiply, 255 - f, c));
    };
    switch (depth) {
        case 8:
            *px = uint8_t(mixc(*px, colour & 255));
            break;
        case 16: {
            uint32_t d = uint32_t(px[0] | px[1] << 8), out = d & 0x8000;
            for (int s = 0; s < 15; s += 5) out |= mixc((d >> s) & 31, (colour >> s) & 31) << s;
            px[0] = uint8_t(out), px[1] = uint8_t(out >> 8);
            break;
        }
        default:
            for (int i = 0; i < 3; ++i) px[i] = uint8_t(mixc(px[i], (colour >> (8 * i)) & 255));
    }
}

}  // namespace

uint32_t fill_rect(Plane& p, std::optional<Rect> rect, uint32_t colour) {
    if (!drawable(p)) return 0;
    Box b = (rect ? Box::of(*rect) : p.bounds()).intersect(clip_of(p));
    if (b.empty()) return 0;
    fill_box(p, b, pixel_value(colour, p.depth()));
    return 1;
}

uint32_t draw_line(Plane& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (!drawable(p)) return 0;
    const uint32_t v = pixel_value(colour, p.depth());
    const int64_t w = p.width(), h = p.height();
    if (y1 == y2 || x1 == x2) {
        Box b{std::min(x1, x2), std::min(y1, y2), int64_t(std::max(x1, x2)) + 1,
              int64_t(std::max(y1, y2)) + 1};
        b = b.intersect(p.bounds());
        if (b.empty()) return 0;
        fill_box(p, b, v);
        return 1;
    }
    // The major axis is stepped a pixel at a time from its lower end; the
    // minor coordinate runs in 16.16 fixed point.
    const bool x_major = std::llabs(int64_t(x2) - x1) >= std::llabs(int64_t(y2) - y1);
    int64_t a0 = x_major ? x1 : y1, a1 = x_major ? x2 : y2;
    int64_t b0 = x_major ? y1 : x1, b1 = x_major ? y2 : x2;
    if (a0 > a1) std::swap(a0, a1), std::swap(b0, b1);
    const int64_t major = a1 - a0, minor = b1 - b0;
    int64_t step = minor * 65536 / major;
    if (step > 0)
        --step;
    else if (step < 0)
        ++step;
    const int64_t pos0 = b0 * 65536 - (minor <= 0 ? 1 : 0);
    const int64_t amax = x_major ? w : h, bmax = x_major ? h : w;
    const int64_t kfirst = std::max<int64_t>(0, -a0), klast = std::min(major, amax - 1 - a0);
    uint32_t drawn = 0;
    for (int64_t k = kfirst; k <= klast; ++k) {
        const int64_t pos = pos0 + k * step, a = a0 + k, b = pos >> 16;
        const uint32_t f = uint32_t(pos >> 8) & 255;
        for (int i = 0; i < 2; ++i) {
            int64_t bb = b + i;
            if (bb < 0 || bb >= bmax) continue;
            uint8_t* px = x_major ? p.pixel_address(a, bb) : p.pixel_address(bb, a);
            shade(px, p.depth(), v, i == 0 ? f : 255 - f);
            drawn = 1;
        }
    }
    return drawn;
}

uint32_t fill_polygon(Plane& p, std::span<const Point> pts, uint32_t colour) {
    if (!drawable(p) || pts.size() < 3 || pts.size() > kMaxPolygonVertices) return 0;
    struct Edge {
        int64_t x0, y0, x1, y1;  // y0 < y1
    };
    std::vector<Edge> edges;
    edges.reserve(pts.size());
    int64_t ymin = INT64_MAX, ymax = INT64_MIN;
    for (size_t i = 0; i < pts.size(); ++i) {
        Point a = pts[i], b = pts[(i + 1) % pts.size()];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        edges.push_back({a.x, a.y, b.x, b.y});
        ymin = std::min<int64_t>(ymin, a.y);
        ymax = std::max<int64_t>(ymax, b.y);
    }
    const Box clip = clip_of(p);
    if (edges.empty() || clip.empty()) return 1;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
    const uint32_t v = pixel_value(colour, p.depth());
    const uint32_t bpp = p.depth() / 8;

    // Rows are sampled at their centres (y + 0.5); an edge covers the rows
    // y0 <= y < y1. A span fills the pixels whose centres lie in [xa, xb).
    std::vector<const Edge*> active;
    std::vector<int64_t> xs;
    size_t next = 0;
    for (int64_t y = std::max(ymin, clip.top); y < std::min(ymax, clip.bottom); ++y) {
        while (next < edges.size() && edges[next].y0 <= y) active.push_back(&edges[next++]);
        std::erase_if(active, [y](const Edge* e) { return e->y1 <= y; });
        xs.clear();
        for (const Edge* e : active) {
            // ceil(x at y + 0.5, minus 0.5)
            i128 dy = e->y1 - e->y0;
            i128 num = i128(2 * e->x0 - 1) * dy + i128(2 * (y - e->y0) + 1) * (e->x1 - e->x0);
            i128 den = 2 * dy;
            i128 q = num / den;
            if (num % den != 0 && num > 0) ++q;
            xs.push_back(int64_t(std::clamp<i128>(q, INT64_MIN / 2, INT64_MAX / 2)));
        }
        std::sort(xs.begin(), xs.end());
        uint8_t* row = p.row(int32_t(y));
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
            int64_t l = std::max(xs[i], clip.left), r = std::min(xs[i + 1], clip.right);
            if (l < r) put_pixels(row + l * bpp, bpp, v, r - l);
        }
    }
    return 1;
}

}  // namespace tob::gfx
