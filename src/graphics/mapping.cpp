// The sampling filters: smooth (bilinear) scaling, endless tiling with
// rotation and zoom, and the quadrilateral mapping behind `freemap` and
// `rotate`. Source and destination have the same depth.
#include <immintrin.h>

#include <algorithm>

#include "graphics/blitter.h"
#include "graphics/effect_pixels.h"
#include "graphics/effects.h"

namespace tob::gfx {

using namespace fx;

namespace {

using i128 = __int128;

constexpr uint32_t kQuarterTurn = 512;

bool same_effect_depth(const Plane& a, const Plane& b) {
    return a.depth() == b.depth() && effect_depth(a.depth());
}

i128 floor_div(i128 n, i128 d) {
    i128 q = n / d;
    if (n % d != 0 && ((n < 0) != (d < 0))) --q;
    return q;
}

// ---- smooth ---------------------------------------------------------------

// One axis of a bilinear scale: source position of destination index i in
// 32.32 fixed point. Shrinking centres the grid; enlarging starts at 0 and
// stops one pixel short of the end, so both samples stay inside.
struct SmoothAxis {
    uint64_t start = 0, step = 0;
    int64_t last = 0;  // S - 1

    SmoothAxis(int64_t s, int64_t d) : last(s - 1) {
        const unsigned __int128 one = 1;
        if (d < s) {
            step = uint64_t((((one * uint64_t(s - 1)) << 32) | 0xFFFFFFFFu) / uint64_t(d));
            start = uint64_t((((one * uint64_t(s - 1)) << 32) - one * uint64_t(d - 1) * step) / 2);
        } else {
            step = uint64_t((((one * uint64_t(s - 2)) << 32) | 0xFFFFFFFFu) / uint64_t(d));
        }
    }
    // Whole part (the first of the two samples) and the top 8 bits of the fraction.
    void at(int64_t i, int64_t& whole, int32_t& frac) const {
        const unsigned __int128 pos =
            (unsigned __int128)start + (unsigned __int128)uint64_t(i) * step;
        whole = std::min<int64_t>(int64_t(pos >> 32), last);
        frac = int32_t((pos >> 24) & 255);
    }
    int64_t next(int64_t whole) const { return std::min(whole + 1, last); }
};

struct SmoothJob {
    Box d, s;  // unclipped destination, source cut to its plane
    Box draw;  // destination pixels drawn
    std::optional<SmoothAxis> ax, ay;
};

std::optional<SmoothJob> smooth_job(const Plane& dst, const std::optional<Rect>& dst_rect,
                                    const Plane& src, const std::optional<Rect>& src_rect) {
    SmoothJob j;
    j.d = area_of(dst, dst_rect);
    j.s = area_of(src, src_rect).intersect(src.bounds());
    if (j.d.width() < 2 || j.d.height() < 2 || j.s.width() < 2 || j.s.height() < 2)
        return std::nullopt;
    j.draw = j.d.intersect(clip_box(dst));
    if (j.draw.empty()) return std::nullopt;
    j.ax.emplace(j.s.width(), j.d.width());
    j.ay.emplace(j.s.height(), j.d.height());
    return j;
}

// The reference: every destination pixel from its four source pixels, a key
// pixel replaced by the destination pixel it is drawn over.
template <int D>
void smooth_direct(Plane& dst, const SmoothJob& j, const SourceRows& rows,
                   std::optional<uint32_t> key) {
    using C = Channels<D>;
    for (int64_t y = j.draw.top; y < j.draw.bottom; ++y) {
        int64_t sy;
        int32_t fy;
        j.ay->at(y - j.d.top, sy, fy);
        const int64_t sy1 = j.ay->next(sy);
        uint8_t* out = dst.row(int32_t(y)) + j.draw.left * C::kBytes;
        for (int64_t x = j.draw.left; x < j.draw.right; ++x, out += C::kBytes) {
            int64_t sx;
            int32_t fx;
            j.ax->at(x - j.d.left, sx, fx);
            const int64_t sx1 = j.ax->next(sx);
            const uint8_t* p[4] = {
                rows.at(j.s.left + sx, j.s.top + sy), rows.at(j.s.left + sx1, j.s.top + sy),
                rows.at(j.s.left + sx, j.s.top + sy1), rows.at(j.s.left + sx1, j.s.top + sy1)};
            int32_t c[4][4], o[4];
            for (int k = 0; k < 4; ++k) {
                if (key && key_bits(p[k], D) == *key)
                    C::load(out, c[k]);
                else
                    C::load(p[k], c[k]);
            }
            for (int ch = 0; ch < C::kAll; ++ch) {
                const int32_t top = c[0][ch] * (256 - fx) + c[1][ch] * fx;
                const int32_t bottom = c[2][ch] * (256 - fx) + c[3][ch] * fx;
                o[ch] = (top * (256 - fy) + bottom * fy) >> 16;
            }
            C::store(out, o);
        }
    }
}

// The vertical mix of two rows of horizontally mixed channels, one byte per
// channel: (h0 (256 - fy) + h1 fy) >> 16.
void mix_rows_plain(const uint16_t* h0, const uint16_t* h1, uint8_t* out, size_t n, uint32_t fy) {
    const uint32_t w0 = 256 - fy, w1 = fy;
    for (size_t k = 0; k < n; ++k) out[k] = uint8_t((h0[k] * w0 + h1[k] * w1) >> 16);
}

// Sixteen channels at a time: each product split into its high and low 16
// bits; the sum's high half is the two high halves plus the carry out of the
// low halves.
__attribute__((target("avx2"))) void mix_rows_avx2(const uint16_t* h0, const uint16_t* h1,
                                                   uint8_t* out, size_t n, uint32_t fy) {
    const __m256i w0 = _mm256_set1_epi16(int16_t(256 - fy)), w1 = _mm256_set1_epi16(int16_t(fy));
    const __m256i one = _mm256_set1_epi16(1);
    size_t k = 0;
    for (; k + 16 <= n; k += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + k));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + k));
        const __m256i low = _mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1));
        const __m256i lo_a = _mm256_mullo_epi16(a, w0);
        // No carry when the 16-bit sum is at least one of its terms.
        const __m256i no_carry = _mm256_cmpeq_epi16(_mm256_max_epu16(low, lo_a), low);
        __m256i high = _mm256_add_epi16(_mm256_mulhi_epu16(a, w0), _mm256_mulhi_epu16(b, w1));
        high = _mm256_add_epi16(_mm256_add_epi16(high, one), no_carry);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(high, high), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm256_castsi256_si128(bytes));
    }
    mix_rows_plain(h0 + k, h1 + k, out + k, n - k, fy);
}

