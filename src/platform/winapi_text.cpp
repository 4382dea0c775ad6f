// Text output and measuring of the platform text library: CP932 text goes to
// UTF-16 with the project's table, glyphs come from the selected font's cache,
// and pixels are written in the bitmap's own format, clipped to the bitmap.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/cp932.h"
#include "platform/winapi_internal.h"

namespace tob::platform::gdi {
namespace {

std::vector<char32_t> code_points(const WCHAR* text, int length) {
    std::vector<char32_t> out;
    out.reserve(size_t(length));
    for (int i = 0; i < length; ++i) {
        char32_t u = text[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        out.push_back(u);
    }
    return out;
}

struct Target {
    uint8_t* top;
    int64_t stride;
    int64_t width, height;
    int32_t depth;
    uint8_t* row(int64_t y) const { return top + y * stride; }
};

// A colour as the bitmap stores it: the nearest table entry (the first of
// equals) up to 8 bits, 5-5-5 at 16, 0x00RRGGBB above.
uint32_t pixel_of(const DeviceContext& dc, COLORREF c) {
    uint32_t r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
    switch (dc.bitmap.depth) {
        case 16:
            return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        case 24:
        case 32:
            return r << 16 | g << 8 | b;
        default:
            break;
    }
    uint32_t best = 0, best_distance = UINT32_MAX;
    for (size_t i = 0; i + 3 < dc.colours.size(); i += 4) {
        int db = int(dc.colours[i]) - int(b), dg = int(dc.colours[i + 1]) - int(g),
            dr = int(dc.colours[i + 2]) - int(r);
        auto d = uint32_t(dr * dr + dg * dg + db * db);
        if (d < best_distance) best_distance = d, best = uint32_t(i / 4);
    }
    return best;
}

template <int Depth>
inline void put(uint8_t* row, int64_t x, uint32_t v) {
    if constexpr (Depth == 1) {
        uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = v & 1 ? uint8_t(row[x >> 3] | mask) : uint8_t(row[x >> 3] & ~mask);
    } else if constexpr (Depth == 4) {
        int shift = x & 1 ? 0 : 4;
        row[x >> 1] = uint8_t((row[x >> 1] & ~(0xF << shift)) | ((v & 0xF) << shift));
    } else if constexpr (Depth == 8) {
        row[x] = uint8_t(v);
    } else if constexpr (Depth == 16) {
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
    } else if constexpr (Depth == 24) {
        row[3 * x] = uint8_t(v);
        row[3 * x + 1] = uint8_t(v >> 8);
        row[3 * x + 2] = uint8_t(v >> 16);
    } else {
        // 0x00RRGGBB: the top byte is written 0, as the platform's text output does.
        uint32_t p = v & 0xFFFFFF;
        std::memcpy(row + 4 * x, &p, 4);  // little-endian host
    }
}

template <int Depth>
void glyph_pixels(const Target& t, const MonoGlyph& g, int64_t ox, int64_t oy, int64_t r0,
                  int64_t r1, int64_t c0, int64_t c1, uint32_t v) {
    for (int64_t r = r0; r < r1; ++r) {
        const uint8_t* src = g.bits.data() + r * g.pitch;
        uint8_t* row = t.row(oy + r);
        for (int64_t c = c0; c < c1; ++c) {
            uint8_t byte = src[c >> 3];
            if (!byte) {
                c |= 7;  // skip the rest of an empty byte
                continue;
            }
            if (byte & (0x80 >> (c & 7))) put<Depth>(row, ox + c, v);
        }
    }
}

uint64_t load_be64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

void or_be64(uint8_t* p, uint64_t v) {
    uint64_t d;
    std::memcpy(&d, p, 8);
    d |= __builtin_bswap64(v);
    std::memcpy(p, &d, 8);
}

// Setting bits of a 1-bit bitmap: whole glyph bytes shifted into place,
// eight at a time where the glyph is not cut at the sides.
void glyph_or_bits(const Target& t, const MonoGlyph& g, int64_t ox, int64_t oy, int64_t r0,
                   int64_t r1, int64_t c0, int64_t c1) {
    if (c0 == 0 && c1 == g.width) {
        const int64_t row_bytes = (t.width + 7) / 8, q = ox >> 3, s = ox & 7;
        for (int64_t r = r0; r < r1; ++r) {
            const uint8_t* src = g.bits.data() + r * g.pitch;
            uint8_t* row = t.row(oy + r) + q;
            int64_t k = 0;
            for (; k + 8 <= g.pitch && q + k + 9 <= row_bytes; k += 8) {
                uint64_t w = load_be64(src + k);
                if (!w) continue;
                or_be64(row + k, w >> s);
                if (s) row[k + 8] |= uint8_t((w & 0xFF) << (8 - s));
            }
            for (; k < g.pitch; ++k) {
                unsigned b = src[k];
                if (!b) continue;
                row[k] |= uint8_t(b >> s);
                if (unsigned lo = (b << (8 - s)) & 0xFF; s && lo) row[k + 1] |= uint8_t(lo);
            }
        }
        return;
    }
    int64_t k0 = c0 >> 3, k1 = (c1 - 1) >> 3;
    for (int64_t r = r0; r < r1; ++r) {
        const uint8_t* src = g.bits.data() + r * g.pitch;
        uint8_t* row = t.row(oy + r);
        for (int64_t k = k0; k <= k1; ++k) {
            unsigned b = src[k];
            if (8 * k < c0) b &= 0xFFu >> (c0 - 8 * k);
            if (8 * k + 8 > c1) b &= (0xFFu << (8 * k + 8 - c1)) & 0xFF;
            if (!b) continue;
            int64_t p = ox + 8 * k;  // bit position of the byte's first pixel
            int64_t s = ((p % 8) + 8) % 8, q = (p - s) / 8;
            if (unsigned hi = b >> s) row[q] |= uint8_t(hi);
            if (unsigned lo = (b << (8 - s)) & 0xFF; s && lo) row[q + 1] |= uint8_t(lo);
        }
    }
}

void draw_glyph(const Target& t, const MonoGlyph& g, int64_t ox, int64_t oy, uint32_t v) {
    int64_t r0 = std::max<int64_t>(0, -oy), r1 = std::min<int64_t>(g.rows, t.height - oy);
    int64_t c0 = std::max<int64_t>(0, -ox), c1 = std::min<int64_t>(g.width, t.width - ox);
    if (r0 >= r1 || c0 >= c1) return;
    switch (t.depth) {
        case 1:
            if (v & 1) return glyph_or_bits(t, g, ox, oy, r0, r1, c0, c1);
            return glyph_pixels<1>(t, g, ox, oy, r0, r1, c0, c1, v);
        case 4:
            return glyph_pixels<4>(t, g, ox, oy, r0, r1, c0, c1, v);
        case 8:
            return glyph_pixels<8>(t, g, ox, oy, r0, r1, c0, c1, v);
        case 16:
            return glyph_pixels<16>(t, g, ox, oy, r0, r1, c0, c1, v);
        case 24:
            return glyph_pixels<24>(t, g, ox, oy, r0, r1, c0, c1, v);
        default:
            return glyph_pixels<32>(t, g, ox, oy, r0, r1, c0, c1, v);
    }
}

void put_any(const Target& t, int64_t x, int64_t y, uint32_t v) {
    uint8_t* row = t.row(y);
    switch (t.depth) {
        case 1:
            return put<1>(row, x, v);
        case 4:
            return put<4>(row, x, v);
        case 8:
            return put<8>(row, x, v);
        case 16:
            return put<16>(row, x, v);
        case 24:
            return put<24>(row, x, v);
        default:
            return put<32>(row, x, v);
    }
}

// Keeps a coordinate computed in floating point well inside 64 bits.
int64_t to_pixel(double v) {
    constexpr double kLimit = 4.0e18;
    return std::llround(std::clamp(v, -kLimit, kLimit));
}

int64_t saturating_add(int64_t a, int64_t b) {
    constexpr int64_t kLimit = INT64_MAX / 4;
    return std::clamp<int64_t>(a + std::clamp<int64_t>(b, -kLimit, kLimit), -kLimit * 2,
                               kLimit * 2);
}

// Fills the part of the text's own rectangle u in [u0, u1) along the baseline,
// v in [v0, v1) downwards, turned about (x, y): every pixel whose centre lies
// inside.
void fill_turned(const Target& t, int64_t x, int64_t y, double cs, double sn, int64_t u0,
                 int64_t u1, int64_t v0, int64_t v1, uint32_t value) {
    if (u0 >= u1 || v0 >= v1) return;
    int64_t left, top, right, bottom;
    if (cs == 1 && sn == 0) {
        left = saturating_add(x, u0), right = saturating_add(x, u1);
        top = saturating_add(y, v0), bottom = saturating_add(y, v1);
    } else {
        double xs[4], ys[4];
        int i = 0;
        for (int64_t u : {u0, u1})
            for (int64_t v : {v0, v1}) {
                xs[i] = double(x) + double(u) * cs + double(v) * sn;
                ys[i] = double(y) - double(u) * sn + double(v) * cs;
                ++i;
            }
        left = to_pixel(std::floor(*std::min_element(xs, xs + 4)));
        right = to_pixel(std::ceil(*std::max_element(xs, xs + 4)));
        top = to_pixel(std::floor(*std::min_element(ys, ys + 4)));
        bottom = to_pixel(std::ceil(*std::max_element(ys, ys + 4)));
    }
    left = std::max<int64_t>(left, 0), top = std::max<int64_t>(top, 0);
    right = std::min(right, t.width), bottom = std::min(bottom, t.height);
    bool upright = cs == 1 && sn == 0;
    for (int64_t py = top; py < bottom; ++py)
        for (int64_t px = left; px < right; ++px) {
            if (!upright) {
                double dx = double(px) + 0.5 - double(x), dy = double(py) + 0.5 - double(y);
                double u = dx * cs - dy * sn, v = dx * sn + dy * cs;
                if (u < double(u0) || u >= double(u1) || v < double(v0) || v >= double(v1))
                    continue;
            }
            put_any(t, px, py, value);
        }
}

}  // namespace
}  // namespace tob::platform::gdi

using namespace tob::platform::gdi;
using tob::platform::MonoGlyph;

extern "C" {

BOOL GetTextExtentPoint32W(HDC h, const WCHAR* text, int length, SIZE* size) {
    DeviceContext* dc = context_of(h);
    if (!dc || !size || length < 0 || (!text && length > 0)) return 0;
    auto font = selected_font(*dc);
    std::vector<char32_t> cps = code_points(text, length);
    int64_t cx = font->raster->advance_sum(cps);
    size->cx = LONG(std::min<int64_t>(cx, INT32_MAX));
    size->cy = font->raster->metrics().cell_height;
    return 1;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size) {
    if (length < 0 || (!text && length > 0)) return 0;
    std::u16string wide = tob::cp932_to_utf16(std::string_view(text ? text : "", size_t(length)));
    return GetTextExtentPoint32W(dc, wide.data(), int(wide.size()), size);
}

BOOL TextOutW(HDC h, int x, int y, const WCHAR* text, int length) {
    DeviceContext* dc = context_of(h);
    if (!dc || length < 0 || (!text && length > 0)) return 0;
    if (length == 0) return 1;
    auto font = selected_font(*dc);
    tob::platform::RasterFont& raster = *font->raster;
    const tob::platform::RasterMetrics& m = raster.metrics();
    const TobBitmap& b = dc->bitmap;
    Target t{static_cast<uint8_t*>(b.bits), b.stride, b.width, b.height, b.depth};
    if (t.width == 0 || t.height == 0) return 1;
    uint32_t text_value = pixel_of(*dc, dc->text_colour);
    double cs = raster.cos_angle(), sn = raster.sin_angle();
    bool upright = !raster.turned();
    std::vector<char32_t> cps = code_points(text, length);
    int64_t cx = raster.advance_sum(cps);
    if (dc->background_mode == TOB_OPAQUE)
        fill_turned(t, x, y, cs, sn, 0, cx, 0, m.cell_height, pixel_of(*dc, dc->background_colour));
    // Where the pen stands on the baseline, and whether a glyph there can
    // reach the bitmap (its bitmap lies within a cell and an advance of it).
    auto pen_at = [&](int64_t pen, int64_t& gx, int64_t& gy) {
        if (upright) {
            gx = saturating_add(x, pen);
            gy = int64_t(y) + m.ascent;
        } else {
            gx = int64_t(x) + to_pixel(double(m.ascent) * sn + double(pen) * cs);
            gy = int64_t(y) + to_pixel(double(m.ascent) * cs - double(pen) * sn);
        }
    };
    auto wanted = [&](int64_t pen, int32_t advance) {
        int64_t gx, gy, reach = int64_t(advance) + 2 * int64_t(m.cell_height) + 2;
        pen_at(pen, gx, gy);
        return gx > -reach && gx < t.width + reach && gy > -reach && gy < t.height + reach;
    };
    raster.draw_glyphs(cps, wanted, [&](const MonoGlyph& g, int64_t pen) {
        int64_t gx, gy;
        pen_at(pen, gx, gy);
        if (!g.bits.empty()) draw_glyph(t, g, gx + g.left, gy - g.top, text_value);
    });
    const LOGFONTA& lf = font->logfont;
    if (lf.lfUnderline) {
        int64_t v0 = int64_t(m.ascent) + m.underline_offset;
        fill_turned(t, x, y, cs, sn, 0, cx, v0, v0 + m.underline_thickness, text_value);
    }
    if (lf.lfStrikeOut) {
        int64_t v0 = int64_t(m.ascent) + m.strike_offset;
        fill_turned(t, x, y, cs, sn, 0, cx, v0, v0 + m.strike_thickness, text_value);
    }
    return 1;
}

BOOL TextOutA(HDC dc, int x, int y, const char* text, int length) {
    if (length < 0 || (!text && length > 0)) return 0;
    std::u16string wide = tob::cp932_to_utf16(std::string_view(text ? text : "", size_t(length)));
    return TextOutW(dc, x, y, wide.data(), int(wide.size()));
}

}  // extern "C"
