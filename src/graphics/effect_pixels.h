// Pixel access shared by the image effects: channels of a pixel per depth
// (8-, 24- and 32-bit pixels per byte, 16-bit pixels per 5-bit field), the
// clipped areas the effects work on, and source views that stay valid when
// source and destination are the same plane.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "graphics/geometry.h"
#include "graphics/plane.h"

namespace tob::gfx::fx {

bool effect_depth(uint32_t depth);

// The channels of one pixel. `kAll` channels take part in averages (alpha
// too); the first `kColour` are colour (what noise, monotone and fire touch).
template <int Depth>
struct Channels;

template <>
struct Channels<8> {
    static constexpr int kAll = 1, kColour = 1, kMax = 255, kBytes = 1;
    static void load(const uint8_t* p, int32_t* c) { c[0] = p[0]; }
    static void store(uint8_t* p, const int32_t* c) { p[0] = uint8_t(c[0]); }
};
template <>
struct Channels<16> {
    static constexpr int kAll = 3, kColour = 3, kMax = 31, kBytes = 2;
    static void load(const uint8_t* p, int32_t* c) {
        uint32_t v = uint32_t(p[0] | p[1] << 8);
        c[0] = int32_t(v & 31), c[1] = int32_t((v >> 5) & 31), c[2] = int32_t((v >> 10) & 31);
    }
    static void store(uint8_t* p, const int32_t* c) {
        uint32_t v = uint32_t(c[0]) | uint32_t(c[1]) << 5 | uint32_t(c[2]) << 10;
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
    }
};
template <>
struct Channels<24> {
    static constexpr int kAll = 3, kColour = 3, kMax = 255, kBytes = 3;
    static void load(const uint8_t* p, int32_t* c) { c[0] = p[0], c[1] = p[1], c[2] = p[2]; }
    static void store(uint8_t* p, const int32_t* c) {
        p[0] = uint8_t(c[0]), p[1] = uint8_t(c[1]), p[2] = uint8_t(c[2]);
    }
};
template <>
struct Channels<32> {
    static constexpr int kAll = 4, kColour = 3, kMax = 255, kBytes = 4;
    static void load(const uint8_t* p, int32_t* c) {
        c[0] = p[0], c[1] = p[1], c[2] = p[2], c[3] = p[3];
    }
    static void store(uint8_t* p, const int32_t* c) {
        p[0] = uint8_t(c[0]), p[1] = uint8_t(c[1]), p[2] = uint8_t(c[2]), p[3] = uint8_t(c[3]);
    }
};

// Calls f.template operator()<Depth>() for a supported depth; false otherwise.
template <class F>
bool with_depth(uint32_t depth, F&& f) {
    switch (depth) {
        case 8:
            f.template operator()<8>();
            return true;
        case 16:
            f.template operator()<16>();
            return true;
        case 24:
            f.template operator()<24>();
            return true;
        case 32:
            f.template operator()<32>();
            return true;
        default:
            return false;
    }
}

// The plane's clip rectangle cut to the plane.
inline Box clip_box(const Plane& p) {
    return Box::of(p.clip()).intersect(p.bounds());
}

// A rectangle argument: null is the whole plane.
inline Box area_of(const Plane& p, const std::optional<Rect>& r) {
    return r ? Box::of(*r) : p.bounds();
}

// Rows of source pixels, read from the plane itself or from a snapshot of an
// area of it (taken when the destination is the same plane).
class SourceRows {
  public:
    SourceRows(const Plane& src, const Plane& dst, const Box& area) {
        bpp_ = src.depth() / 8;
        if (&src == &dst && !area.empty()) {
            size_t row = size_t(area.width()) * bpp_;
            copy_.resize(row * size_t(area.height()));
            for (int64_t y = area.top; y < area.bottom; ++y)
                std::memcpy(&copy_[size_t(y - area.top) * row],
                            src.row(int32_t(y)) + area.left * bpp_, row);
            base_ = copy_.data();
            step_ = int64_t(row);
            ox_ = area.left, oy_ = area.top;
        } else {
            base_ = src.height() ? src.row(0) : src.bits();
            step_ = -int64_t(src.pitch());
        }
    }
    // Pixel (x, y) of the plane (inside the snapshot area when there is one).
    const uint8_t* at(int64_t x, int64_t y) const {
        return base_ + (y - oy_) * step_ + (x - ox_) * int64_t(bpp_);
    }

  private:
    const uint8_t* base_ = nullptr;
    int64_t step_ = 0, ox_ = 0, oy_ = 0;
    uint32_t bpp_ = 0;
    std::vector<uint8_t> copy_;
};

// The bits of a raw pixel that a key colour compares, and the key converted
// for a depth (nullopt for no key).
uint32_t key_bits(const uint8_t* p, uint32_t depth);
std::optional<uint32_t> key_for(int32_t key, uint32_t depth);

// Destination area at (x, y) of a source area's size, clipped to the
// destination's clip rectangle with the source cut to match and to the
// source plane. False when either is empty.
bool clip_copy(const Plane& dst, int64_t x, int64_t y, const Plane& src, Box s, Box& dst_out,
               Box& src_out);

// Saturating conversions.
int32_t saturate32(int64_t v);
int32_t saturate32(double v);  // NaN becomes 0
int16_t saturate16(int64_t v);

}  // namespace tob::gfx::fx