// The horizontal mix of 32-bit pixels, eight at a time: pixels gathered from
// columns c0 and c1, two channels per 32-bit lane, 16-bit products
// (255 x 256 fits), then put in blue, green, red, alpha order. g and f hold
// each pixel's two weights in both halves of a word. Returns the pixels done.
__attribute__((target("avx2"))) size_t across32_avx2(const uint8_t* row, const int32_t* c0,
                                                     const int32_t* c1, const uint32_t* g,
                                                     const uint32_t* f, size_t n, uint16_t* h) {
    const __m256i mask = _mm256_set1_epi32(0x00FF00FF);
    const int* base = reinterpret_cast<const int*>(row);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i ia = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c0 + i));
        const __m256i ib = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c1 + i));
        const __m256i pa = _mm256_i32gather_epi32(base, ia, 4);
        const __m256i pb = _mm256_i32gather_epi32(base, ib, 4);
        const __m256i wg = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g + i));
        const __m256i wf = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(f + i));
        const __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(pa, mask), wg),
                                            _mm256_mullo_epi16(_mm256_and_si256(pb, mask), wf));
        const __m256i hi = _mm256_add_epi16(
            _mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi32(pa, 8), mask), wg),
            _mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi32(pb, 8), mask), wf));
        const __m256i first = _mm256_unpacklo_epi16(lo, hi), second = _mm256_unpackhi_epi16(lo, hi);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(h + 4 * i),
                            _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(h + 4 * i + 16),
                            _mm256_permute2x128_si256(first, second, 0x31));
    }
    return i;
}
bool has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

