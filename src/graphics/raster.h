// Drawing into planes of 8 to 32 bits: filled rectangles, anti-aliased lines
// and even-odd filled polygons, in a script colour value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "graphics/geometry.h"
#include "graphics/plane.h"

namespace tob::gfx {

// Largest vertex count `gpoly` accepts.
inline constexpr uint32_t kMaxPolygonVertices = 1u << 20;

struct Point {
    int32_t x = 0, y = 0;
};

// Each returns 1 when it drew, 0 when the plane's depth is not drawable or
// nothing is left after clipping.
uint32_t fill_rect(Plane& p, std::optional<Rect> rect, uint32_t colour);
uint32_t draw_line(Plane& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
uint32_t fill_polygon(Plane& p, std::span<const Point> points, uint32_t colour);

}  // namespace tob::gfx
