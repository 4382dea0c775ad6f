// The in-place and copying filters: scroll, noise, slice, gradation, mosaic,
// monotone, blur and fire, and the pixel helpers the effects share.
//
// Depths: 8, 16, 24 and 32 bits; other depths give 0. Pixels are worked per
// channel as effect_pixels.h says: on 8-bit planes the value itself (right
// for mask and coverage planes), 16-bit pixels per 5-bit field, 24- and
// 32-bit pixels per byte. Noise, monotone and fire change the colour
// channels only and keep a 32-bit pixel's alpha byte; the copying filters
// carry it.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "graphics/blitter.h"
#include "graphics/colour.h"
#include "graphics/effect_pixels.h"
#include "graphics/effects.h"

namespace tob::gfx {

namespace fx {

bool effect_depth(uint32_t depth) {
    return depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

uint32_t key_bits(const uint8_t* p, uint32_t depth) {
    switch (depth) {
        case 8:
            return p[0];
        case 16:
            return uint32_t(p[0] | p[1] << 8) & 0x7FFF;
        default:
            return uint32_t(p[0] | p[1] << 8 | p[2] << 16);
    }
}

std::optional<uint32_t> key_for(int32_t key, uint32_t depth) {
    if (key < 0) return std::nullopt;
    return pixel_value(uint32_t(key), depth) & (depth == 16 ? 0x7FFFu : 0xFFFFFFu);
}

bool clip_copy(const Plane& dst, int64_t x, int64_t y, const Plane& src, Box s, Box& d_out,
               Box& s_out) {
    if (s.empty()) return false;
    Box d{x, y, x + s.width(), y + s.height()};
    Box dc = d.intersect(clip_box(dst));
    if (dc.empty()) return false;
    Box sc{s.left + dc.left - d.left, s.top + dc.top - d.top, 0, 0};
    sc.right = sc.left + dc.width();
    sc.bottom = sc.top + dc.height();
    Box si = sc.intersect(src.bounds());
    if (si.empty()) return false;
    d_out = {dc.left + si.left - sc.left, dc.top + si.top - sc.top, 0, 0};
    d_out.right = d_out.left + si.width();
    d_out.bottom = d_out.top + si.height();
    s_out = si;
    return true;
}

int32_t saturate32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}
int32_t saturate32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}
int16_t saturate16(int64_t v) {
    return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

}  // namespace fx

using namespace fx;

namespace {

// Until the engine installs its generator: a private xorshift.
uint32_t private_random() {
    static uint32_t state = 2463534242u;
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}
RandomSource g_random = private_random;

}  // namespace

void set_effect_random(RandomSource source) {
    g_random = source ? source : private_random;
}
uint32_t effect_random() {
    return g_random();
}

namespace {

// The plain copy (mode 0) some filters fall back to.
uint32_t plain_copy(Plane& dst, int32_t x, int32_t y, const Plane& src,
                    std::optional<Rect> src_rect) {
    return copy_unscaled(dst, x, y, src, nullptr, src_rect, BlendRecord{});
}

// The area an in-place filter works on: the rectangle (null: the plane) cut
// to the clip rectangle.
Box work_area(const Plane& p, const std::optional<Rect>& rect) {
    return area_of(p, rect).intersect(clip_box(p));
}

uint8_t* pixel(Plane& p, int64_t x, int64_t y) {
    return p.row(int32_t(y)) + x * int64_t(p.depth() / 8);
}

// One row of a box blur: out[i] is the rounded mean of the 2r + 1 inputs
// around i, the end pixels repeated beyond the row. `in` and `out` hold
// `n` pixels `stride` bytes apart.
template <int D>
void blur_line(const uint8_t* in, int64_t in_stride, uint8_t* out, int64_t out_stride, int64_t n,
               int64_t r) {
    using C = Channels<D>;
    const uint32_t mult = uint32_t(65536 / (2 * r + 1));
    int32_t sum[4] = {}, c[4];
    auto at = [&](int64_t i) { return in + std::clamp<int64_t>(i, 0, n - 1) * in_stride; };
    for (int64_t k = -r; k <= r; ++k) {
        C::load(at(k), c);
        for (int ch = 0; ch < C::kAll; ++ch) sum[ch] += c[ch];
    }
    for (int64_t i = 0; i < n; ++i) {
        int32_t o[4];
        for (int ch = 0; ch < C::kAll; ++ch)
            o[ch] = int32_t((uint32_t(sum[ch]) * mult + 32768) >> 16);
        int32_t gone[4], come[4];
        C::load(at(i - r), gone);
        C::load(at(i + r + 1), come);
        for (int ch = 0; ch < C::kAll; ++ch) sum[ch] += come[ch] - gone[ch];
        C::store(out + i * out_stride, o);
    }
}

// The same mean summed afresh for every pixel: the reference of blur_line.
template <int D>
void blur_line_direct(const uint8_t* in, int64_t in_stride, uint8_t* out, int64_t out_stride,
                      int64_t n, int64_t r) {
    using C = Channels<D>;
    const uint32_t mult = uint32_t(65536 / (2 * r + 1));
    std::vector<uint8_t> result(size_t(n) * C::kBytes);
    for (int64_t i = 0; i < n; ++i) {
        int32_t sum[4] = {}, c[4];
        for (int64_t k = i - r; k <= i + r; ++k) {
            C::load(in + std::clamp<int64_t>(k, 0, n - 1) * in_stride, c);
            for (int ch = 0; ch < C::kAll; ++ch) sum[ch] += c[ch];
        }
        for (int ch = 0; ch < C::kAll; ++ch)
            c[ch] = int32_t((uint32_t(sum[ch]) * mult + 32768) >> 16);
        C::store(&result[size_t(i) * C::kBytes], c);
    }
    for (int64_t i = 0; i < n; ++i)
        std::memcpy(out + i * out_stride, &result[size_t(i) * C::kBytes], C::kBytes);
}

uint32_t blur_impl(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect,
                   int32_t amount, bool direct) {
    if (src.depth() != dst.depth() || !effect_depth(dst.depth())) return 0;
    if (amount == 0) return plain_copy(dst, x, y, src, src_rect);
    const int64_t r = std::min<int64_t>(std::abs(int64_t(amount)), 127);
    Box d, s;
    if (!clip_copy(dst, x, y, src, area_of(src, src_rect), d, s)) return 0;
    SourceRows rows(src, dst, s);
    const int64_t w = d.width(), h = d.height();
    with_depth(dst.depth(), [&]<int D>() {
        const int64_t bpp = Channels<D>::kBytes;
        auto line = direct ? blur_line_direct<D> : blur_line<D>;
        for (int64_t j = 0; j < h; ++j)
            line(rows.at(s.left, s.top + j), bpp, pixel(dst, d.left, d.top + j), bpp, w, r);
        // A negative amount adds the same pass down the columns: a box blur
        // in two dimensions.
        if (amount < 0 && h > 1) {
            const int64_t step = -int64_t(dst.pitch());
            std::vector<uint8_t> column(size_t(h) * bpp);
            for (int64_t i = 0; i < w; ++i) {
                uint8_t* top = pixel(dst, d.left + i, d.top);
                for (int64_t j = 0; j < h; ++j)
                    std::memcpy(&column[size_t(j * bpp)], top + j * step, size_t(bpp));
                line(column.data(), bpp, top, step, h, r);
            }
        }
    });
    return 1;
}

}  // namespace

uint32_t scroll(Plane& p, std::optional<Rect> rect, int32_t dx, int32_t dy) {
    if (!effect_depth(p.depth())) return 0;
    Box a = work_area(p, rect);
    if (a.empty()) return 0;
    const int64_t w = a.width(), h = a.height(), bpp = p.depth() / 8;
    const int64_t sx = ((int64_t(dx) % w) + w) % w, sy = ((int64_t(dy) % h) + h) % h;
    if (sx) {
        for (int64_t y = a.top; y < a.bottom; ++y) {
            uint8_t* row = pixel(p, a.left, y);
            std::rotate(row, row + sx * bpp, row + w * bpp);
        }
    }
    if (sy) {
        // Rows move up by sy along the cycles of the rotation, one row held
        // aside per cycle in a buffer that is kept between calls.
        static std::vector<uint8_t> held;
        held.resize(size_t(w * bpp));
        const int64_t cycles = std::gcd(h, sy), bytes = w * bpp;
        for (int64_t start = 0; start < cycles; ++start) {
            std::memcpy(held.data(), pixel(p, a.left, a.top + start), size_t(bytes));
            int64_t cur = start;
            for (;;) {
                int64_t next = (cur + sy) % h;
                if (next == start) break;
                std::memcpy(pixel(p, a.left, a.top + cur), pixel(p, a.left, a.top + next),
                            size_t(bytes));
                cur = next;
            }
            std::memcpy(pixel(p, a.left, a.top + cur), held.data(), size_t(bytes));
        }
    }
    return 1;
}

uint32_t noise(Plane& p, std::optional<Rect> rect, int32_t amount) {
    if (amount < 1) return 1;
    const uint32_t depth = p.depth();
    if (depth != 16 && depth != 24 && depth != 32) return 0;
    Box a = work_area(p, rect);
    if (a.empty()) return 0;
    const uint32_t t = amount >= 255 ? 0 : uint32_t(255 - amount);
    auto rng = effect_random;
    const int64_t bpp = depth / 8;
    for (int64_t y = a.top; y < a.bottom; ++y) {
        uint32_t v = rng() & 255, step = rng() & 255;
        uint8_t* q = pixel(p, a.left, y);
        if (depth == 16) {
            const uint32_t t5 = t >> 3;
            v &= 31, step &= 31;
            for (int64_t x = 0; x < a.width(); ++x, q += 2) {
                if (v > t5) {
                    int32_t c[4];
                    Channels<16>::load(q, c);
                    for (int ch = 0; ch < 3; ++ch)
                        c[ch] = std::min<int32_t>(c[ch] + int32_t(v - t5), 31);
                    Channels<16>::store(q, c);
                }
                v = (v + step) & 31;
            }
        } else {
            for (int64_t x = 0; x < a.width(); ++x, q += bpp) {
                if (v > t)
                    for (int ch = 0; ch < 3; ++ch)
                        q[ch] = uint8_t(std::min<uint32_t>(q[ch] + v - t, 255));
                v = (v + step) & 255;
            }
        }
    }
    return 1;
}

uint32_t slice(Plane& p, std::optional<Rect> rect, int32_t amount) {
    if (amount < 1) return 1;
    if (!effect_depth(p.depth())) return 0;
    Box a = work_area(p, rect);
    if (a.empty()) return 0;
    const int64_t w = a.width(), bpp = p.depth() / 8;
    const int64_t k = std::min<int64_t>(amount, 256) * w >> 8;
    if (k == 0) return 1;
    auto rng = effect_random;
    for (int64_t y = a.top; y < a.bottom; ++y) {
        const int64_t s = int64_t(rng() % uint64_t(2 * k)) - k;
        uint8_t* row = pixel(p, a.left, y);
        if (s > 0) {
            std::memmove(row + s * bpp, row, size_t((w - s) * bpp));
            std::memset(row, 0, size_t(s * bpp));
        } else if (s < 0) {
            std::memmove(row, row - s * bpp, size_t((w + s) * bpp));
            std::memset(row + (w + s) * bpp, 0, size_t(-s * bpp));
        }
    }
    return 1;
}

// Pairs of 24- and 32-bit planes average the three colour bytes (a 32-bit
// destination keeps its alpha); equal depths average every channel, which on
// 8- and 16-bit planes is the value or the 5-bit fields.
uint32_t gradation(Plane& dst, int32_t x, int32_t y, const Plane& src,
                   std::optional<Rect> src_rect) {
    const uint32_t sd = src.depth(), dd = dst.depth();
    const bool mixed = sd != dd && (sd == 24 || sd == 32) && (dd == 24 || dd == 32);
    if (!mixed && (sd != dd || !effect_depth(sd))) return 0;
    Box d, s;
    if (!clip_copy(dst, x, y, src, area_of(src, src_rect), d, s)) return 0;
    SourceRows rows(src, dst, s);
    const int64_t w = d.width(), h = d.height();
    auto neighbours = [&](int64_t i, int64_t j, const uint8_t* n[4]) {
        const uint8_t* self = rows.at(s.left + i, s.top + j);
        n[0] = i > 0 ? rows.at(s.left + i - 1, s.top + j) : self;
        n[1] = i + 1 < w ? rows.at(s.left + i + 1, s.top + j) : self;
        n[2] = j > 0 ? rows.at(s.left + i, s.top + j - 1) : self;
        n[3] = j + 1 < h ? rows.at(s.left + i, s.top + j + 1) : self;
    };
    if (mixed) {
        const int64_t dbpp = dd / 8;
        for (int64_t j = 0; j < h; ++j) {
            uint8_t* out = pixel(dst, d.left, d.top + j);
            for (int64_t i = 0; i < w; ++i, out += dbpp) {
                const uint8_t* n[4];
                neighbours(i, j, n);
                for (int ch = 0; ch < 3; ++ch)
                    out[ch] = uint8_t((n[0][ch] + n[1][ch] + n[2][ch] + n[3][ch]) >> 2);
            }
        }
        return 1;
    }
    with_depth(dd, [&]<int D>() {
        using C = Channels<D>;
        for (int64_t j = 0; j < h; ++j) {
            uint8_t* out = pixel(dst, d.left, d.top + j);
            for (int64_t i = 0; i < w; ++i, out += C::kBytes) {
                const uint8_t* n[4];
                neighbours(i, j, n);
                int32_t c[4][4], o[4];
                for (int k = 0; k < 4; ++k) C::load(n[k], c[k]);
                for (int ch = 0; ch < C::kAll; ++ch)
                    o[ch] = (c[0][ch] + c[1][ch] + c[2][ch] + c[3][ch]) >> 2;
                C::store(out, o);
            }
        }
    });
    return 1;
}

uint32_t mosaic(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect,
                int32_t bw, int32_t bh) {
    int64_t aw = std::abs(int64_t(bw)), ah = std::abs(int64_t(bh));
    if (aw < 2 && ah < 2) return plain_copy(dst, x, y, src, src_rect);
    aw = std::max<int64_t>(aw, 1), ah = std::max<int64_t>(ah, 1);
    if (src.depth() != dst.depth() || !effect_depth(dst.depth())) return 0;
    Box d, s;
    if (!clip_copy(dst, x, y, src, area_of(src, src_rect), d, s)) return 0;
    SourceRows rows(src, dst, s);
    const int64_t w = d.width(), h = d.height();
    with_depth(dst.depth(), [&]<int D>() {
        using C = Channels<D>;
        for (int64_t by = 0; by < h; by += ah) {
            const int64_t bottom = std::min(by + ah, h) - 1;
            for (int64_t bx = 0; bx < w; bx += aw) {
                const int64_t right = std::min(bx + aw, w) - 1;
                int32_t c[4][4], o[4];
                C::load(rows.at(s.left + bx, s.top + by), c[0]);
                C::load(rows.at(s.left + right, s.top + by), c[1]);
                C::load(rows.at(s.left + bx, s.top + bottom), c[2]);
                C::load(rows.at(s.left + right, s.top + bottom), c[3]);
                for (int ch = 0; ch < C::kAll; ++ch)
                    o[ch] = (c[0][ch] + c[1][ch] + c[2][ch] + c[3][ch]) >> 2;
                for (int64_t j = by; j <= bottom; ++j) {
                    uint8_t* out = pixel(dst, d.left + bx, d.top + j);
                    for (int64_t i = bx; i <= right; ++i, out += C::kBytes) C::store(out, o);
                }
            }
        }
    });
    return 1;
}

// The two colours are colour values (palette indexes through the screen
// colour table).
uint32_t monotone(Plane& p, std::optional<Rect> rect, uint32_t dark, uint32_t light) {
    const uint32_t depth = p.depth();
    if (depth != 16 && depth != 24 && depth != 32) return 0;
    Box a = work_area(p, rect);
    if (a.empty()) return 0;
    const uint32_t c1 = true_colour(dark), c2 = true_colour(light);
    // ramp[ch][i], channels in pixel byte order: blue, green, red.
    uint8_t ramp[3][256];
    for (int ch = 0; ch < 3; ++ch) {
        const int32_t lo = int32_t((c1 >> (8 * ch)) & 255), hi = int32_t((c2 >> (8 * ch)) & 255);
        for (int32_t i = 0; i < 256; ++i) ramp[ch][i] = uint8_t(lo + (hi - lo) * i / 255);
    }
    const int64_t bpp = depth / 8;
    for (int64_t y = a.top; y < a.bottom; ++y) {
        uint8_t* q = pixel(p, a.left, y);
        for (int64_t x = 0; x < a.width(); ++x, q += bpp) {
            if (depth == 16) {
                int32_t c[4];
                Channels<16>::load(q, c);
                const uint32_t lum = (161184u * uint32_t(c[2]) + 316446u * uint32_t(c[1]) +
                                      61455u * uint32_t(c[0])) >>
                                     16;
                for (int ch = 0; ch < 3; ++ch) c[ch] = ramp[ch][lum] >> 3;
                Channels<16>::store(q, c);
            } else {
                const uint32_t lum = (19595u * q[2] + 38470u * q[1] + 7471u * q[0]) >> 16;
                for (int ch = 0; ch < 3; ++ch) q[ch] = ramp[ch][lum];
            }
        }
    }
    return 1;
}

uint32_t blur(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect,
              int32_t amount) {
    return blur_impl(dst, x, y, src, src_rect, amount, false);
}

uint32_t reference::blur(Plane& dst, int32_t x, int32_t y, const Plane& src,
                         std::optional<Rect> src_rect, int32_t amount) {
    return blur_impl(dst, x, y, src, src_rect, amount, true);
}

uint32_t fire(Plane& p, std::optional<Rect> rect) {
    if (!effect_depth(p.depth())) return 0;
    Box a = work_area(p, rect);
    if (a.empty()) return 0;
    auto rng = effect_random;
    with_depth(p.depth(), [&]<int D>() {
        using C = Channels<D>;
        const int32_t cool = D == 8 ? 2 : 1;
        for (int64_t y = a.top + 1; y < a.bottom; ++y) {
            const uint8_t* in = pixel(p, a.left, y);
            uint8_t* above = pixel(p, a.left, y - 1);
            for (int64_t i = 0; i < a.width(); ++i) {
                int64_t to = i + int64_t(rng() % 3) - 1;
                if (to < 0 || to >= a.width()) to = i;
                int32_t c[4];
                C::load(in + i * C::kBytes, c);
                for (int ch = 0; ch < C::kColour; ++ch) c[ch] = std::max(c[ch] - cool, 0);
                C::store(above + to * C::kBytes, c);
            }
        }
    });
    return 1;
}

}  // namespace tob::gfx
