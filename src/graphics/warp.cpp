// Warp effect contexts, their grid builders and the block drawing.
//
// Grid coordinates are 32-bit and wrap: 2^19 units span the source width (u)
// or height (v). A context keeps plane numbers and the sizes it was made for,
// never pointers: every draw looks both planes up again and refuses planes
// that were freed or replaced by ones of another size or depth. Products that
// can leave 64 bits are formed in 128; doubles become integers with
// saturation (NaN as 0); water heights saturate to 16 bits.
#include "graphics/warp.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "graphics/blitter.h"
#include "graphics/effect_pixels.h"
#include "graphics/effects.h"
#include "graphics/plane_table.h"

namespace tob::gfx {

using namespace fx;

namespace {

using i128 = __int128;

constexpr int32_t kBlock = 8;
constexpr int64_t kPrefetchBlocks = 2;
constexpr uint32_t kTurn = 1u << 19;  // grid units per source width or height
constexpr uint32_t kAngleMask = 0x7FF;
constexpr uint32_t kQuarterTurn = 512;
constexpr int64_t kDepthDistance = 300;  // eye distance of ef_land and ef_ball

int64_t table_sin(int64_t a) {
    return rotation_sine(uint32_t(a));
}
int64_t table_cos(int64_t a) {
    return rotation_sine(uint32_t(a) + kQuarterTurn);
}

// n / d truncated, saturated to 64 bits; d != 0.
int64_t div64(i128 n, int64_t d) {
    if (n >= INT64_MIN && n <= INT64_MAX) {
        const int64_t n64 = int64_t(n);
        if (!(n64 == INT64_MIN && d == -1)) return n64 / d;
    }
    const i128 q = n / d;
    return q > INT64_MAX ? INT64_MAX : q < INT64_MIN ? INT64_MIN : int64_t(q);
}

// A coordinate in 2048ths of the source size, as a grid value.
uint32_t grid_value(int64_t v) {
    return uint32_t(uint64_t(v) << 8);
}

struct GridPoint {
    uint32_t u = 0, v = 0;
};

struct Context {
    uint32_t dst = 0, src = 0;                           // plane numbers
    int32_t dst_w = 0, dst_h = 0, src_w = 0, src_h = 0;  // plane sizes at creation
    uint32_t depth = 0;
    int64_t dx = 0, dy = 0;                  // destination area's top-left
    int64_t sx = 0, sy = 0, sw = 0, sh = 0;  // source area
    int64_t gw = 0, gh = 0;
    int special = 0;
    std::vector<GridPoint> grid;    // (gw + 1) x (gh + 1)
    std::vector<int16_t> water[2];  // (gw + 3) x (gh + 3) cells each
    int current = 0;                // index of H0