using MixRows = void (*)(const uint16_t*, const uint16_t*, uint8_t*, size_t, uint32_t);
MixRows mix_rows() {
    static const MixRows chosen = __builtin_cpu_supports("avx2") ? mix_rows_avx2 : mix_rows_plain;
    return chosen;
}

// Without a key: each source row in use is mixed across once (a*(256 - fx) +
// b*fx per channel, which fits 16 bits) and kept while the destination rows
// need it; each destination row mixes two such rows. The same integer sums
// as the reference, in another order.
template <int D>
void smooth_rows(Plane& dst, const SmoothJob& j, const SourceRows& rows) {
    using C = Channels<D>;
    constexpr int N = C::kAll;
    const int64_t n = j.draw.width();
    // Source columns relative to the area's left edge, and the weights.
    std::vector<int32_t> c0(static_cast<size_t>(n)), c1(static_cast<size_t>(n));
    std::vector<uint32_t> wf(static_cast<size_t>(n)), wg(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        int64_t sx;
        int32_t fx;
        j.ax->at(j.draw.left - j.d.left + i, sx, fx);
        c0[size_t(i)] = int32_t(sx);
        c1[size_t(i)] = int32_t(j.ax->next(sx));
        wf[size_t(i)] = uint32_t(fx) * 0x10001u;
        wg[size_t(i)] = uint32_t(256 - fx) * 0x10001u;
    }
    const bool wide = D == 32 && has_avx2();
    auto across = [&](int64_t sy, uint16_t* h) {
        const uint8_t* r = rows.at(j.s.left, j.s.top + sy);
        int64_t i = 0;
        if (wide)
            i = int64_t(across32_avx2(r, c0.data(), c1.data(), wg.data(), wf.data(), size_t(n), h));
        for (; i < n; ++i) {
            const uint8_t* a = r + int64_t(c0[size_t(i)]) * C::kBytes;
            const uint8_t* b = r + int64_t(c1[size_t(i)]) * C::kBytes;
            const uint32_t fx = wf[size_t(i)] & 0xFFFF, gx = 256 - fx;
            if constexpr (D == 32) {
                // Two channels per 32-bit word, 16 bits each: no carries.
                uint32_t pa, pb;
                std::memcpy(&pa, a, 4);
                std::memcpy(&pb, b, 4);
                const uint32_t lo = (pa & 0x00FF00FF) * gx + (pb & 0x00FF00FF) * fx;
                const uint32_t hi = ((pa >> 8) & 0x00FF00FF) * gx + ((pb >> 8) & 0x00FF00FF) * fx;
                const uint64_t o = (lo & 0xFFFF) | (hi & 0xFFFF) << 16 | uint64_t(lo >> 16) << 32 |
                                   uint64_t(hi >> 16) << 48;
                std::memcpy(h + 4 * i, &o, 8);
            } else {
                int32_t ca[4], cb[4];
                C::load(a, ca);
                C::load(b, cb);
                for (int ch = 0; ch < N; ++ch)
                    h[i * N + ch] = uint16_t(uint32_t(ca[ch]) * gx + uint32_t(cb[ch]) * fx);
            }
        }
    };
    const size_t values = size_t(n) * N;
    std::vector<uint16_t> cache[2] = {std::vector<uint16_t>(values), std::vector<uint16_t>(values)};
    int64_t cached[2] = {-1, -1};
    std::vector<uint8_t> packed(D == 16 ? values : 0);
    const MixRows mix = mix_rows();
    for (int64_t y = j.draw.top; y < j.draw.bottom; ++y) {
        int64_t sy;
        int32_t fy;
        j.ay->at(y - j.d.top, sy, fy);
        const int64_t want[2] = {sy, j.ay->next(sy)};
        if (cached[0] != want[0] && cached[1] == want[0]) {
            std::swap(cache[0], cache[1]);
            std::swap(cached[0], cached[1]);
        }
        for (int k = 0; k < 2; ++k)
            if (cached[k] != want[k]) across(want[k], cache[k].data()), cached[k] = want[k];
        uint8_t* out = dst.row(int32_t(y)) + j.draw.left * C::kBytes;
        if constexpr (D == 16) {
            mix(cache[0].data(), cache[1].data(), packed.data(), values, uint32_t(fy));
            for (int64_t i = 0; i < n; ++i) {
                const int32_t c[3] = {packed[size_t(3 * i)], packed[size_t(3 * i + 1)],
                                      packed[size_t(3 * i + 2)]};
                C::store(out + 2 * i, c);
            }
        } else {
            mix(cache[0].data(), cache[1].data(), out, values, uint32_t(fy));
        }
    }
}

