// The blend modes, each written once as an operation on one pixel pair. The
// row kernels instantiate them for every depth pair and mask flag; nothing
// here branches on the depth at run time. Colours are 0xAARRGGBB; `a_in` is
// the source's alpha, or its mask value for the masked routines.
#pragma once

#include <cstdint>

#include "graphics/pixel_formats.h"

namespace tob::gfx::ops {

// x blended toward y by weight w (0..256), all four bytes: (x(256-w) + yw) >> 8.
inline uint32_t mix(uint32_t x, uint32_t y, uint32_t w) {
    uint32_t iw = 256 - w;
    uint32_t rb = (((x & 0x00FF00FF) * iw + (y & 0x00FF00FF) * w) >> 8) & 0x00FF00FF;
    uint32_t ag = (((x >> 8) & 0x00FF00FF) * iw + ((y >> 8) & 0x00FF00FF) * w) & 0xFF00FF00;
    return rb | ag;
}

// f applied to each byte pair of x and y.
template <class F>
inline uint32_t per_byte(uint32_t x, uint32_t y, F f) {
    uint32_t out = 0;
    for (int i = 0; i < 32; i += 8) out |= (uint32_t(f((x >> i) & 255, (y >> i) & 255)) & 255) << i;
    return out;
}

inline uint32_t with_alpha(uint32_t c, uint32_t a) {
    return (c & 0xFFFFFF) | a << 24;
}

// The alpha a destination ends with under coverage c (modes 24, 25, 27).
inline uint32_t covered_alpha(uint32_t d_alpha, uint32_t c) {
    return (d_alpha * (256 - (c + 1)) + (c + 1) * 255) >> 8;
}

// Which depth pairs a routine has; by default all of them.
struct AllPairs {
    template <int S, int D>
    static constexpr bool supports() {
        return true;
    }
};

// Mode 7's composite of s at strength a over the destination.
template <class P>
inline void composite(const P& px, uint32_t s, uint32_t a) {
    if (a == 0) return;
    if (a > 254) {
        px.write(with_alpha(s, 255));
        return;
    }
    uint32_t d = px.d_colour();
    if constexpr (!P::D::kAlpha) {
        px.write(mix(d, s, a + 1));
    } else {
        uint32_t da = d >> 24;
        uint32_t t = (256 - da) * a + da * 256;
        if (t == 0) {
            px.write(0);
            return;
        }
        uint32_t sw = a << 8, dw = (256 - a) * da;
        uint32_t out = (t >> 8) << 24;
        for (int i = 0; i < 24; i += 8)
            out |= (((s >> i) & 255) * sw + ((d >> i) & 255) * dw) / t << i;
        px.write(out);
    }
}

struct Copy : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams&, uint32_t) {
        px.copy();
    }
};
struct KeyCopy : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        if (px.s_key() != p.key) px.copy_colour();
    }
};
struct DestKey : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        if (px.d_key() == p.key) px.copy_colour();
    }
};
struct Blend : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        px.write(mix(px.d_colour(), px.s_colour(), p.w));
    }
};
struct KeyBlend : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        if (px.s_key() != p.key) px.write(mix(px.d_colour(), px.s_colour(), p.w));
    }
};
struct Tint : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        px.write_colour(mix(px.s_colour(), p.colour2, p.w));
    }
};
struct KeyTint : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        if (px.s_key() != p.key) px.write_colour(mix(px.s_colour(), p.colour2, p.w));
    }
};
struct Alpha : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        composite(px, px.s_colour(), a_in * p.w >> 8);
    }
};
struct Behind : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        uint32_t t = px.d_alpha() * p.w >> 8;
        if (t == 0)
            px.copy_colour();
        else if (t < 255)
            px.write_colour(mix(px.s_colour(), px.d_colour(), t + 1));
    }
};
struct Combined : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        uint32_t v = p.tables->at(kTableCombined, px.d_alpha(), 255 - a_in);
        if (v == 0)
            px.copy_colour();
        else if (v < 255)
            px.write_colour(mix(px.s_colour(), px.d_colour(), v + 1));
    }
};
struct TintAlpha : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        uint32_t s = px.s_colour();
        composite(px, with_alpha(mix(s, p.colour2, p.w2), s >> 24), a_in * p.w >> 8);
    }
};
struct Threshold : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        if (a_in - p.level <= p.level2) px.copy_colour();
    }
};
struct SoftThreshold : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        uint32_t v = p.soft[a_in];
        if (v > 254)
            px.copy_colour();
        else if (v > 0)
            px.write_colour(mix(px.d_colour(), px.s_colour(), v + 1));
    }
};
struct Add : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        const BlendTables& t = *p.tables;
        px.write(per_byte(px.d_colour(), px.s_colour(), [&](uint32_t d, uint32_t s) {
            return t.clamped(int32_t(d + (s * p.w >> 8)));
        }));
    }
};
struct Subtract : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        const BlendTables& t = *p.tables;
        px.write(per_byte(px.d_colour(), px.s_colour(), [&](uint32_t d, uint32_t s) {
            return t.clamped(int32_t(d) - int32_t(s * p.w >> 8));
        }));
    }
};
// Modes 15-21: D blended toward f(S, D) by w, all bytes.
template <class F>
struct Toward : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        uint32_t d = px.d_colour();
        uint32_t target = per_byte(
            d, px.s_colour(), [&](uint32_t dd, uint32_t ss) { return F::f(ss, dd, *p.tables); });
        px.write(mix(d, target, p.w));
    }
};
struct MultiplyF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables& t) {
        return t.at(kTableMultiply, s, d);
    }
};
struct AndF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables&) { return s & d; }
};
struct OrF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables&) { return s | d; }
};
struct XorF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables&) { return s ^ d; }
};
struct ScreenF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables& t) {
        return 255 - t.at(kTableMultiply, 255 - d, 255 - s);
    }
};
struct LightenF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables&) { return s > d ? s : d; }
};
struct DarkenF {
    static uint32_t f(uint32_t s, uint32_t d, const BlendTables&) { return s < d ? s : d; }
};
struct Channels : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        uint32_t m = p.channel_mask;
        px.write_colour((px.s_colour() & m) | (px.d_colour() & ~m));
    }
};
// The source's alpha (an 8-bit source's byte) into the destination's alpha
// (an 8-bit destination's index).
struct AlphaTransfer {
    template <int S, int D>
    static constexpr bool supports() {
        return (S == 8 || S == 32) && (D == 8 || D == 32);
    }
    template <class P>
    static void pixel(const P& px, const BlendParams&, uint32_t a_in) {
        uint32_t v = P::S::kBytes == 1 ? px.s_raw() : a_in;
        if constexpr (P::D::kBytes == 1)
            px.write_raw(v);
        else
            px.write_alpha(v);
    }
};
// Paints colour2 with the 8-bit source as coverage.
struct Coverage {
    template <int S, int D>
    static constexpr bool supports() {
        return S == 8;
    }
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        uint32_t c = px.s_raw() * p.w >> 8;
        if (c > 254) {
            if constexpr (P::D::kBytes == 1)
                px.write_raw(p.colour2_raw);
            else
                px.write(with_alpha(p.colour2, 255));
        } else if (c > 0) {
            uint32_t d = px.d_colour();
            px.write(with_alpha(mix(d, p.colour2, c + 1), covered_alpha(d >> 24, c)));
        }
    }
};
// Grey of the source, tinted toward colour2, composited by the source alpha.
struct MonoAlpha : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        uint32_t s = px.s_colour();
        uint32_t y = (red_of(s) * 19595 + green_of(s) * 38470 + blue_of(s) * 7471) >> 16;
        uint32_t mono = per_byte(
            p.colour2, 0, [&](uint32_t c, uint32_t) { return (c * p.w2 + y * (256 - p.w2)) >> 8; });
        uint32_t a = a_in * p.w >> 8;
        if (a == 0) return;
        if (a > 254) {
            px.write(with_alpha(mono, 255));
            return;
        }
        uint32_t d = px.d_colour();
        px.write(with_alpha(mix(d, mono, a + 1), covered_alpha(d >> 24, a)));
    }
};
inline uint32_t table_target(uint32_t s, uint32_t d, const uint8_t* table) {
    return per_byte(d, s, [&](uint32_t dd, uint32_t ss) { return table[ss << 8 | dd]; });
}
struct TableBlend : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t) {
        uint32_t d = px.d_colour();
        px.write_colour(mix(d, table_target(px.s_colour(), d, p.table), p.w));
    }
};
struct TableAlpha : AllPairs {
    template <class P>
    static void pixel(const P& px, const BlendParams& p, uint32_t a_in) {
        uint32_t a = a_in * p.w >> 8;
        if (a == 0) return;
        uint32_t d = px.d_colour();
        uint32_t target = table_target(px.s_colour(), d, p.table);
        if (a > 254)
            px.write(with_alpha(target, 255));
        else
            px.write(with_alpha(mix(d, target, a + 1), covered_alpha(d >> 24, a)));
    }
};

}  // namespace tob::gfx::ops
