// The 3D renderer's frame rate: a textured torus of 10,000 triangles in mode
// 5 (textured, lit), three instances, two lights, on 32-bit targets of
// 640x480 and 1920x1080; every frame p3d_clear ... p3d_render. Beside it,
// where OSMesa is found, Mesa's llvmpipe on one thread draws the same
// triangles (the same screen positions, vertex colours and texture
// coordinates) with OpenGL 1.1 fixed function: depth test, GL_MODULATE,
// nearest filtering, glFinish each frame. Times are this thread's processor
// time.
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "graphics/plane_table.h"
#include "graphics/render3d.h"

#ifdef TOB_BENCH_OSMESA
#include <GL/osmesa.h>
#endif

namespace {

using namespace tob;
using namespace tob::gfx;
// Time spent by this thread: the machine may be shared, and both renderers
// run on the calling thread.
double thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

constexpr int kRings = 100, kSides = 50;  // 10,000 triangles
constexpr double kSeconds = 1.5;
constexpr float kNear = 0.5f, kFar = 100.0f;

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1920, 1080}};
const Vec3 kPlaces[3] = {{-2.6f, 0.2f, 7}, {0, -0.4f, 6}, {2.6f, 0.3f, 7.5f}};

std::vector<uint8_t> torus_file() {
    std::vector<Vec3> v;
    std::vector<FaceRecord> f;
    const double two_pi = 2 * std::numbers::pi;
    for (int i = 0; i < kRings; ++i)
        for (int j = 0; j < kSides; ++j) {
            const double a = two_pi * i / kRings, b = two_pi * j / kSides;
            const double r = 1.0 + 0.4 * std::cos(b);
            v.push_back({float(r * std::cos(a)), float(0.4 * std::sin(b)), float(r * std::sin(a))});
        }
    auto at = [](int i, int j) { return uint16_t((i % kRings) * kSides + j % kSides); };
    for (int i = 0; i < kRings; ++i)
        for (int j = 0; j < kSides; ++j) {
            const float u0 = 4.0f * i / kRings, u1 = 4.0f * (i + 1) / kRings;
            const float v0 = 2.0f * j / kSides, v1 = 2.0f * (j + 1) / kSides;
            f.push_back({{at(i, j), at(i + 1, j), at(i + 1, j + 1)}, {u0, v0, u1, v0, u1, v1}, 0});
            f.push_back({{at(i, j), at(i + 1, j + 1), at(i, j + 1)}, {u0, v0, u1, v1, u0, v1}, 0});
        }
    return encode_model(1.5f, v, f);
}

// One frame of ours: the scene turned by `t`.
void frame(Renderer3D& r, ScriptAddr model, double t) {
    r.clear();
    r.view({0, 0, 0}, {0, 0, 0});
    r.env(0.2f, 0.2f, 0.2f);
    r.light({0.8f, 0.8f, 0.7f}, 0, 0.4f, 0.5f, 0);
    r.light({0.5f, 0.5f, 0.9f}, 1, 0, 3, 3);
    for (int k = 0; k < 3; ++k)
        r.setobj(model, kPlaces[k], {float(0.7 + t * (k + 1)), float(t * 0.5), 0.3f});
    r.render();
}

struct Result {
    double fps = 0;
    size_t triangles = 0;
};

Result run_ours(ScriptMemory& mem, Size s, const std::vector<uint8_t>& torus) {
    plane_table().put(1, Plane::create(mem, s.w, s.h, 32));
    Renderer3D& r = renderer3d();
    r.init(1, 0.8f * float(s.w), kNear, 0);
    const ScriptAddr model = r.load(torus);
    r.material(model, 0, Material{0xFFFFFF, r.tex(2), 5});
    int frames = 0;
    const double start = thread_seconds();
    double elapsed = 0;
    while (elapsed < kSeconds) {
        frame(r, model, frames * 0.01);
        ++frames;
        elapsed = thread_seconds() - start;
    }
    Result res{frames / elapsed, r.polygons().size()};
    return res;
}