uint32_t smooth_impl(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                     std::optional<Rect> src_rect, KeyArg key_arg, bool direct) {
    if (!same_effect_depth(dst, src)) return 0;
    auto job = smooth_job(dst, dst_rect, src, src_rect);
    if (!job) return 0;
    SourceRows rows(src, dst, job->s);
    const auto key = key_for(key_arg, src.depth());
    with_depth(dst.depth(), [&]<int D>() {
        if (direct || key)
            smooth_direct<D>(dst, *job, rows, key);
        else
            smooth_rows<D>(dst, *job, rows);
    });
    return 1;
}

// ---- tiled ----------------------------------------------------------------

struct TileJob {
    Box d, s;
    int64_t cs = 0, sn = 0;  // c' and s': 16.16 source steps per destination pixel
};

std::optional<TileJob> tile_job(const Plane& dst, const std::optional<Rect>& dst_rect,
                                const Plane& src, const std::optional<Rect>& src_rect,
                                int32_t angle, int32_t zoom) {
    TileJob j;
    j.d = area_of(dst, dst_rect).intersect(clip_box(dst));
    j.s = area_of(src, src_rect).intersect(src.bounds());
    if (j.d.empty() || j.s.empty()) return std::nullopt;
    // A zoom of 0 is taken as 1 (1/65536), literally.
    const int64_t z = zoom ? zoom : 1;
    j.cs = int64_t(rotation_sine(uint32_t(angle) + kQuarterTurn)) * 65536 / z;
    j.sn = int64_t(rotation_sine(uint32_t(angle))) * 65536 / z;
    return j;
}

int64_t wrap(int64_t v, int64_t n) {
    int64_t r = v % n;
    return r < 0 ? r + n : r;
}

template <int D>
void tile_direct(Plane& dst, const TileJob& j, const SourceRows& rows) {
    using C = Channels<D>;
    const int64_t w = j.d.width(), h = j.d.height(), sw = j.s.width(), sh = j.s.height();
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* out = dst.row(int32_t(j.d.top + y)) + j.d.left * C::kBytes;
        for (int64_t x = 0; x < w; ++x, out += C::kBytes) {
            const int64_t u = j.cs * (x - w / 2) + j.sn * (y - h / 2);
            const int64_t v = -j.sn * (x - w / 2) + j.cs * (y - h / 2);
            std::memcpy(out, rows.at(j.s.left + wrap(u >> 16, sw), j.s.top + wrap(v >> 16, sh)),
                        C::kBytes);
        }
    }
}

// A 16.16 coordinate kept as its whole part modulo n and its fraction, and
// stepped without division.
struct WrapStep {
    int64_t whole_step = 0;  // (step >> 16) mod n
    uint32_t frac_step = 0;
    WrapStep(int64_t step, int64_t n) : whole_step(wrap(step >> 16, n)), frac_step(step & 0xFFFF) {}
};

