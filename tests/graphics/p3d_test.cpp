// The 3D renderer: model files, placing (projection, culling, lighting),
// the rasteriser's coverage and order, and the built-ins' checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "base/current_folder.h"
#include "graphics/model.h"
#include "graphics/render3d.h"
#include "graphics_test_support.h"

namespace tob::test {
namespace {

using namespace gfx;

constexpr float kPi = std::numbers::pi_v<float>;

uint32_t word(float f) {
    return std::bit_cast<uint32_t>(f);
}

// The faces of a unit cube around the origin, wound clockwise seen from
// outside, material = face index / 2.
std::vector<uint8_t> cube_file(float half = 1) {
    std::vector<Vec3> v;
    for (int i = 0; i < 8; ++i)
        v.push_back({i & 1 ? half : -half, i & 2 ? half : -half, i & 4 ? half : -half});
    // Each side as four corners clockwise from outside.
    const int sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::vector<FaceRecord> f;
    for (int s = 0; s < 6; ++s) {
        const int* c = sides[s];
        f.push_back(
            {{uint16_t(c[0]), uint16_t(c[1]), uint16_t(c[2])}, {0, 1, 0, 0, 1, 0}, uint8_t(s)});
        f.push_back(
            {{uint16_t(c[0]), uint16_t(c[2]), uint16_t(c[3])}, {0, 1, 1, 0, 1, 1}, uint8_t(s)});
    }
    return encode_model(half * 1.8f, v, f);
}

// One triangle facing the camera (clockwise on screen) at depth z.
std::vector<uint8_t> triangle_file(Vec3 a, Vec3 b, Vec3 c, uint8_t material = 0) {
    const Vec3 v[3] = {a, b, c};
    const FaceRecord f[1] = {{{0, 1, 2}, {0, 0, 0, 0, 0, 0}, material}};
    return encode_model(100, v, f);
}

class Render3D : public GraphicsFixture {
  protected:
    Renderer3D& r = renderer3d();
    Render3D() {
        table.bind_all(p3d_builtins());
        init_graphics_3d(mem);
    }
    ~Render3D() override { shutdown_graphics_3d(); }

