// The small 3D renderer: model slots, the frame (camera, ambient light,
// lights, the vertices and polygons of the placed instances) and rendering
// into a target plane with a depth buffer.
//
// Space: view space has x right, y up and z forward (left-handed). Angles are
// radians. Three angles (a0, a1, a2) make R = Ry(a1) Rx(a0) Rz(a2): a1 turns
// about y (yaw), a0 about x (pitch, positive looks down), a2 about z (roll),
// so R (0, 0, 1) = (sin a1 cos a0, -sin a0, cos a1 cos a0). An instance turns
// by R; the camera's orientation builds R the same way and the view matrix is
// its transpose applied to (point - camera position).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "graphics/model.h"
#include "graphics/raster3d.h"
#include "vm/script_memory.h"

namespace tob::gfx {

inline constexpr uint32_t kModelSlots = 512;
// The record of a slot scripts see (the handle is its address): in-use flag,
// radius (f32), vertex count, face count, little-endian words.
inline constexpr uint32_t kModelRecordBytes = 16;
inline constexpr uint32_t kMaterialBytes = 9;      // colour, texture handle, mode
inline constexpr uint32_t kLightRecordBytes = 13;  // colour (3 f32), type
inline constexpr uint32_t kMaxLights = 16;
inline constexpr uint32_t kMaxFrameVertices = 65536;
inline constexpr uint32_t kMaxFramePolygons = 65536;
inline constexpr uint8_t kMaterialModes = 7;
inline constexpr uint8_t kModeFlags[kMaterialModes] = {0x08, 0x02, 0x68, 0x62, 0x18, 0x12, 0x13};

struct Material {
    uint32_t colour = 0, texture = 0;
    uint8_t mode = 0;
};

struct Light {
    Vec3 colour;
    uint8_t type = 0;  // 0 directional, 1 point
    Vec3 at;           // view space: direction the light travels, or position
};

// One vertex of a placed instance, after transformation.
struct FrameVertex {
    Vec3 view;                    // view-space position
    float sx = 0, sy = 0, w = 0;  // screen position and 1/z
    float light[3] = {};          // 0..255
    int32_t su = 0, sv = 0;       // sphere-map coordinates, 16.16
    bool visible = false;
};

struct Polygon {
    uint32_t v[3] = {};
    uint8_t flags = 0;
    uint32_t colour = 0, texture = 0;
    int32_t uv[3][2] = {};
    float key = 0;  // mean of the corners' 1/z
};

class Renderer3D {
  public:
    // Engine start: the slot records in script memory. Stop: everything freed.
    void attach(ScriptMemory* mem);
    void detach();

    uint32_t init(uint32_t plane, float focal, float znear, float param);
    uint32_t uninit();
    uint32_t tex(uint32_t plane) const;
    ScriptAddr load(std::span<const uint8_t> bytes);
    uint32_t free(ScriptAddr model);
    uint32_t clear();
    uint32_t view(const Vec3& pos, const Vec3& orient);
    uint32_t env(float r, float g, float b);
    uint32_t light(const Vec3& colour, uint8_t type, float a, float b, float c);
    uint32_t material(ScriptAddr model, int32_t number, const Material& m);
    uint32_t setobj(ScriptAddr model, const Vec3& pos, const Vec3& rot);
    uint32_t render();

    // For tests.
    const std::vector<FrameVertex>& frame_vertices() const { return vertices_; }
    const std::vector<Polygon>& polygons() const { return polygons_; }
    const ModelData* model(ScriptAddr handle) const;
    size_t light_count() const { return lights_.size(); }

  private:
    struct Slot {
        std::unique_ptr<ModelData> model;
    };
    int slot_of(ScriptAddr handle) const;
    void write_record(int slot);
    Plane* target() const;
    void release_models();

    ScriptMemory* mem_ = nullptr;
    ScriptAddr records_ = 0;
    std::array<Slot, kModelSlots> slots_;

    // Target and depth buffer, as taken by init.
    bool has_target_ = false;
    uint32_t target_plane_ = 0;
    int32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> depth_;
    float focal_ = 256, near_ = 1, param_ = 0;

    // Camera: view matrix (rows) and position.
    std::array<std::array<double, 3>, 3> view_{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    Vec3 camera_;
    Vec3 ambient_;
    std::vector<Light> lights_;
    std::vector<FrameVertex> vertices_;
    std::vector<Polygon> polygons_;
};

Renderer3D& renderer3d();

}  // namespace tob::gfx
