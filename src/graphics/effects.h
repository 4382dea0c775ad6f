// Whole-area image operations on planes: free-form, smooth and rotated
// mapping, tiling, scrolling, noise, slices, gradation, mosaic, monotone,
// blur and fire. Each clips to the destination's clip rectangle and returns
// 1 when it ran, 0 when it could not (missing area, unsupported depths).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "graphics/geometry.h"
#include "graphics/plane.h"

namespace tob::gfx {

// A key colour argument: below 0 none, else a colour value.
using KeyArg = int32_t;

struct QuadPoint {
    int32_t x = 0, y = 0;
};
// Corners matching the source's top-left, bottom-left, bottom-right, top-right.
using Quad = std::array<QuadPoint, 4>;
inline constexpr uint32_t kQuadBytes = 32;

uint32_t freemap(Plane& dst, std::optional<Quad> quad, const Plane& src,
                 std::optional<Rect> src_rect, KeyArg key);
uint32_t smooth(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                std::optional<Rect> src_rect, KeyArg key);
uint32_t rotate(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                std::optional<Rect> src_rect, int32_t angle, KeyArg key);
uint32_t tiled(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
               std::optional<Rect> src_rect, int32_t angle, int32_t zoom);
uint32_t scroll(Plane& p, std::optional<Rect> rect, int32_t dx, int32_t dy);
uint32_t noise(Plane& p, std::optional<Rect> rect, int32_t amount);
uint32_t slice(Plane& p, std::optional<Rect> rect, int32_t amount);
uint32_t gradation(Plane& dst, int32_t x, int32_t y, const Plane& src,
                   std::optional<Rect> src_rect);
uint32_t mosaic(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect,
                int32_t bw, int32_t bh);
uint32_t monotone(Plane& p, std::optional<Rect> rect, uint32_t dark, uint32_t light);
uint32_t blur(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect,
              int32_t amount);
uint32_t fire(Plane& p, std::optional<Rect> rect);

// The chance that noise, slice, fire and ef_blob draw from: the engine's
// script generator once the engine has installed it (a private generator
// before that, for tests and tools).
using RandomSource = uint32_t (*)();
void set_effect_random(RandomSource source);
uint32_t effect_random();

// Plain references of the fast paths, kept for the tests that compare them
// pixel for pixel.
namespace reference {
uint32_t smooth(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
                std::optional<Rect> src_rect, KeyArg key);
uint32_t tiled(Plane& dst, std::optional<Rect> dst_rect, const Plane& src,
               std::optional<Rect> src_rect, int32_t angle, int32_t zoom);
uint32_t blur(Plane& dst, int32_t x, int32_t y, const Plane& src, std::optional<Rect> src_rect,
              int32_t amount);
}  // namespace reference

}  // namespace tob::gfx