template <int D>
void tile_rows(Plane& dst, const TileJob& j, const SourceRows& rows) {
    using C = Channels<D>;
    const int64_t w = j.d.width(), h = j.d.height(), sw = j.s.width(), sh = j.s.height();
    const WrapStep su(j.cs, sw), sv(-j.sn, sh);
    const uint8_t* origin = rows.at(j.s.left, j.s.top);
    const int64_t row_step = rows.at(j.s.left, j.s.top + 1) - origin;
    for (int64_t y = 0; y < h; ++y) {
        const int64_t u0 = j.cs * (0 - w / 2) + j.sn * (y - h / 2);
        const int64_t v0 = -j.sn * (0 - w / 2) + j.cs * (y - h / 2);
        int64_t ui = wrap(u0 >> 16, sw), vi = wrap(v0 >> 16, sh);
        uint32_t uf = uint32_t(u0 & 0xFFFF), vf = uint32_t(v0 & 0xFFFF);
        uint8_t* out = dst.row(int32_t(j.d.top + y)) + j.d.left * C::kBytes;
        for (int64_t x = 0; x < w; ++x, out += C::kBytes) {
            std::memcpy(out, origin + vi * row_step + ui * C::kBytes, C::kBytes);
            uf += su.frac_step;
            ui += su.whole_step + (uf >> 16);
            uf &= 0xFFFF;
            if (ui >= sw) ui -= sw;
            vf += sv.frac_step;
            vi += sv.whole_step + (vf >> 16);
            vf &= 0xFFFF;
            if (vi >= sh) vi -= sh;
        }
    }
}

uint32_t tiled_impl(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                    std::optional<Rect> src_rect, int32_t angle, int32_t zoom, bool direct) {
    if (dst.depth() != src.depth()) return 0;
    // Planes under 8 bits are left as they are, and that counts as done.
    if (!effect_depth(dst.depth())) return 1;
    auto job = tile_job(dst, dst_rect, src, src_rect, angle, zoom);
    if (!job) return 0;
    SourceRows rows(src, dst, job->s);
    with_depth(dst.depth(), [&]<int D>() {
        if (direct)
            tile_direct<D>(dst, *job, rows);
        else
            tile_rows<D>(dst, *job, rows);
    });
    return 1;
}

// ---- quadrilateral mapping ------------------------------------------------

// A corner: destination pixel and the source pixel it shows.
struct Corner {
    int64_t x = 0, y = 0, sx = 0, sy = 0;
};

// floor((n + d / 2) / d) for d > 0, kept as quotient and remainder so that
// adding a constant to n steps it without division.
template <class T>
struct Stepper {
    T q = 0, r = 0, iq = 0, ir = 0, d = 1;
    void start(i128 n, i128 den, i128 inc) {
        d = T(den);
        n += den / 2;
        i128 qq = floor_div(n, den);
        q = T(qq), r = T(n - qq * den);
        i128 iqq = floor_div(inc, den);
        iq = T(iqq), ir = T(inc - iqq * den);
    }
    void step() {
        q += iq, r += ir;
        if (r >= d) r -= d, ++q;
    }
};

struct MapJob {
    Box clip;  // destination pixels that may be drawn
    Box s;     // source rectangle (cut to its plane)
    std::optional<uint32_t> key;
};

