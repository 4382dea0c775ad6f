// The 3D renderer's state and geometry: model slots, camera and lights,
// placing instances (transform, culling, lighting, projection) and the
// sorted drawing of the frame's polygons.
#include "graphics/render3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "graphics/plane_table.h"

namespace tob::gfx {
namespace {

using Mat3 = std::array<std::array<double, 3>, 3>;

// Largest target the depth buffer is made for (pixels).
constexpr int64_t kMaxTargetPixels = int64_t(1) << 26;

Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
    return m;
}

Mat3 transpose(const Mat3& a) {
    Mat3 m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = a[j][i];
    return m;
}

// R = Ry(a1) Rx(a0) Rz(a2) for angles (a0, a1, a2).
Mat3 rotation(const Vec3& a) {
    const double c0 = std::cos(a.x), s0 = std::sin(a.x);
    const double c1 = std::cos(a.y), s1 = std::sin(a.y);
    const double c2 = std::cos(a.z), s2 = std::sin(a.z);
    const Mat3 ry{{{c1, 0, s1}, {0, 1, 0}, {-s1, 0, c1}}};
    const Mat3 rx{{{1, 0, 0}, {0, c0, -s0}, {0, s0, c0}}};
    const Mat3 rz{{{c2, -s2, 0}, {s2, c2, 0}, {0, 0, 1}}};
    return multiply(ry, multiply(rx, rz));
}

Vec3 apply(const Mat3& m, double x, double y, double z) {
    return {float(m[0][0] * x + m[0][1] * y + m[0][2] * z),
            float(m[1][0] * x + m[1][1] * y + m[1][2] * z),
            float(m[2][0] * x + m[2][1] * y + m[2][2] * z)};
}
Vec3 apply(const Mat3& m, const Vec3& v) {
    return apply(m, v.x, v.y, v.z);
}

float dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A 16.16 coordinate from a float in range (NaN as 0).
int32_t fixed_of(double v) {
    if (!(v == v)) return 0;
    return int32_t(std::clamp(v, -2147483648.0, 2147483647.0));
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

Renderer3D& renderer3d() {
    static Renderer3D r;
    return r;
}

void Renderer3D::attach(ScriptMemory* mem) {
    detach();
    mem_ = mem;
    if (!mem_) return;
    records_ = mem_->allocate(kModelSlots * kModelRecordBytes);
    if (uint8_t* p = mem_->host(records_, kModelSlots * kModelRecordBytes))
        std::memset(p, 0, kModelSlots * kModelRecordBytes);
}

void Renderer3D::detach() {
    uninit();
    clear();
    lights_.clear();
    ambient_ = {};
    camera_ = {};
    view_ = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    if (mem_ && records_) mem_->free(records_);
    mem_ = nullptr;
    records_ = 0;
}

int Renderer3D::slot_of(ScriptAddr handle) const {
    if (!records_ || handle < records_) return -1;
    const uint32_t off = handle - records_;
    if (off % kModelRecordBytes || off / kModelRecordBytes >= kModelSlots) return -1;
    const int slot = int(off / kModelRecordBytes);
    return slots_[size_t(slot)].model ? slot : -1;
}

const ModelData* Renderer3D::model(ScriptAddr handle) const {
    const int s = slot_of(handle);
    return s < 0 ? nullptr : slots_[size_t(s)].model.get();
}

void Renderer3D::write_record(int slot) {
    uint8_t* p = mem_ ? mem_->host(records_ + uint32_t(slot) * kModelRecordBytes, kModelRecordBytes)
                      : nullptr;
    if (!p) return;
    const ModelData* m = slots_[size_t(slot)].model.get();
    uint32_t radius = 0;
    if (m) std::memcpy(&radius, &m->radius, 4);
    put32(p, m ? 1 : 0);
    put32(p + 4, radius);
    put32(p + 8, m ? uint32_t(m->vertices.size()) : 0);
    put32(p + 12, m ? uint32_t(m->faces.size()) : 0);
}

void Renderer3D::release_models() {
    for (size_t i = 0; i < kModelSlots; ++i)
        if (slots_[i].model) {
            slots_[i].model.reset();
            write_record(int(i));
        }
}

// The third parameter is kept and has no effect.
uint32_t Renderer3D::init(uint32_t plane_no, float focal, float znear, float param) {
    uninit();
    focal_ = focal, near_ = znear, param_ = param;
    const Plane* p = plane(plane_no);
    if (p && int64_t(p->width()) * p->height() <= kMaxTargetPixels) {
        has_target_ = true;
        target_plane_ = plane_no;
        width_ = p->width(), height_ = p->height();
        depth_.assign(size_t(width_) * size_t(height_), 0);
    }
    return 1;
}

uint32_t Renderer3D::uninit() {
    has_target_ = false;
    width_ = height_ = 0;
    depth_ = {};
    release_models();
    vertices_.clear();
    polygons_.clear();
    return 1;
}

uint32_t Renderer3D::tex(uint32_t plane_no) const {
    return plane(plane_no) ? plane_no + 1 : 0;
}

ScriptAddr Renderer3D::load(std::span<const uint8_t> bytes) {
    if (!records_) return 0;
    size_t slot = 0;
    while (slot < kModelSlots && slots_[slot].model) ++slot;
    if (slot == kModelSlots) return 0;
    auto parsed = parse_model(bytes);
    if (!std::holds_alternative<ModelData>(parsed)) return 0;
    slots_[slot].model = std::make_unique<ModelData>(std::move(std::get<ModelData>(parsed)));
    write_record(int(slot));
    return records_ + uint32_t(slot) * kModelRecordBytes;
}

uint32_t Renderer3D::free(ScriptAddr handle) {
    const int s = slot_of(handle);
    if (s < 0) return 0;
    slots_[size_t(s)].model.reset();
    write_record(s);
    return 1;
}

uint32_t Renderer3D::clear() {
    std::fill(depth_.begin(), depth_.end(), 0u);
    vertices_.clear();
    polygons_.clear();
    lights_.clear();
    return 1;
}

uint32_t Renderer3D::view(const Vec3& pos, const Vec3& orient) {
    camera_ = pos;
    view_ = transpose(rotation(orient));
    return 1;
}

uint32_t Renderer3D::env(float r, float g, float b) {
    ambient_ = {r, g, b};
    return 1;
}

// A directional light travels along (sin a cos b, -sin b, cos a cos b): where
// a camera with yaw a and pitch b looks. c is unused for it.
uint32_t Renderer3D::light(const Vec3& colour, uint8_t type, float a, float b, float c) {
    if (lights_.size() >= kMaxLights || type > 1) return 0;
    Light l;
    l.colour = colour;
    l.type = type;
    if (type == 0) {
        const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        l.at = apply(view_, sa * cb, -sb, ca * cb);
    } else {
        l.at = apply(view_, double(a) - camera_.x, double(b) - camera_.y, double(c) - camera_.z);
    }
    lights_.push_back(l);
    return 1;
}

uint32_t Renderer3D::material(ScriptAddr handle, int32_t number, const Material& m) {
    const int s = slot_of(handle);
    if (s < 0 || m.mode >= kMaterialModes) return 0;
    ModelData& model = *slots_[size_t(s)].model;
    for (ModelFace& f : model.faces) {
        if (int32_t(f.material) != number) continue;
        f.colour = m.colour & 0xFFFFFF;
        f.texture = m.texture;
        f.flags = kModeFlags[m.mode];
    }
    for (ModelVertex& v : model.vertices) v.flags = 0;
    for (const ModelFace& f : model.faces)
        for (uint16_t i : f.v) model.vertices[i].flags |= f.flags;
    return 1;
}

Plane* Renderer3D::target() const {
    if (!has_target_) return nullptr;
    Plane* p = plane(target_plane_);
    if (!p || p->width() != width_ || p->height() != height_) return nullptr;
    const uint32_t d = p->depth();
    return d == 8 || d == 16 || d == 24 || d == 32 ? p : nullptr;
}

uint32_t Renderer3D::setobj(ScriptAddr handle, const Vec3& pos, const Vec3& rot) {
    const int s = slot_of(handle);
    if (s < 0 || !target()) return 0;
    const ModelData& m = *slots_[size_t(s)].model;
    // An instance that does not fit whole is dropped.
    if (vertices_.size() + m.vertices.size() > kMaxFrameVertices ||
        polygons_.size() + m.faces.size() > kMaxFramePolygons)
        return 0;
    const Mat3 turn = multiply(view_, rotation(rot));
    const Vec3 centre = apply(view_, double(pos.x) - camera_.x, double(pos.y) - camera_.y,
                              double(pos.z) - camera_.z);
    // The bounding sphere outside the view pyramid: nothing to place.
    const double f = focal_, r = m.radius, hw = width_ / 2.0, hh = height_ / 2.0;
    const double x = centre.x, y = centre.y, z = centre.z;
    if (f * (x + r) < -hw * z || hw * z < f * (x - r) || f * (y + r) < -hh * z ||
        hh * z < f * (y - r))
        return 1;

    const uint32_t base = uint32_t(vertices_.size());
    for (const ModelVertex& mv : m.vertices) {
        FrameVertex v;
        const Vec3 p = apply(turn, mv.pos);
        v.view = {p.x + centre.x, p.y + centre.y, p.z + centre.z};
        // Below the near distance (or not in front of the eye at all) a
        // vertex is not projected.
        v.visible = v.view.z >= near_ && v.view.z > 0 && finite(v.view);
        if (v.visible) {
            v.w = 1.0f / v.view.z;
            v.sx = float(f * v.view.x * v.w + hw);
            v.sy = float(hh - f * v.view.y * v.w);
            v.visible = std::isfinite(v.sx) && std::isfinite(v.sy) && v.w > 0;
        }
        if (v.visible && (mv.flags & (kGouraud | kSphereMapped))) {
            const Vec3 n = apply(turn, mv.normal);
            if (mv.flags & kGouraud) {
                double c[3] = {ambient_.x, ambient_.y, ambient_.z};
                for (const Light& l : lights_) {
                    Vec3 dir = l.at;
                    if (l.type == 1) {
                        dir = {v.view.x - l.at.x, v.view.y - l.at.y, v.view.z - l.at.z};
                        const double len = std::sqrt(double(dot(dir, dir)));
                        if (!(len > 0)) continue;
                        dir = {float(dir.x / len), float(dir.y / len), float(dir.z / len)};
                    }
                    const double k = -double(dot(n, dir));
                    if (!(k > 0)) continue;
                    c[0] += l.colour.x * k, c[1] += l.colour.y * k, c[2] += l.colour.z * k;
                }
                for (int ch = 0; ch < 3; ++ch)
                    v.light[ch] = float(
                        std::nearbyint(std::clamp(c[ch] == c[ch] ? c[ch] : 0.0, 0.0, 1.0) * 255));
            }
            if (mv.flags & kSphereMapped) {
                v.su = fixed_of(32768.0 - double(n.x) * 32767.0);
                v.sv = fixed_of(32768.0 - double(n.y) * 32767.0);
            }
        }
        vertices_.push_back(v);
    }
    for (const ModelFace& face : m.faces) {
        const FrameVertex* c[3] = {&vertices_[base + face.v[0]], &vertices_[base + face.v[1]],
                                   &vertices_[base + face.v[2]]};
        if (!c[0]->visible || !c[1]->visible || !c[2]->visible) continue;
        if (!(face.flags & kTwoSided) && !(dot(apply(turn, face.normal), c[0]->view) < 0)) continue;
        Polygon p;
        for (int k = 0; k < 3; ++k) {
            p.v[k] = base + face.v[size_t(k)];
            p.uv[k][0] = face.flags & kSphereMapped ? c[k]->su : face.uv[size_t(k)][0];
            p.uv[k][1] = face.flags & kSphereMapped ? c[k]->sv : face.uv[size_t(k)][1];
        }
        p.flags = face.flags;
        p.colour = face.colour;
        p.texture = face.texture;
        p.key = (c[0]->w + c[1]->w + c[2]->w) / 3;
        polygons_.push_back(p);
    }
    return 1;
}

// Translucent faces are drawn far to near by the mean 1/z of their corners,
// equal keys in list order, after every opaque face. Opaque faces go in list
// order: the depth test gives them the picture the sorted order would (only
// faces at exactly equal depth could differ, and list order decides those
// the same way every time), and neighbouring faces of a model stay together
// in memory, which matters on large targets.
uint32_t Renderer3D::render() {
    Plane* p = target();
    if (!p) return 0;
    std::vector<uint32_t> order;
    order.reserve(polygons_.size());
    for (uint32_t i = 0; i < polygons_.size(); ++i)
        if (!(polygons_[i].flags & kTranslucent)) order.push_back(i);
    const size_t opaque = order.size();
    for (uint32_t i = 0; i < polygons_.size(); ++i)
        if (polygons_[i].flags & kTranslucent) order.push_back(i);
    std::stable_sort(order.begin() + std::ptrdiff_t(opaque), order.end(),
                     [&](uint32_t a, uint32_t b) { return polygons_[a].key < polygons_[b].key; });
    RasterTarget t;
    t.plane = p;
    t.depth = depth_.data();
    t.clip = Box::of(p->clip()).intersect(p->bounds());
    for (uint32_t i : order) {
        const Polygon& poly = polygons_[i];
        RasterVertex rv[3];
        for (int k = 0; k < 3; ++k) {
            const FrameVertex& v = vertices_[poly.v[k]];
            rv[k].x = v.sx, rv[k].y = v.sy, rv[k].w = v.w;
            std::copy(std::begin(v.light), std::end(v.light), rv[k].light);
            rv[k].u = float(poly.uv[k][0]), rv[k].v = float(poly.uv[k][1]);
        }
        RasterFace face;
        face.flags = poly.flags;
        face.colour = poly.colour;
        if (poly.texture) {
            const Plane* tp = plane(poly.texture - 1);
            if (tp && tp->depth() >= 8 && tp->width() > 0 && tp->height() > 0) face.texture = tp;
        }
        draw_triangle3d(t, rv, face);
    }
    return 1;
}

}  // namespace tob::gfx