#ifdef TOB_BENCH_OSMESA
// The same triangles through llvmpipe: our frame's view-space positions,
// vertex colours and texture coordinates, with a projection that puts them
// where ours do.
Result run_llvmpipe(ScriptMemory& mem, Size s, const std::vector<uint8_t>& torus) {
    plane_table().put(1, Plane::create(mem, s.w, s.h, 32));
    Renderer3D& r = renderer3d();
    const float f = 0.8f * float(s.w);
    r.init(1, f, kNear, 0);
    const ScriptAddr model = r.load(torus);
    r.material(model, 0, Material{0xFFFFFF, r.tex(2), 5});

    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_BGRA, 24, 0, 0, nullptr);
    if (!ctx) return {};
    std::vector<uint8_t> buffer(size_t(s.w) * size_t(s.h) * 4);
    if (!OSMesaMakeCurrent(ctx, buffer.data(), GL_UNSIGNED_BYTE, s.w, s.h)) return {};
    glViewport(0, 0, s.w, s.h);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    const float a = (kFar + kNear) / (kFar - kNear), b = -2 * kFar * kNear / (kFar - kNear);
    const float projection[16] = {
        2 * f / float(s.w), 0, 0, 0, 0, 2 * f / float(s.h), 0, 0, 0, 0, a, 1, 0, 0, b, 0};
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const Plane& tex = *plane(2);
    std::vector<uint8_t> texels(size_t(tex.width()) * size_t(tex.height()) * 4);
    for (int y = 0; y < tex.height(); ++y)
        std::memcpy(&texels[size_t(y) * size_t(tex.width()) * 4], tex.row(y),
                    size_t(tex.width()) * 4);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tex.width(), tex.height(), 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    // The triangles of each frame, prepared from our frame before timing.
    constexpr int kPrepared = 16;
    struct Prepared {
        std::vector<float> xyz, uv;
        std::vector<uint8_t> rgba;
    };
    std::vector<Prepared> frames(kPrepared);
    size_t triangles = 0;
    for (int k = 0; k < kPrepared; ++k) {
        frame(r, model, k * 0.01);
        Prepared& p = frames[size_t(k)];
        for (const Polygon& poly : r.polygons()) {
            for (int c = 0; c < 3; ++c) {
                const FrameVertex& v = r.frame_vertices()[poly.v[c]];
                p.xyz.insert(p.xyz.end(), {v.view.x, v.view.y, v.view.z});
                p.uv.insert(p.uv.end(), {poly.uv[c][0] / 65536.0f, poly.uv[c][1] / 65536.0f});
                p.rgba.insert(p.rgba.end(),
                              {uint8_t(v.light[0]), uint8_t(v.light[1]), uint8_t(v.light[2]), 255});
            }
        }
        triangles = r.polygons().size();
    }
    int drawn = 0;
    const double start = thread_seconds();
    double elapsed = 0;
    while (elapsed < kSeconds) {
        const Prepared& p = frames[size_t(drawn % kPrepared)];
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glVertexPointer(3, GL_FLOAT, 0, p.xyz.data());
        glTexCoordPointer(2, GL_FLOAT, 0, p.uv.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, p.rgba.data());
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(p.xyz.size() / 3));
        glFinish();
        ++drawn;
        elapsed = thread_seconds() - start;
    }
    glDeleteTextures(1, &name);
    OSMesaDestroyContext(ctx);
    return {drawn / elapsed, triangles};
}
#endif

}  // namespace

int main() {
    // One rendering thread, like ours.
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    setenv("LP_NUM_THREADS", "0", 1);
    static ScriptMemory mem(512u << 20);
    plane_table().set_memory(&mem);
    renderer3d().attach(&mem);
    // A 256 x 256 texture of soft stripes and squares.
    plane_table().put(2, Plane::create(mem, 256, 256, 32));
    Plane* tex = plane(2);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            uint8_t* p = tex->row(y) + 4 * x;
            p[0] = uint8_t(((x / 32) ^ (y / 32)) & 1 ? 240 : 60);
            p[1] = uint8_t(128 + 100 * std::sin(x * 0.1));
            p[2] = uint8_t(y);
            p[3] = 255;
        }
    const auto torus = torus_file();
    std::printf("%-10s %10s %10s %7s %9s %12s\n", "size", "ours fps", "llvmpipe", "ratio",
                "ms/frame", "60fps budget");
    for (Size s : kSizes) {
        const Result ours = run_ours(mem, s, torus);
        double theirs = 0;
#ifdef TOB_BENCH_OSMESA
        theirs = run_llvmpipe(mem, s, torus).fps;
#endif
        const double ms = 1000.0 / ours.fps;
        std::printf("%4dx%-5d %10.1f %10.1f %7.2f %9.2f %11.0f%%   (%zu triangles drawn)\n", s.w,
                    s.h, ours.fps, theirs, theirs > 0 ? ours.fps / theirs : 0.0, ms,
                    ms / (1000.0 / 60) * 100, ours.triangles);
    }
#ifndef TOB_BENCH_OSMESA
    std::printf("OSMesa was not found when this was built: no llvmpipe column.\n");
#endif
    renderer3d().detach();
    plane_table().set_memory(nullptr);
    return 0;
}