    GridPoint& at(int64_t i, int64_t j) { return grid[size_t(j * (gw + 1) + i)]; }
    int64_t cells_w() const { return gw + 3; }
    int16_t* field(int which) { return water[which].data(); }
};

std::array<std::unique_ptr<Context>, kEffectSlots> g_slots;

Context* context(uint32_t slot) {
    return slot < kEffectSlots ? g_slots[slot].get() : nullptr;
}

// Both planes, when they are still the ones the context was made for.
bool planes_of(const Context& c, Plane*& dst, const Plane*& src) {
    dst = plane(c.dst);
    src = plane(c.src);
    return dst && src && dst->width() == c.dst_w && dst->height() == c.dst_h &&
           dst->depth() == c.depth && src->width() == c.src_w && src->height() == c.src_h &&
           src->depth() == c.depth;
}

// Difference of two grid values as the interpolation steps it: plain 32-bit
// wrapping, or for u in special mode modulo 2^19 the short way round.
int64_t grid_delta(uint32_t to, uint32_t from, bool short_way) {
    if (short_way) {
        const uint32_t d = (to - from + kTurn / 2) & (kTurn - 1);
        return int64_t(d) - int64_t(kTurn / 2);
    }
    return int32_t(to - from);
}

// Source byte offsets of the 2048 column positions and row pointers of the
// 2048 row positions: ((u >> 8) & 0x7FF) * size >> 11.
struct SourceTables {
    std::array<uint32_t, 2048> col;
    std::array<const uint8_t*, 2048> row;
};

template <int Bytes>
void copy_pixel(uint8_t* out, const uint8_t* in) {
    std::memcpy(out, in, Bytes);
}

// The block loop: corners of each 8 x 8 block interpolated down the left and
// right edges, then across each row, in eight steps of an eighth.
template <int Bytes, bool Reference>
void draw_blocks(Context& c, Plane& dst, const Plane& src) {
    static SourceTables t;
    const int64_t step = -int64_t(src.pitch());
    const uint8_t* origin = src.row(int32_t(c.sy)) + c.sx * Bytes;
    if (!Reference) {
        for (uint32_t k = 0; k < 2048; ++k) {
            t.col[k] = uint32_t((int64_t(k) * c.sw >> 11) * Bytes);
            t.row[k] = origin + (int64_t(k) * c.sh >> 11) * step;
        }
    }
    const bool short_way = c.special == 1;
    for (int64_t bj = 0; bj < c.gh; ++bj) {
        for (int64_t bi = 0; bi < c.gw; ++bi) {
            const GridPoint tl = c.at(bi, bj), tr = c.at(bi + 1, bj);
            const GridPoint bl = c.at(bi, bj + 1), br = c.at(bi + 1, bj + 1);
            if constexpr (!Reference) {
                // Ask for the source under a block further along the row
                // while this one is drawn: a turned grid reads the source
                // across its rows, and waiting for each line costs most.
                if (bi + kPrefetchBlocks < c.gw) {
                    const GridPoint a = c.at(bi + kPrefetchBlocks, bj);
                    const GridPoint b = c.at(bi + kPrefetchBlocks, bj + 1);
                    const GridPoint e = c.at(bi + kPrefetchBlocks + 1, bj + 1);
                    const uint32_t su = uint32_t(grid_delta(b.u, a.u, short_way) >> 3);
                    const uint32_t sv = uint32_t(grid_delta(b.v, a.v, false) >> 3);
                    const uint32_t eu = uint32_t(grid_delta(e.u, b.u, short_way) >> 3);
                    const uint32_t ev = uint32_t(grid_delta(e.v, b.v, false) >> 3);
                    uint32_t u = a.u, v = a.v;
                    for (int32_t k = 0; k < kBlock; ++k, u += su, v += sv)
                        __builtin_prefetch(t.row[(v >> 8) & kAngleMask] +
                                           t.col[(u >> 8) & kAngleMask]);
                    for (int32_t k = 0; k < kBlock; ++k, u += eu, v += ev)
                        __builtin_prefetch(t.row[(v >> 8) & kAngleMask] +
                                           t.col[(u >> 8) & kAngleMask]);
                }
            }
            const uint32_t dlu = uint32_t(grid_delta(bl.u, tl.u, short_way) >> 3);
            const uint32_t dlv = uint32_t(grid_delta(bl.v, tl.v, false) >> 3);
            const uint32_t dru = uint32_t(grid_delta(br.u, tr.u, short_way) >> 3);
            const uint32_t drv = uint32_t(grid_delta(br.v, tr.v, false) >> 3);
            uint32_t lu = tl.u, lv = tl.v, ru = tr.u, rv = tr.v;
            for (int32_t k = 0; k < kBlock; ++k) {
                uint8_t* out =
                    dst.row(int32_t(c.dy + bj * kBlock + k)) + (c.dx + bi * kBlock) * Bytes;
                const uint32_t du = uint32_t(grid_delta(ru, lu, short_way) >> 3);
                const uint32_t dv = uint32_t(grid_delta(rv, lv, false) >> 3);
                uint32_t u = lu, v = lv;
                for (int32_t m = 0; m < kBlock; ++m, out += Bytes) {
                    const uint32_t iu = (u >> 8) & kAngleMask, iv = (v >> 8) & kAngleMask;
                    if constexpr (Reference) {
                        const int64_t col = int64_t(iu) * c.sw >> 11,
                                      row = int64_t(iv) * c.sh >> 11;
                        copy_pixel<Bytes>(out, origin + row * step + col * Bytes);
                    } else {
                        copy_pixel<Bytes>(out, t.row[iv] + t.col[iu]);
                    }
                    u += du, v += dv;
                }
                lu += dlu, lv += dlv, ru += dru, rv += drv;
            }
        }
    }
}

uint32_t draw(uint32_t slot, bool reference = false) {
    Context* c = context(slot);
    Plane* dst;
    const Plane* src;
    if (!c || !planes_of(*c, dst, src)) return 0;
    auto run = [&]<int Bytes>() {
        if (reference)
            draw_blocks<Bytes, true>(*c, *dst, *src);
        else
            draw_blocks<Bytes, false>(*c, *dst, *src);
    };
    switch (c->depth) {
        case 8:
            run.operator()<1>();
            break;
        case 16:
            run.operator()<2>();
            break;
        case 24:
            run.operator()<3>();
            break;
        default:
            run.operator()<4>();
            break;
    }
    return 1;
}

// Rebuilds the grid through f(i, j) -> GridPoint and draws.
template <class F>
uint32_t build_and_draw(uint32_t slot, int special, F&& f) {
    Context* c = context(slot);
    Plane* dst;
    const Plane* src;
    if (!c || !planes_of(*c, dst, src)) return 0;
    c->special = special;
    for (int64_t j = 0; j <= c->gh; ++j)
        for (int64_t i = 0; i <= c->gw; ++i) c->at(i, j) = f(*c, i, j);
    return draw(slot);
}

void ensure_water(Context& c) {
    if (!c.water[0].empty()) return;
    const size_t cells = size_t(c.cells_w() * (c.gh + 3));
    c.water[0].assign(cells, 0);
    c.water[1].assign(cells, 0);
    c.current = 0;
}

}  // namespace

void reset_effects() {
    for (auto& s : g_slots) s.reset();
}

uint32_t ef_init(uint32_t slot, uint32_t dst_no, std::optional<Rect> dst_rect, uint32_t src_no,
                 std::optional<Rect> src_rect) {
    if (slot >= kEffectSlots) return 0;
    g_slots[slot].reset();
    const Plane* dst = plane(dst_no);
    const Plane* src = plane(src_no);
    if (!dst || !src || dst->depth() != src->depth() || !effect_depth(dst->depth())) return 0;
    const Box d = area_of(*dst, dst_rect).intersect(clip_box(*dst));
    const Box s = area_of(*src, src_rect).intersect(src->bounds());
    // Under 8 x 8 the grid would be 0 wide, and the formulas divide by it.
    if (d.width() < kBlock || d.height() < kBlock || s.empty()) return 0;
    auto c = std::make_unique<Context>();
    c->dst = dst_no, c->src = src_no;
    c->dst_w = dst->width(), c->dst_h = dst->height();
    c->src_w = src->width(), c->src_h = src->height();
    c->depth = dst->depth();
    c->dx = d.left, c->dy = d.top;
    c->sx = s.left, c->sy = s.top, c->sw = s.width(), c->sh = s.height();
    c->gw = d.width() / kBlock, c->gh = d.height() / kBlock;
    c->grid.assign(size_t((c->gw + 1) * (c->gh + 1)), GridPoint{});
    g_slots[slot] = std::move(c);
    return 1;
}

uint32_t ef_free(uint32_t slot) {
    if (slot >= kEffectSlots) return 0;
    g_slots[slot].reset();
    return 1;
}

uint32_t ef_rotate(uint32_t slot, int32_t cx, int32_t cy, int32_t zoom, int32_t angle) {
    const int64_t s = table_sin(angle), co = table_cos(angle);
    return build_and_draw(slot, 0, [&](Context& c, int64_t i, int64_t j) {
        const int64_t px = c.sw * i / c.gw - cx, py = c.sh * j / c.gh - cy;
        // Zoomed offsets in 2048ths of a pixel, cut to whole pixels.
        const i128 x = (i128((px * co - py * s) >> 16) * zoom >> 5) & ~i128(2047);
        const i128 y = (i128((px * s + py * co) >> 16) * zoom >> 5) & ~i128(2047);
        return GridPoint{grid_value(div64(x + i128(cx) * 2048, c.sw)),
                         grid_value(div64(y + i128(cy) * 2048, c.sh))};
    });
}

// The tunnel: u is the angle around the area's centre (2^19 per turn), v the
// depth scale / (distance in pixels + 1) plus the travel in 1/256ths of the
// source height. Special mode 1 makes the drawing interpolate u the short
// way round, so the angle's seam does not smear across a block.
uint32_t ef_tunnel(uint32_t slot, int32_t scale, int32_t travel) {
    return build_and_draw(slot, 1, [&](Context& c, int64_t i, int64_t j) {
        const double x = double(i * kBlock) - double(c.gw * kBlock) / 2;
        const double y = double(j * kBlock) - double(c.gh * kBlock) / 2;
        double turn = std::atan2(y, x) / (2 * std::numbers::pi);
        if (turn < 0) turn += 1;
        const int64_t u = int64_t(turn * kTurn) & (kTurn - 1);
        const double depth = double(scale) * kTurn / (std::sqrt(x * x + y * y) + 1);
        const uint32_t v = uint32_t(saturate32(depth)) + uint32_t(travel) * (kTurn / 256);
        return GridPoint{uint32_t(u), v};
    });
}

uint32_t ef_land(uint32_t slot, int32_t height, int32_t pitch, int32_t yaw) {
    const int64_t ca = table_cos(pitch), sa = table_sin(pitch);
    const int64_t cb = table_cos(yaw), sb = table_sin(yaw);
    return build_and_draw(slot, 0, [&](Context& c, int64_t i, int64_t j) {
        const int64_t dx = (i - c.gw / 2) * kBlock, dy = (j - c.gh / 2) * kBlock;
        const int64_t z = (ca * dx + sa * kDepthDistance) >> 16;
        int64_t depth = std::abs((cb * dy - sb * z) >> 16);
        if (depth == 0) depth = 1;
        const i128 across = div64(div64(i128((sb * dy + cb * z) >> 16) * height, depth), 40);
        const i128 along =
            div64(div64(i128((ca * kDepthDistance - sa * dx) >> 16) * height, depth), 40);
        return GridPoint{grid_value(div64(across * 2048, c.sw)),
                         grid_value(div64(along * 2048, c.sh))};
    });
}

uint32_t ef_ball(uint32_t slot, int32_t scale, int32_t angle_b, int32_t angle_c) {
    const int64_t cb = table_cos(angle_b), sb = table_sin(angle_b);
    const int64_t cc = table_cos(angle_c), sc = table_sin(angle_c);
    return build_and_draw(slot, 0, [&](Context& c, int64_t i, int64_t j) {
        const int64_t x8 = (i - c.gw / 2) * kBlock, y8 = (j - c.gh / 2) * kBlock;
        const int64_t t = (cb * kDepthDistance - sb * y8) >> 16;
        const int64_t X = (cc * t - sc * x8) >> 16;
        const int64_t Z = (cb * y8 + sb * kDepthDistance) >> 16;
        const int64_t Y = (sc * t + cc * x8) >> 16;
        const double k = 1.0 / std::sqrt(double(X) * X + double(Z) * Z + double(Y) * Y);
        const int64_t u = saturate32(double(Y) * scale * k), v = saturate32(double(X) * scale * k);
        return GridPoint{grid_value(u * 2048 / c.sw), grid_value(v * 2048 / c.sh)};
    });
}

uint32_t ef_whirl(uint32_t slot, int32_t twist) {
    return build_and_draw(slot, 0, [&](Context& c, int64_t i, int64_t j) {
        const int64_t dx = i - c.gw / 2, dy = j - c.gh / 2;
        double theta;
        if (dx == 0)
            theta = dy > 0 ? std::numbers::pi / 2 : 3 * std::numbers::pi / 2;
        else
            theta = std::atan(double(dy) / double(dx)) + (dx < 0 ? std::numbers::pi : 0.0);
        const double r = std::sqrt(double(dx * dx + dy * dy));
        const double phi = double(twist) / (r + 1) + theta;
        const int64_t u = c.sw / 2 + saturate32(std::cos(phi) * r * (double(c.sw) / double(c.gw)));
        const int64_t v = c.sh / 2 + saturate32(std::sin(phi) * r * (double(c.sh) / double(c.gh)));
        return GridPoint{grid_value(u * 2048 / c.sw), grid_value(v * 2048 / c.sh)};
    });
}

// The phase counts 2^19 per turn; a period of 0 means no wave.
uint32_t ef_raster(uint32_t slot, int32_t phase, int32_t period, int32_t amplitude) {
    const int64_t start = period ? int64_t(phase) * kTurn / period : 0;
    const int64_t advance = period ? kBlock * (int64_t(kTurn) / period) : 0;
    return build_and_draw(slot, 0, [&](Context& c, int64_t i, int64_t j) {
        int64_t wave = 0;
        if (period) {
            const int64_t ph = start + j * advance;
            wave = (table_sin((ph >> 8) & kAngleMask) * amplitude) >> 16;
        }
        return GridPoint{grid_value((c.sw * i / c.gw + wave) * 2048 / c.sw),
                         grid_value((c.sh * j / c.gh) * 2048 / c.sh)};
    });
}

uint32_t ef_blob(uint32_t slot, int32_t x, int32_t y, int32_t radius, int32_t strength) {
    Context* c = context(slot);
    if (!c) return 0;
    ensure_water(*c);
    const int64_t R = (int64_t(radius) + 7) >> 3;
    if (R <= 0) return 1;
    // A negative coordinate picks a random centre that keeps the bump inside;
    // on a grid no wider (higher) than 2R there is no such place, and the
    // middle is taken.
    auto centre = [&](int32_t pos, int64_t size) -> int64_t {
        if (pos >= 0) return (int64_t(pos) + 7) >> 3;
        if (size - 2 * R <= 0) return size / 2;
        return int64_t(effect_random() % uint64_t(size - 2 * R)) + R + 1;
    };
    const int64_t cx = centre(x, c->gw), cy = centre(y, c->gh);
    int16_t* h0 = c->field(c->current);
    for (int64_t dy = std::max(-R, -cy); dy < std::min(R, c->gh + 1 - cy); ++dy) {
        for (int64_t dx = std::max(-R, -cx); dx < std::min(R, c->gw + 1 - cx); ++dx) {
            const double d = std::sqrt(double(dx * dx + dy * dy));
            if (d > double(R)) continue;
            h0[(cy + 1 + dy) * c->cells_w() + cx + 1 + dx] =
                saturate16(saturate32((double(R) - d) * strength / double(R)));
        }
    }
    return 1;
}

uint32_t ef_water(uint32_t slot) {
    Context* c = context(slot);
    Plane* dst;
    const Plane* src;
    if (!c || !planes_of(*c, dst, src)) return 0;
    ensure_water(*c);
    const int64_t cw = c->cells_w();
    int16_t* h0 = c->field(c->current);
    const int16_t* h1 = c->field(1 - c->current);
    for (int64_t j = 1; j <= c->gh + 1; ++j) {
        for (int64_t i = 1; i <= c->gw + 1; ++i) {
            const int16_t* n = h1 + j * cw + i;
            const int32_t sum =
                n[-cw - 1] + n[-cw] + n[-cw + 1] + n[-1] + n[1] + n[cw - 1] + n[cw] + n[cw + 1];
            const int32_t w = (sum >> 2) - h0[j * cw + i];
            h0[j * cw + i] = saturate16(w - (w >> 3));
        }
    }
    c->current = 1 - c->current;
    const int16_t* h = c->field(1 - c->current);  // the field just computed
    return build_and_draw(slot, 0, [&](Context& cc, int64_t i, int64_t j) {
        auto height = [&](int64_t gi, int64_t gj) -> int64_t { return h[(gj + 1) * cw + gi + 1]; };
        const int64_t u = cc.sw * i / cc.gw - height(i + 1, j) + height(i, j);
        const int64_t v = height(i, j) - height(i, j + 1) + cc.sh * j / cc.gh;
        return GridPoint{grid_value(u * 2048 / cc.sw), grid_value(v * 2048 / cc.sh)};
    });
}

uint32_t ef_redraw_reference(uint32_t slot) {
    return draw(slot, true);
}

int32_t ef_water_height(uint32_t slot, int field, int32_t i, int32_t j) {
    Context* c = context(slot);
    if (!c || c->water[0].empty() || i < -1 || j < -1 || i > c->gw + 1 || j > c->gh + 1) return 0;
    const int which = field == 0 ? c->current : 1 - c->current;
    return c->field(which)[(int64_t(j) + 1) * c->cells_w() + i + 1];
}

}  // namespace tob::gfx
