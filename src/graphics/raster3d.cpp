// Triangle rasterising for the 3D renderer. Row spans come from the three
// edge functions, stepped as quotient and remainder so that no row divides;
// the edge arithmetic is 64-bit (128-bit for far-off coordinates), so a
// triangle reaching far outside the plane is still drawn exactly where it
// covers the plane. Shading values are interpolated in floating point.
#include "graphics/raster3d.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "graphics/colour.h"

namespace tob::gfx {
namespace {

using i128 = __int128;

constexpr int64_t kSub = 16;  // sub-pixel steps per pixel
// Coordinates (in sixteenths) up to which 64-bit edge arithmetic is exact,
// and beyond which a face is not drawn at all (over 2^56 pixels away).
constexpr double kSmallLimit = double(1ll << 26);
constexpr double kLargeLimit = double(1ll << 60);

template <class T>
T floor_div(T n, T d) {
    T q = n / d;
    if (n % d != 0 && ((n < 0) != (d < 0))) --q;
    return q;
}

// floor(n / d), d > 0, stepped by a constant added to n.
template <class T>
struct FloorStep {
    T q = 0, r = 0, iq = 0, ir = 0, d = 1;
    void start(T n, T den, T inc) {
        d = den;
        q = floor_div(n, den), r = n - q * den;
        iq = floor_div(inc, den), ir = inc - iq * den;
    }
    void step() {
        q += iq, r += ir;
        if (r >= d) r -= d, ++q;
    }
};

int64_t to_int64(float f) {
    if (!(f > -9.2e18f)) return f != f ? 0 : INT64_MIN;
    if (f >= 9.2e18f) return INT64_MAX;
    return int64_t(f);
}

// A light value as 0..255 (the interpolated values stay in range, up to
// rounding; NaN cannot arise from finite corners).
inline uint32_t channel(float l) {
    return uint32_t(std::clamp(l + 0.5f, 0.0f, 255.0f));
}

// A small exact cache in front of the nearest-colour search for 8-bit targets.
uint8_t nearest_cached(uint32_t rgb_value) {
    struct Entry {
        uint32_t key = 0xFFFFFFFF;
        uint8_t index = 0;
    };
    static std::array<Entry, 4096> cache;
    static const std::array<uint32_t, 256>* table = nullptr;
    static std::array<uint32_t, 256> seen{};
    const auto& screen = palette_state().screen;
    if (table != &screen || seen != screen) {
        table = &screen;
        seen = screen;
        cache.fill(Entry{});
    }
    Entry& e = cache[(rgb_value ^ (rgb_value >> 12)) & 4095];
    if (e.key != rgb_value) e.key = rgb_value, e.index = nearest_screen_index(rgb_value);
    return e.index;
}

inline uint32_t texel(const Plane& t, int64_t u, int64_t v) {
    const int64_t x = ((u & 0xFFFF) * t.width()) >> 16, y = ((v & 0xFFFF) * t.height()) >> 16;
    const uint8_t* p = t.row(int32_t(y));
    switch (t.depth()) {
        case 32:
        case 24:
            p += x * (t.depth() / 8);
            return uint32_t(p[0] | p[1] << 8 | p[2] << 16);
        case 16: {
            const uint32_t c = uint32_t(p[2 * x] | p[2 * x + 1] << 8);
            auto wide = [](uint32_t f) { return (f << 3) | (f >> 2); };
            return rgb(wide((c >> 10) & 31), wide((c >> 5) & 31), wide(c & 31));
        }
        default:
            return t.colour(p[x]);
    }
}

inline uint32_t depth_value(float w) {
    const float d = w * 4294967296.0f;
    if (!(d > 0)) return 0;
    if (d >= 4294967295.0f) return 0xFFFFFFFF;
    return uint32_t(d);
}

template <int D>
uint32_t read_target(const Plane& p, const uint8_t* at) {
    if constexpr (D == 8) {
        return p.colour(*at);
    } else if constexpr (D == 16) {
        const uint32_t c = uint32_t(at[0] | at[1] << 8);
        auto wide = [](uint32_t f) { return (f << 3) | (f >> 2); };
        return rgb(wide((c >> 10) & 31), wide((c >> 5) & 31), wide(c & 31));
    } else {
        return uint32_t(at[0] | at[1] << 8 | at[2] << 16);
    }
}

template <int D>
void write_target(uint8_t* at, uint32_t c) {
    if constexpr (D == 8) {
        *at = nearest_cached(c);
    } else if constexpr (D == 16) {
        const uint32_t v = cell_of(c);
        at[0] = uint8_t(v), at[1] = uint8_t(v >> 8);
    } else {
        at[0] = uint8_t(c), at[1] = uint8_t(c >> 8), at[2] = uint8_t(c >> 16);
        if constexpr (D == 32) at[3] = 255;
    }
}

// Interpolated values at a pixel centre and their steps along a row:
// 1/z, u/z, v/z and the three light channels.
constexpr int kValues = 6;
struct Gradients {
    double at0[kValues], dx[kValues], dy[kValues];
    double x0, y0;
};

template <int D, bool Tex, bool Lit, bool Trans>
void shade_span(const RasterTarget& t, const RasterFace& f, const Gradients& g, int64_t y,
                int64_t lo, int64_t hi) {
    float a[kValues], d[kValues];
    const double ox = double(lo) + 0.5 - g.x0, oy = double(y) + 0.5 - g.y0;
    for (int k = 0; k < kValues; ++k) {
        a[k] = float(g.at0[k] + g.dx[k] * ox + g.dy[k] * oy);
        d[k] = float(g.dx[k]);
    }
    Plane& p = *t.plane;
    uint32_t* zb = t.depth + y * int64_t(p.width());
    uint8_t* out = p.row(int32_t(y)) + lo * (D / 8);
    const uint32_t flat = f.colour & 0xFFFFFF;
    // 32-bit textures are read here directly.
    const bool tex32 = Tex && f.texture->depth() == 32;
    const uint8_t* tex_row0 = Tex ? f.texture->row(0) : nullptr;
    const int64_t tex_step = Tex ? -int64_t(f.texture->pitch()) : 0;
    const int64_t tw = Tex ? f.texture->width() : 0, th = Tex ? f.texture->height() : 0;
    for (int64_t x = lo; x <= hi; ++x, out += D / 8) {
        const uint32_t z = depth_value(a[0]);
        if (z > zb[x]) {
            uint32_t c = flat;
            if constexpr (Tex) {
                const float inv = 1.0f / a[0];
                const int64_t u = to_int64(a[1] * inv), v = to_int64(a[2] * inv);
                if (tex32) {
                    const uint8_t* q = tex_row0 + ((v & 0xFFFF) * th >> 16) * tex_step +
                                       ((u & 0xFFFF) * tw >> 16) * 4;
                    c = uint32_t(q[0] | q[1] << 8 | q[2] << 16);
                } else {
                    c = texel(*f.texture, u, v);
                }
            }
            if constexpr (Lit) {
                c = rgb(red_of(c) * channel(a[3]) / 255, green_of(c) * channel(a[4]) / 255,
                        blue_of(c) * channel(a[5]) / 255);
            }
            if constexpr (Trans) {
                const uint32_t under = read_target<D>(p, out);
                c = rgb((red_of(c) + red_of(under)) / 2, (green_of(c) + green_of(under)) / 2,
                        (blue_of(c) + blue_of(under)) / 2);
            } else {
                zb[x] = z;
            }
            write_target<D>(out, c);
        }
        a[0] += d[0];
        if constexpr (Tex) a[1] += d[1], a[2] += d[2];
        if constexpr (Lit) a[3] += d[3], a[4] += d[4], a[5] += d[5];
    }
}

using SpanFn = void (*)(const RasterTarget&, const RasterFace&, const Gradients&, int64_t, int64_t,
                        int64_t);

template <int D>
SpanFn span_for(bool tex, bool lit, bool trans) {
    const int k = (tex ? 4 : 0) | (lit ? 2 : 0) | (trans ? 1 : 0);
    static constexpr SpanFn table[8] = {
        shade_span<D, false, false, false>, shade_span<D, false, false, true>,
        shade_span<D, false, true, false>,  shade_span<D, false, true, true>,
        shade_span<D, true, false, false>,  shade_span<D, true, false, true>,
        shade_span<D, true, true, false>,   shade_span<D, true, true, true>,
    };
    return table[k];
}

template <class T>
void scan(const RasterTarget& t, const int64_t (&X)[3], const int64_t (&Y)[3], SpanFn span,
          const RasterFace& f, const Gradients& g) {
    // Edge k runs from corner k to corner k+1; E = dx (Py - Ya) - dy (Px - Xa),
    // positive inside. Top and left edges own the pixels on them.
    T A[3], B[3], C[3];
    for (int k = 0; k < 3; ++k) {
        const int a = k, b = (k + 1) % 3;
        const T dx = T(X[b]) - X[a], dy = T(Y[b]) - Y[a];
        const bool top_left = dy < 0 || (dy == 0 && dx > 0);
        A[k] = -dy, B[k] = dx;
        // E at pixel centre (16x + 8, 16y + 8), minus the bias (1 for edges
        // that do not own their pixels), as 16A x + 16B y + C.
        C[k] = 8 * A[k] + 8 * B[k] - dx * Y[a] + dy * X[a] - (top_left ? 0 : 1);
    }
    const int64_t ymin = std::min({Y[0], Y[1], Y[2]}), ymax = std::max({Y[0], Y[1], Y[2]});
    const int64_t top =
        std::max<int64_t>(t.clip.top, floor_div<int64_t>(ymin - 8 + kSub - 1, kSub));
    const int64_t bottom = std::min<int64_t>(t.clip.bottom - 1, floor_div<int64_t>(ymax - 8, kSub));
    if (top > bottom) return;
    FloorStep<T> bound[3];
    for (int k = 0; k < 3; ++k)
        if (A[k] != 0)
            bound[k].start(C[k] + kSub * B[k] * top, kSub * (A[k] < 0 ? -A[k] : A[k]), kSub * B[k]);
    for (int64_t y = top; y <= bottom; ++y) {
        int64_t lo = t.clip.left, hi = t.clip.right - 1;
        for (int k = 0; k < 3; ++k) {
            if (A[k] > 0) {
                const T b = -bound[k].q;
                if (b > lo) lo = b > T(hi) ? hi + 1 : int64_t(b);
            } else if (A[k] < 0) {
                const T b = bound[k].q;
                if (b < hi) hi = b < T(lo) ? lo - 1 : int64_t(b);
            } else if (C[k] + T(kSub) * B[k] * y < 0) {
                lo = hi + 1;
            }
            if (A[k] != 0) bound[k].step();
        }
        if (lo <= hi) span(t, f, g, y, lo, hi);
    }
}

}  // namespace

uint32_t depth_of(float w) {
    const float d = w * 4294967296.0f;
    if (!(d > 0)) return 0;
    if (d >= 4294967295.0f) return 0xFFFFFFFF;
    return uint32_t(d);
}

void draw_triangle3d(const RasterTarget& t, const RasterVertex (&v)[3], const RasterFace& face) {
    if (t.clip.empty()) return;
    int64_t X[3], Y[3];
    bool small = true;
    for (int k = 0; k < 3; ++k) {
        const double x = std::nearbyint(double(v[k].x) * kSub),
                     y = std::nearbyint(double(v[k].y) * kSub);
        if (!(std::fabs(x) < kLargeLimit) || !(std::fabs(y) < kLargeLimit)) return;  // NaN too
        if (!(std::fabs(v[k].w) < 3.0e38f) || !(v[k].w > 0)) return;
        small = small && std::fabs(x) < kSmallLimit && std::fabs(y) < kSmallLimit;
        X[k] = int64_t(x), Y[k] = int64_t(y);
    }
    const i128 area = i128(X[1] - X[0]) * (Y[2] - Y[0]) - i128(Y[1] - Y[0]) * (X[2] - X[0]);
    if (area == 0) return;
    int order[3] = {0, 1, 2};
    if (area < 0) std::swap(order[1], order[2]);
    const int64_t sx[3] = {X[order[0]], X[order[1]], X[order[2]]};
    const int64_t sy[3] = {Y[order[0]], Y[order[1]], Y[order[2]]};

    const bool tex = (face.flags & (kTextured | kSphereMapped)) && face.texture;
    const bool lit = face.flags & kGouraud;
    const bool trans = face.flags & kTranslucent;
    // Plane equations of the shaded values through the snapped corners.
    Gradients g;
    double px[3], py[3], val[3][kValues];
    for (int k = 0; k < 3; ++k) {
        const RasterVertex& c = v[order[k]];
        px[k] = double(sx[k]) / kSub, py[k] = double(sy[k]) / kSub;
        val[k][0] = c.w;
        val[k][1] = tex ? double(c.u) * c.w : 0;
        val[k][2] = tex ? double(c.v) * c.w : 0;
        for (int ch = 0; ch < 3; ++ch) val[k][3 + ch] = lit ? c.light[ch] : 0;
    }
    const double det = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
    const double inv_det = 1.0 / det;
    g.x0 = px[0], g.y0 = py[0];
    for (int i = 0; i < kValues; ++i) {
        const double d1 = val[1][i] - val[0][i], d2 = val[2][i] - val[0][i];
        g.at0[i] = val[0][i];
        g.dx[i] = (d1 * (py[2] - py[0]) - d2 * (py[1] - py[0])) * inv_det;
        g.dy[i] = (d2 * (px[1] - px[0]) - d1 * (px[2] - px[0])) * inv_det;
        if (!std::isfinite(g.dx[i]) || !std::isfinite(g.dy[i])) g.dx[i] = g.dy[i] = 0;
    }
    SpanFn span = nullptr;
    switch (t.plane->depth()) {
        case 8:
            span = span_for<8>(tex, lit, trans);
            break;
        case 16:
            span = span_for<16>(tex, lit, trans);
            break;
        case 24:
            span = span_for<24>(tex, lit, trans);
            break;
        case 32:
            span = span_for<32>(tex, lit, trans);
            break;
        default:
            return;
    }
    if (small)
        scan<int64_t>(t, sx, sy, span, face, g);
    else
        scan<i128>(t, sx, sy, span, face, g);
}

}  // namespace tob::gfx