    // A new target (p3d_init: every model is released too).
    Plane* target(int32_t w = 640, int32_t h = 480, uint32_t depth = 32, float focal = 256,
                  float znear = 1) {
        plane_table().put(1, Plane::create(mem, w, h, depth));
        r.init(1, focal, znear, 0);
        r.clear();
        r.view({0, 0, 0}, {0, 0, 0});
        return plane(1);
    }
    ScriptAddr load(const std::vector<uint8_t>& bytes) { return r.load(bytes); }
    void set_material(ScriptAddr m, int number, uint8_t mode, uint32_t colour = 0xFFFFFF,
                      uint32_t texture = 0) {
        ASSERT_EQ(r.material(m, number, Material{colour, texture, mode}), 1u);
    }
    static uint32_t pixel(Plane* p, int x, int y) {
        uint32_t v;
        std::memcpy(&v, p->row(y) + 4 * x, 4);
        return v;
    }
};

TEST_F(Render3D, LoaderChecksEveryCountIndexAndValue) {
    auto good = cube_file();
    ASSERT_TRUE(std::holds_alternative<ModelData>(parse_model(good)));
    auto extra = good;
    extra.push_back(7);
    EXPECT_TRUE(std::holds_alternative<ModelData>(parse_model(extra)));
    auto truncated = good;
    truncated.pop_back();
    EXPECT_FALSE(std::holds_alternative<ModelData>(parse_model(truncated)));
    EXPECT_FALSE(std::holds_alternative<ModelData>(parse_model(std::vector<uint8_t>{1, 0, 0})));
    auto bad_index = good;
    bad_index[kModelHeaderBytes + 8 * kModelVertexBytes] = 8;  // first face, first index
    EXPECT_FALSE(std::holds_alternative<ModelData>(parse_model(bad_index)));
    auto nan = good;
    const uint32_t qnan = 0x7FC00000;
    std::memcpy(&nan[kModelHeaderBytes + 4], &qnan, 4);
    EXPECT_FALSE(std::holds_alternative<ModelData>(parse_model(nan)));
    auto nan_uv = good;
    std::memcpy(&nan_uv[kModelHeaderBytes + 8 * kModelVertexBytes + 6], &qnan, 4);
    EXPECT_FALSE(std::holds_alternative<ModelData>(parse_model(nan_uv)));
    // No faces: loads, draws nothing.
    const Vec3 one[1] = {{0, 0, 5}};
    auto empty = parse_model(encode_model(1, one, {}));
    ASSERT_TRUE(std::holds_alternative<ModelData>(empty));
    EXPECT_TRUE(std::get<ModelData>(empty).faces.empty());
    // The largest counts.
    std::vector<Vec3> many(65535, Vec3{1, 2, 3});
    std::vector<FaceRecord> faces(65535,
                                  FaceRecord{{0, 1, 65534}, {0.5f, 2, 0, 0, 1e10f, -1e10f}, 3});
    auto big = parse_model(encode_model(1, many, faces));
    ASSERT_TRUE(std::holds_alternative<ModelData>(big));
    const ModelData& m = std::get<ModelData>(big);
    EXPECT_EQ(m.faces.size(), 65535u);
    EXPECT_EQ(m.faces[0].uv[0][0], 32768);
    EXPECT_EQ(m.faces[0].uv[0][1], 131072);
    EXPECT_EQ(m.faces[0].uv[2][0], INT32_MAX);  // saturated
    EXPECT_EQ(m.faces[0].uv[2][1], INT32_MIN);
}

TEST_F(Render3D, CubeNormals) {
    auto parsed = parse_model(cube_file());
    const ModelData& m = std::get<ModelData>(parsed);
    // Face normals point out of the cube; corner normals along the diagonal.
    for (const ModelFace& f : m.faces) {
        const Vec3& p = m.vertices[f.v[0]].pos;
        const Vec3& q = m.vertices[f.v[1]].pos;
        const Vec3& s = m.vertices[f.v[2]].pos;
        const Vec3 centre{(p.x + q.x + s.x) / 3, (p.y + q.y + s.y) / 3, (p.z + q.z + s.z) / 3};
        EXPECT_GT(f.normal.x * centre.x + f.normal.y * centre.y + f.normal.z * centre.z, 0.3f);
        EXPECT_NEAR(std::hypot(f.normal.x, f.normal.y, f.normal.z), 1, 1e-6);
    }
    for (const ModelVertex& v : m.vertices) {
        EXPECT_NEAR(std::hypot(v.normal.x, v.normal.y, v.normal.z), 1, 1e-6);
        EXPECT_GT(v.normal.x * v.pos.x, 0);
        EXPECT_GT(v.normal.y * v.pos.y, 0);
        EXPECT_GT(v.normal.z * v.pos.z, 0);
    }
}

TEST_F(Render3D, ProjectionAndCulling) {
    target();
    ScriptAddr m = load(triangle_file({1, 1, 2}, {2, 1, 2}, {1, 0, 2}));
    ASSERT_NE(m, 0u);
    ASSERT_EQ(r.setobj(m, {0, 0, 0}, {0, 0, 0}), 1u);
    ASSERT_EQ(r.frame_vertices().size(), 3u);
    EXPECT_FLOAT_EQ(r.frame_vertices()[0].sx, 448);
    EXPECT_FLOAT_EQ(r.frame_vertices()[0].sy, 112);
    // Sphere tests: f (x + r) < -(W/2) z culls; here W/2 = 320, z = 10, r = 1.
    const Vec3 origin[1] = {{0, 0, 0}};
    const FaceRecord none[1] = {{{0, 0, 0}, {}, 0}};
    ScriptAddr dot = load(encode_model(1, origin, none));
    struct Case {
        Vec3 at;
        bool placed;
    } cases[] = {
        {{-13.5f + 0.01f, 0, 10}, true},   {{-13.5f - 0.01f, 0, 10}, false},
        {{13.5f - 0.01f, 0, 10}, true},    {{13.5f + 0.01f, 0, 10}, false},
        {{0, -10.375f + 0.01f, 10}, true}, {{0, -10.375f - 0.01f, 10}, false},
        {{0, 10.375f - 0.01f, 10}, true},  {{0, 10.375f + 0.01f, 10}, false},
    };
    for (const Case& c : cases) {
        r.clear();
        ASSERT_EQ(r.setobj(dot, c.at, {0, 0, 0}), 1u);
        EXPECT_EQ(r.frame_vertices().size(), c.placed ? 1u : 0u) << c.at.x << "," << c.at.y;
    }
    // A camera turned by yaw pi/2 sees a point on +x in the middle.
    r.clear();
    r.view({0, 0, 0}, {0, kPi / 2, 0});
    ASSERT_EQ(r.setobj(dot, {5, 0, 0}, {0, 0, 0}), 1u);
    ASSERT_EQ(r.frame_vertices().size(), 1u);
    EXPECT_NEAR(r.frame_vertices()[0].sx, 320, 1e-3);
    EXPECT_NEAR(r.frame_vertices()[0].sy, 240, 1e-3);
    // Pitch: positive looks down, so a point below is in the middle.
    r.clear();
    r.view({0, 0, 0}, {kPi / 4, 0, 0});
    r.setobj(dot, {0, -5, 5}, {0, 0, 0});
    EXPECT_NEAR(r.frame_vertices()[0].sx, 320, 1e-3);
    EXPECT_NEAR(r.frame_vertices()[0].sy, 240, 1e-3);
}

TEST_F(Render3D, NearVerticesAndBackFacesDropFaces) {
    target();
    // Clockwise on screen: up, then right.
    ScriptAddr front = load(triangle_file({0, 0, 5}, {0, 1, 5}, {1, 0, 5}));
    ScriptAddr back = load(triangle_file({0, 0, 5}, {1, 0, 5}, {0, 1, 5}));
    ScriptAddr near = load(triangle_file({0, 0, 0.5f}, {0, 1, 5}, {1, 0, 5}));
    for (ScriptAddr m : {front, back, near}) set_material(m, 0, 0);
    r.setobj(front, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(r.polygons().size(), 1u);
    r.setobj(back, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(r.polygons().size(), 1u);
    r.setobj(near, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(r.polygons().size(), 1u);
    set_material(back, 0, 2);  // two-sided
    r.setobj(back, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(r.polygons().size(), 2u);
    set_material(near, 0, 2);
    r.setobj(near, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(r.polygons().size(), 2u);
}

TEST_F(Render3D, Lighting) {
    target();
    // A triangle facing the camera: its normal is (0, 0, -1).
    ScriptAddr m = load(triangle_file({0, 0, 5}, {0, 1, 5}, {1, 0, 5}));
    set_material(m, 0, 1);  // Gouraud
    struct Case {
        Vec3 ambient;
        std::vector<std::pair<uint8_t, Vec3>> lights;  // type, (a, b, c)
        float want;
    } cases[] = {
        {{0.25f, 0.25f, 0.25f}, {}, 64},
        {{0, 0, 0}, {{0, {0, 0, 0}}}, 255},               // travelling along +z = -N
        {{0.25f, 0.25f, 0.25f}, {{0, {kPi, 0, 0}}}, 64},  // from behind
        {{0, 0, 0}, {{0, {0, kPi / 3, 0}}}, 127.5f},      // cos 60 = 0.5
        {{0, 0, 0}, {{1, {0, 0, -10}}}, 255},             // a point light in front
        {{0.1f, 0.1f, 0.1f}, {{1, {0, 0, 50}}}, 25.5f},   // behind the face
    };
    for (const Case& c : cases) {
        r.clear();
        r.env(c.ambient.x, c.ambient.y, c.ambient.z);
        for (auto& [type, at] : c.lights) ASSERT_EQ(r.light({1, 1, 1}, type, at.x, at.y, at.z), 1u);
        r.setobj(m, {0, 0, 0}, {0, 0, 0});
        EXPECT_NEAR(r.frame_vertices()[0].light[0], c.want, 0.5) << c.want;
    }
    // Sphere-map coordinates of the normal (0, 0, -1).
    set_material(m, 0, 6);
    r.clear();
    r.setobj(m, {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(r.frame_vertices()[0].su, 32768);
    EXPECT_EQ(r.frame_vertices()[0].sv, 32768);
    // Sixteen lights fit, the seventeenth does not.
    r.clear();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r.light({1, 1, 1}, 0, 0, 0, 0), 1u);
    EXPECT_EQ(r.light({1, 1, 1}, 0, 0, 0, 0), 0u);
    EXPECT_EQ(r.light_count(), 16u);
}

TEST_F(Render3D, CrossingFacesGiveTheSamePictureInEitherOrder) {
    std::vector<uint8_t> pictures[2];
    for (int k = 0; k < 2; ++k) {
        Plane* p = target(64, 48, 32, 20);
        ScriptAddr a = load(triangle_file({-2, -2, 4}, {0, 2, 8}, {2, -2, 4}));
        ScriptAddr b = load(triangle_file({-2, -1, 8}, {0, 1, 4}, {2, -1, 8}));
        set_material(a, 0, 0, 0xFF0000);
        set_material(b, 0, 0, 0x00FF00);
        r.setobj(k ? b : a, {0, 0, 0}, {0, 0, 0});
        r.setobj(k ? a : b, {0, 0, 0}, {0, 0, 0});
        ASSERT_EQ(r.render(), 1u);
        pictures[k].assign(p->bits(), p->bits() + p->bytes());
    }
    EXPECT_EQ(pictures[0], pictures[1]);
    size_t red = 0, green = 0;
    for (size_t i = 0; i < pictures[0].size(); i += 4) {
        red += pictures[0][i + 2] == 255;
        green += pictures[0][i + 1] == 255;
    }
    EXPECT_GT(red, 20u);
    EXPECT_GT(green, 10u);
}

// A quad as two translucent triangles over a grey background: every covered
// pixel is blended exactly once.
TEST_F(Render3D, SharedEdgesCoverEachPixelOnce) {
    const Vec3 v[4] = {{-1.3f, -0.7f, 3}, {-0.9f, 1.1f, 3}, {1.2f, 0.8f, 3}, {0.7f, -1.0f, 3}};
    const FaceRecord f[2] = {{{0, 1, 2}, {}, 0}, {{0, 2, 3}, {}, 0}};
    Plane* p = target(80, 60, 32, 40, 0.5f);
    ScriptAddr m = load(encode_model(3, v, f));
    set_material(m, 0, 2, 0xFFFFFF);  // translucent, unlit
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) std::memcpy(p->row(y) + 4 * x, "\x40\x40\x40\xFF", 4);
    r.setobj(m, {0, 0, 0}, {0, 0, 0});
    ASSERT_EQ(r.render(), 1u);
    int covered = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) {
            const uint32_t c = pixel(p, x, y) & 0xFFFFFF;
            ASSERT_TRUE(c == 0x404040 || c == 0x9F9F9F) << x << "," << y << " " << std::hex << c;
            covered += c == 0x9F9F9F;
        }
    EXPECT_GT(covered, 500);
}

TEST_F(Render3D, TexturesRepeatAndTranslucentFacesComeInOrder) {
    // A 2 x 2 texture; coordinates 0..2 repeat it twice across a square.
    plane_table().put(5, Plane::create(mem, 2, 2, 32));
    Plane* tex = plane(5);
    const uint32_t texels[4] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF};
    for (int i = 0; i < 4; ++i) std::memcpy(tex->row(i / 2) + 4 * (i % 2), &texels[i], 4);
    const Vec3 v[4] = {{-1, 1, 2}, {1, 1, 2}, {1, -1, 2}, {-1, -1, 2}};
    const FaceRecord f[2] = {{{0, 1, 2}, {0, 0, 2, 0, 2, 2}, 0},
                             {{0, 2, 3}, {0, 0, 2, 2, 0, 2}, 0}};
    Plane* p = target(64, 64, 32, 32);
    ScriptAddr m = load(encode_model(3, v, f));
    set_material(m, 0, 4, 0, r.tex(5));
    r.setobj(m, {0, 0, 0}, {0, 0, 0});
    ASSERT_EQ(r.render(), 1u);
    // The square spans 16..48; each texel covers 8 x 8 pixels.
    for (int y = 18; y < 46; y += 8)
        for (int x = 18; x < 46; x += 8) {
            const int tx = ((x - 16) / 8) % 2, ty = ((y - 16) / 8) % 2;
            EXPECT_EQ(pixel(p, x, y), texels[ty * 2 + tx]) << x << "," << y;
        }
    // Two translucent squares: the far one is drawn first.
    p = target(64, 64, 32, 32);
    ScriptAddr near = load(triangle_file({-1, -1, 2}, {-1, 1, 2}, {1, -1, 2}));
    ScriptAddr far = load(triangle_file({-1, -1, 3}, {-1, 1, 3}, {1, -1, 3}));
    set_material(near, 0, 2, 0x0000FF);
    set_material(far, 0, 2, 0xFF0000);
    r.setobj(near, {0, 0, 0}, {0, 0, 0});
    r.setobj(far, {0, 0, 0}, {0, 0, 0});
    r.render();
    // Red over black, then blue over that.
    EXPECT_EQ(pixel(p, 22, 40), 0xFF3F007Fu);
}

TEST_F(Render3D, BadHandlesTargetsAndFullLists) {
    Plane* p = target();
    (void)p;
    ScriptAddr m = load(cube_file());
    ASSERT_NE(m, 0u);
    EXPECT_EQ(r.setobj(m + 4, {0, 0, 5}, {0, 0, 0}), 0u);
    EXPECT_EQ(r.material(12345, 0, Material{}), 0u);
    EXPECT_EQ(r.material(m, 0, Material{0, 0, 7}), 0u);
    EXPECT_EQ(r.free(m + 16), 0u);
    // The record scripts see.
    EXPECT_EQ(word_at(m), 1u);
    EXPECT_EQ(word_at(m + 8), 8u);
    EXPECT_EQ(word_at(m + 12), 12u);
    // A full polygon list: an instance that does not fit is dropped whole.
    set_material(m, 0, 2);
    set_material(m, 1, 2);
    int placed = 0;
    while (r.setobj(m, {0, 0, 5}, {0, 0, 0}) == 1) ++placed;
    EXPECT_EQ(placed, int(kMaxFrameVertices / 8));
    EXPECT_LE(r.polygons().size(), size_t(kMaxFramePolygons));
    // A freed or resized target: nothing is drawn.
    r.clear();
    plane_table().clear(1);
    EXPECT_EQ(r.setobj(m, {0, 0, 5}, {0, 0, 0}), 0u);
    EXPECT_EQ(r.render(), 0u);
    plane_table().put(1, Plane::create(mem, 320, 480, 32));
    EXPECT_EQ(r.render(), 0u);
    EXPECT_EQ(r.free(m), 1u);
    EXPECT_EQ(r.free(m), 0u);
    EXPECT_EQ(word_at(m), 0u);
}

TEST_F(Render3D, BuiltinsLoadFilesAndCheckPointers) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("tob_p3d_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto saved = current_folder();
    set_current_folder(dir);
    {
        auto bytes = cube_file();
        std::ofstream(dir / "cube.mdl", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::ofstream(dir / "junk.mdl", std::ios::binary).write("\x05\x00\x01", 3);
    }
    CapturedReports reports;
    plane_table().put(1, Plane::create(mem, 64, 48, 24));
    EXPECT_EQ(call("p3d_init", {1, word(64.0f), word(1.0f), word(0.0f)}), 1u);
    const uint32_t model = call("p3d_load", {put_string("cube.mdl")});
    EXPECT_NE(model, 0u);
    EXPECT_EQ(call("p3d_load", {put_string("junk.mdl")}), 0u);
    EXPECT_EQ(call("p3d_load", {put_string("missing.mdl")}), 0u);
    EXPECT_EQ(call("p3d_tex", {1}), 2u);
    EXPECT_EQ(call("p3d_tex", {900}), 0u);
    const ScriptAddr vec = put_words({word(0.0f), word(0.0f), word(0.0f)});
    const ScriptAddr at = put_words({word(0.0f), word(0.0f), word(5.0f)});
    EXPECT_EQ(call("p3d_clear", {}), 1u);
    EXPECT_EQ(call("p3d_view", {vec, 0}), 0u);
    EXPECT_EQ(call("p3d_view", {vec, vec}), 1u);
    EXPECT_EQ(call("p3d_env", {word(0.5f), word(0.5f), word(0.5f)}), 1u);
    const uint8_t light[13] = {0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F, 0};
    EXPECT_EQ(call("p3d_light", {put(light, 13), word(0.0f), word(0.0f), word(0.0f)}), 1u);
    EXPECT_EQ(call("p3d_light", {0, word(0.0f), word(0.0f), word(0.0f)}), 0u);
    const uint8_t material[9] = {0x00, 0x80, 0xFF, 0, 0, 0, 0, 0, 1};
    for (uint32_t n = 0; n < 6; ++n)
        EXPECT_EQ(call("p3d_material", {model, n, put(material, 9)}), 1u);
    EXPECT_EQ(call("p3d_material", {model, 0, 0}), 0u);
    EXPECT_EQ(call("p3d_setobj", {model, at, vec}), 1u);
    EXPECT_EQ(call("p3d_setobj", {model, 0, vec}), 0u);
    EXPECT_EQ(call("p3d_render", {}), 1u);
    // The cube's front face, lit, in the middle of the picture.
    EXPECT_NE(read_pixel_rgb(*plane(1), 32, 24), 0u);
    EXPECT_EQ(read_pixel_rgb(*plane(1), 0, 0), 0u);
    EXPECT_EQ(call("p3d_free", {model}), 1u);
    EXPECT_EQ(call("p3d_free", {model}), 0u);
    EXPECT_EQ(call("p3d_uninit", {}), 1u);
    set_current_folder(saved);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tob::test
