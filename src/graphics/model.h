// Model files for the 3D renderer: a vertex count, a face count, a culling
// radius, the vertices and the faces, packed little-endian. The parser checks
// every count, index and value; normals are computed on loading.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tob::gfx {

inline constexpr size_t kModelHeaderBytes = 8;   // u16 vertices, u16 faces, f32 radius
inline constexpr size_t kModelVertexBytes = 12;  // 3 f32
inline constexpr size_t kModelFaceBytes = 31;    // 3 u16, 6 f32, u8

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

struct ModelVertex {
    Vec3 pos, normal;
    uint8_t flags = 0;  // OR of the flags of the faces using it
};

struct ModelFace {
    std::array<uint16_t, 3> v{};
    std::array<std::array<int32_t, 2>, 3> uv{};  // 16.16, 0x10000 = the texture's size
    Vec3 normal;
    uint8_t material = 0;
    uint8_t flags = 0;
    uint32_t colour = 0;   // 0x00RRGGBB
    uint32_t texture = 0;  // handle from p3d_tex, 0 = none
};

struct ModelData {
    float radius = 0;
    std::vector<ModelVertex> vertices;
    std::vector<ModelFace> faces;
};

// A model, or the reason the bytes are not one.
std::variant<ModelData, std::string> parse_model(std::span<const uint8_t> bytes);

// The bytes of a model file (for tests and tools): vertices, then faces as
// (indices, texture coordinates as floats, material).
struct FaceRecord {
    std::array<uint16_t, 3> v{};
    std::array<float, 6> uv{};
    uint8_t material = 0;
};
std::vector<uint8_t> encode_model(float radius, std::span<const Vec3> vertices,
                                  std::span<const FaceRecord> faces);

}  // namespace tob::gfx