// Draws one triangle. Pixel centres lie on whole coordinates, like the
// corners; a pixel is inside when it is on the inner side of all three edges
// or on an edge flagged inclusive (bit k: the edge facing corner k).
template <int D, class T>
void draw_triangle(Plane& dst, const MapJob& job, const SourceRows& rows, Corner c[3],
                   unsigned inclusive) {
    i128 area =
        i128(c[1].x - c[0].x) * (c[2].y - c[0].y) - i128(c[1].y - c[0].y) * (c[2].x - c[0].x);
    if (area == 0) return;
    if (area < 0) {
        std::swap(c[1], c[2]);
        inclusive = (inclusive & 1) | ((inclusive & 2) << 1) | ((inclusive & 4) >> 1);
        area = -area;
    }
    // Edge k runs from corner k+1 to corner k+2; E_k(x, y) = a x + b y + e,
    // positive inside, and E_k / area is corner k's weight.
    i128 a[3], b[3], e[3];
    for (int k = 0; k < 3; ++k) {
        const Corner& p = c[(k + 1) % 3];
        const Corner& q = c[(k + 2) % 3];
        const i128 ex = q.x - p.x, ey = q.y - p.y;
        a[k] = -ey, b[k] = ex, e[k] = ey * p.x - ex * p.y;
    }
    const int64_t top = std::max(std::min({c[0].y, c[1].y, c[2].y}), job.clip.top);
    const int64_t bottom = std::min(std::max({c[0].y, c[1].y, c[2].y}) + 1, job.clip.bottom);
    const i128 dsx = a[0] * c[0].sx + a[1] * c[1].sx + a[2] * c[2].sx;
    const i128 dsy = a[0] * c[0].sy + a[1] * c[1].sy + a[2] * c[2].sy;
    using Cs = Channels<D>;
    for (int64_t y = top; y < bottom; ++y) {
        i128 lo = job.clip.left, hi = job.clip.right - 1;
        for (int k = 0; k < 3 && lo <= hi; ++k) {
            const i128 kk = b[k] * y + e[k];
            const i128 m = (inclusive >> k) & 1 ? 0 : 1;  // a x + kk >= m
            if (a[k] > 0)
                lo = std::max<i128>(lo, -floor_div(kk - m, a[k]));
            else if (a[k] < 0)
                hi = std::min<i128>(hi, floor_div(kk - m, -a[k]));
            else if (kk < m)
                lo = hi + 1;
        }
        if (lo > hi) continue;
        i128 nx = 0, ny = 0;
        for (int k = 0; k < 3; ++k) {
            const i128 wk = a[k] * lo + b[k] * y + e[k];
            nx += wk * c[k].sx;
            ny += wk * c[k].sy;
        }
        Stepper<T> sx, sy;
        sx.start(nx, area, hi > lo ? dsx : 0);
        sy.start(ny, area, hi > lo ? dsy : 0);
        uint8_t* out = dst.row(int32_t(y)) + int64_t(lo) * Cs::kBytes;
        for (int64_t x = int64_t(lo); x <= int64_t(hi); ++x, out += Cs::kBytes) {
            const int64_t px = std::clamp<int64_t>(int64_t(sx.q), job.s.left, job.s.right - 1);
            const int64_t py = std::clamp<int64_t>(int64_t(sy.q), job.s.top, job.s.bottom - 1);
            const uint8_t* in = rows.at(px, py);
            if (!job.key || key_bits(in, D) != *job.key) std::memcpy(out, in, Cs::kBytes);
            sx.step();
            sy.step();
        }
    }
}

// The quadrilateral is split along its top-left to bottom-right diagonal into
// two triangles, each mapped affinely; the outer edges belong to the
// picture and the diagonal to the first triangle, so nothing is drawn twice
// and no seam opens. Pixels sample the nearest source pixel, clamped into the
// source rectangle.
uint32_t map_quad(Plane& dst, const std::array<Corner, 4>& q, const Plane& src, const Box& s,
                  KeyArg key) {
    MapJob job;
    job.s = s;
    job.key = key_for(key, src.depth());
    Box hull{q[0].x, q[0].y, q[0].x + 1, q[0].y + 1};
    for (const Corner& c : q) {
        hull.left = std::min(hull.left, c.x), hull.right = std::max(hull.right, c.x + 1);
        hull.top = std::min(hull.top, c.y), hull.bottom = std::max(hull.bottom, c.y + 1);
    }
    job.clip = clip_box(dst).intersect(hull);
    if (job.clip.empty()) return 0;
    SourceRows rows(src, dst, s);
    Corner first[3] = {q[0], q[1], q[2]}, second[3] = {q[0], q[2], q[3]};
    const i128 first_area =
        i128(q[1].x - q[0].x) * (q[2].y - q[0].y) - i128(q[1].y - q[0].y) * (q[2].x - q[0].x);
    // The second triangle's edge facing its third corner is the diagonal.
    const unsigned second_edges = first_area == 0 ? 7u : 3u;
    with_depth(dst.depth(), [&]<int D>() {
        auto draw = [&](Corner* c, unsigned inclusive) {
            const i128 area = i128(c[1].x - c[0].x) * (c[2].y - c[0].y) -
                              i128(c[1].y - c[0].y) * (c[2].x - c[0].x);
            const i128 mag = area < 0 ? -area : area;
            if (mag < (i128(1) << 60))
                draw_triangle<D, int64_t>(dst, job, rows, c, inclusive);
            else
                draw_triangle<D, i128>(dst, job, rows, c, inclusive);
        };
        draw(first, 7);
        draw(second, second_edges);
    });
    return 1;
}

}  // namespace

