// The four pixel formats the copy routines work on, as compile-time traits:
// loading a raw value, its colour as 0xAARRGGBB (alpha 255 where the format has
// none), and storing a colour back (8-bit through the colour map, 16-bit 5-5-5).
#pragma once

#include <cstdint>
#include <cstring>

#include "graphics/blend_mode.h"
#include "graphics/colour.h"

namespace tob::gfx {

inline constexpr uint32_t kOpaque = 0xFF000000;

template <int Depth>
struct Format;

template <>
struct Format<8> {
    static constexpr uint32_t kBytes = 1;
    static constexpr bool kAlpha = false;
    static uint32_t raw(const uint8_t* p) { return *p; }
    // The bits of a raw value that key colours compare.
    static uint32_t key_bits(uint32_t raw) { return raw; }
    static uint32_t colour(uint32_t raw, const uint32_t* palette, const BlendParams&) {
        return palette[raw];
    }
    static uint32_t raw_of(uint32_t c, const BlendParams& p) { return p.colour_map[cell_of(c)]; }
    static void store_raw(uint8_t* p, uint32_t v) { *p = uint8_t(v); }
    static void store(uint8_t* p, uint32_t c, const BlendParams& bp) {
        *p = uint8_t(raw_of(c, bp));
    }
};

template <>
struct Format<16> {
    static constexpr uint32_t kBytes = 2;
    static constexpr bool kAlpha = false;
    static uint32_t raw(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); }
    static uint32_t key_bits(uint32_t raw) { return raw & 0x7FFF; }
    static uint32_t colour(uint32_t raw, const uint32_t*, const BlendParams& p) {
        return p.tables->expand555[raw & 0x7FFF] | kOpaque;
    }
    static uint32_t raw_of(uint32_t c, const BlendParams&) {
        return ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F);
    }
    static void store_raw(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
    static void store(uint8_t* p, uint32_t c, const BlendParams& bp) {
        store_raw(p, raw_of(c, bp));
    }
};

template <>
struct Format<24> {
    static constexpr uint32_t kBytes = 3;
    static constexpr bool kAlpha = false;
    static uint32_t raw(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16); }
    static uint32_t key_bits(uint32_t raw) { return raw; }
    static uint32_t colour(uint32_t raw, const uint32_t*, const BlendParams&) {
        return raw | kOpaque;
    }
    static uint32_t raw_of(uint32_t c, const BlendParams&) { return c & 0xFFFFFF; }
    static void store_raw(uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
    }
    static void store(uint8_t* p, uint32_t c, const BlendParams&) { store_raw(p, c); }
};

template <>
struct Format<32> {
    static constexpr uint32_t kBytes = 4;
    static constexpr bool kAlpha = true;
    static uint32_t raw(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static uint32_t key_bits(uint32_t raw) { return raw & 0xFFFFFF; }
    static uint32_t colour(uint32_t raw, const uint32_t*, const BlendParams&) { return raw; }
    static uint32_t raw_of(uint32_t c, const BlendParams&) { return c; }
    static void store_raw(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
    static void store(uint8_t* p, uint32_t c, const BlendParams&) { store_raw(p, c); }
};

// One source and one destination pixel as a routine sees them.
template <int SrcDepth, int DstDepth>
struct PixelPair {
    using S = Format<SrcDepth>;
    using D = Format<DstDepth>;
    static constexpr bool kSameFormat = SrcDepth == DstDepth;

    const uint8_t* s;
    uint8_t* d;
    const BlendParams& p;

    uint32_t s_raw() const { return S::raw(s); }
    uint32_t d_raw() const { return D::raw(d); }
    uint32_t s_colour() const { return S::colour(s_raw(), p.src_palette.data(), p); }
    uint32_t d_colour() const { return D::colour(d_raw(), p.dst_palette.data(), p); }
    uint32_t s_alpha() const { return S::kAlpha ? s[3] : 255; }
    uint32_t d_alpha() const { return D::kAlpha ? d[3] : 255; }

    // The source pixel as the destination would hold it, in the bits a key
    // colour compares.
    uint32_t s_key() const {
        if constexpr (kSameFormat) return D::key_bits(s_raw());
        return D::key_bits(D::raw_of(s_colour(), p));
    }
    uint32_t d_key() const { return D::key_bits(d_raw()); }

    // D = S, alpha included (255 from formats without).
    void copy() const {
        if constexpr (kSameFormat) {
            if (SrcDepth != 8 || !p.remap) {
                std::memcpy(d, s, S::kBytes);
                return;
            }
        }
        D::store(d, s_colour(), p);
    }
    // D = S in the colour bytes; the destination keeps its alpha.
    void copy_colour() const {
        if constexpr (DstDepth == 32) {
            write_colour(s_colour());
        } else {
            copy();
        }
    }
    void write(uint32_t c) const { D::store(d, c, p); }
    void write_colour(uint32_t c) const {
        if constexpr (DstDepth == 32)
            D::store_raw(d, (c & 0xFFFFFF) | uint32_t(d[3]) << 24);
        else
            D::store(d, c, p);
    }
    void write_raw(uint32_t v) const { D::store_raw(d, v); }
    void write_alpha(uint32_t a) const {
        if constexpr (DstDepth == 32) d[3] = uint8_t(a);
    }
};

}  // namespace tob::gfx
