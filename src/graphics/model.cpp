// Model file parsing and writing, and the normals computed on loading.
#include "graphics/model.h"

#include <bit>
#include <cmath>

namespace tob::gfx {
namespace {

uint16_t u16_at(std::span<const uint8_t> b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
float f32_at(std::span<const uint8_t> b, size_t at) {
    return std::bit_cast<float>(uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16) |
                                uint32_t(b[at + 3]) << 24);
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put_f32(std::vector<uint8_t>& out, float f) {
    const uint32_t v = std::bit_cast<uint32_t>(f);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A texture coordinate as 16.16: x 65536 rounded, saturated to 32 bits.
int32_t texture_fixed(float f) {
    const double v = std::nearbyint(double(f) * 65536.0);
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}

Vec3 sub(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The vector scaled to length 1; a zero (or not finite) vector gives zero.
Vec3 normalised(const Vec3& v) {
    const double len = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    if (!(len > 0) || !std::isfinite(len)) return {};
    return {float(v.x / len), float(v.y / len), float(v.z / len)};
}

}  // namespace

std::variant<ModelData, std::string> parse_model(std::span<const uint8_t> b) {
    if (b.size() < kModelHeaderBytes) return std::string("shorter than its header");
    const size_t nv = u16_at(b, 0), nf = u16_at(b, 2);
    const size_t need = kModelHeaderBytes + nv * kModelVertexBytes + nf * kModelFaceBytes;
    if (b.size() < need) return std::string("shorter than its counts say");
    ModelData m;
    m.radius = f32_at(b, 4);
    if (!std::isfinite(m.radius)) return std::string("radius is not a finite number");
    m.vertices.resize(nv);
    size_t at = kModelHeaderBytes;
    for (ModelVertex& v : m.vertices) {
        v.pos = {f32_at(b, at), f32_at(b, at + 4), f32_at(b, at + 8)};
        if (!std::isfinite(v.pos.x) || !std::isfinite(v.pos.y) || !std::isfinite(v.pos.z))
            return std::string("a vertex is not finite");
        at += kModelVertexBytes;
    }
    m.faces.resize(nf);
    for (ModelFace& f : m.faces) {
        for (int k = 0; k < 3; ++k) {
            f.v[size_t(k)] = u16_at(b, at + 2 * size_t(k));
            if (f.v[size_t(k)] >= nv) return std::string("a face names a missing vertex");
        }
        for (int k = 0; k < 6; ++k) {
            const float t = f32_at(b, at + 6 + 4 * size_t(k));
            if (!std::isfinite(t)) return std::string("a texture coordinate is not finite");
            f.uv[size_t(k / 2)][size_t(k % 2)] = texture_fixed(t);
        }
        f.material = b[at + 30];
        at += kModelFaceBytes;
    }
    // Face normals, and vertex normals as the normalised sum of their faces'.
    std::vector<Vec3> sums(nv);
    for (ModelFace& f : m.faces) {
        const Vec3& p0 = m.vertices[f.v[0]].pos;
        f.normal =
            normalised(cross(sub(m.vertices[f.v[1]].pos, p0), sub(m.vertices[f.v[2]].pos, p0)));
        for (uint16_t i : f.v) {
            sums[i].x += f.normal.x, sums[i].y += f.normal.y, sums[i].z += f.normal.z;
        }
    }
    for (size_t i = 0; i < nv; ++i) m.vertices[i].normal = normalised(sums[i]);
    return m;
}

std::vector<uint8_t> encode_model(float radius, std::span<const Vec3> vertices,
                                  std::span<const FaceRecord> faces) {
    std::vector<uint8_t> out;
    put16(out, uint16_t(vertices.size()));
    put16(out, uint16_t(faces.size()));
    put_f32(out, radius);
    for (const Vec3& v : vertices) put_f32(out, v.x), put_f32(out, v.y), put_f32(out, v.z);
    for (const FaceRecord& f : faces) {
        for (uint16_t i : f.v) put16(out, i);
        for (float t : f.uv) put_f32(out, t);
        out.push_back(f.material);
    }
    return out;
}

}  // namespace tob::gfx