uint32_t smooth(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                std::optional<Rect> src_rect, KeyArg key) {
    return smooth_impl(dst, dst_rect, src, src_rect, key, false);
}
uint32_t reference::smooth(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                           std::optional<Rect> src_rect, KeyArg key) {
    return smooth_impl(dst, dst_rect, src, src_rect, key, true);
}

uint32_t tiled(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
               std::optional<Rect> src_rect, int32_t angle, int32_t zoom) {
    return tiled_impl(dst, dst_rect, src, src_rect, angle, zoom, false);
}
uint32_t reference::tiled(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                          std::optional<Rect> src_rect, int32_t angle, int32_t zoom) {
    return tiled_impl(dst, dst_rect, src, src_rect, angle, zoom, true);
}

uint32_t freemap(Plane& dst, std::optional<Quad> quad, const Plane& src,
                 std::optional<Rect> src_rect, KeyArg key) {
    if (!same_effect_depth(dst, src)) return 0;
    const Box s = area_of(src, src_rect).intersect(src.bounds());
    if (s.empty()) return 0;
    Quad q =
        quad ? *quad
             : Quad{QuadPoint{0, 0}, QuadPoint{0, dst.height() - 1},
                    QuadPoint{dst.width() - 1, dst.height() - 1}, QuadPoint{dst.width() - 1, 0}};
    const int64_t source[4][2] = {
        {s.left, s.top}, {s.left, s.bottom - 1}, {s.right - 1, s.bottom - 1}, {s.right - 1, s.top}};
    std::array<Corner, 4> c;
    for (int k = 0; k < 4; ++k)
        c[size_t(k)] = {q[size_t(k)].x, q[size_t(k)].y, source[k][0], source[k][1]};
    return map_quad(dst, c, src, s, key);
}

// The rectangle (right and bottom inclusive) turns about its exact centre:
// positions are doubled, so a centre between pixels does not shift the
// picture by half a pixel (an angle of 1024 is then the copy mirrored both
// ways). Top-left and bottom-left turn; the other two corners are their
// reflections through the centre.
uint32_t rotate(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                std::optional<Rect> src_rect, int32_t angle, KeyArg key) {
    if (!same_effect_depth(dst, src)) return 0;
    const Box s = area_of(src, src_rect).intersect(src.bounds());
    if (s.empty()) return 0;
    const Rect r = dst_rect ? *dst_rect : Rect{0, 0, dst.width() - 1, dst.height() - 1};
    const int64_t cx2 = int64_t(r.left) + r.right, cy2 = int64_t(r.top) + r.bottom;
    const int64_t sn = rotation_sine(uint32_t(angle)),
                  cs = rotation_sine(uint32_t(angle) + kQuarterTurn);
    auto turn = [&](int64_t x, int64_t y, int64_t& tx, int64_t& ty) {
        const int64_t dx = 2 * x - cx2, dy = 2 * y - cy2;
        tx = (dx * cs - dy * sn) >> 16;
        ty = (dy * cs + dx * sn) >> 16;
    };
    int64_t ax, ay, bx, by;
    turn(r.left, r.top, ax, ay);
    turn(r.left, r.bottom, bx, by);
    std::array<Corner, 4> c = {Corner{(cx2 + ax) >> 1, (cy2 + ay) >> 1, s.left, s.top},
                               Corner{(cx2 + bx) >> 1, (cy2 + by) >> 1, s.left, s.bottom - 1},
                               Corner{(cx2 - ax) >> 1, (cy2 - ay) >> 1, s.right - 1, s.bottom - 1},
                               Corner{(cx2 - bx) >> 1, (cy2 - by) >> 1, s.right - 1, s.top}};
    return map_quad(dst, c, src, s, key);
}

}  // namespace tob::gfx
