// The 3D renderer's triangle rasteriser: fixed point with 4 bits of
// sub-pixel precision, pixel centres at +0.5, the top-left fill rule (two
// triangles sharing an edge cover each pixel once), a 32-bit 1/z depth
// buffer, flat, Gouraud and perspective-correct textured shading, and
// translucency; written in the target plane's own format.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/geometry.h"
#include "graphics/plane.h"

namespace tob::gfx {

// Shading flags of a material.
inline constexpr uint8_t kSphereMapped = 0x01;
inline constexpr uint8_t kGouraud = 0x02;
inline constexpr uint8_t kUnlit = 0x08;
inline constexpr uint8_t kTextured = 0x10;
inline constexpr uint8_t kTranslucent = 0x20;
inline constexpr uint8_t kTwoSided = 0x40;

struct RasterVertex {
    float x = 0, y = 0;   // screen position in pixels
    float w = 0;          // 1 / z
    float light[3] = {};  // 0..255 per channel (Gouraud)
    float u = 0, v = 0;   // 16.16 texture coordinates
};

struct RasterTarget {
    Plane* plane = nullptr;
    uint32_t* depth = nullptr;  // width x height, row 0 first
    Box clip;                   // pixels that may be drawn
};

struct RasterFace {
    uint8_t flags = 0;
    uint32_t colour = 0;             // 0x00RRGGBB
    const Plane* texture = nullptr;  // 8 bits or more, or null
};

void draw_triangle3d(const RasterTarget& target, const RasterVertex (&v)[3],
                     const RasterFace& face);

// The depth value of 1/z: 2^32 / z, saturated.
uint32_t depth_of(float w);

}  // namespace tob::gfx
