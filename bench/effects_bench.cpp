// Image effect benchmarks on 32-bit planes, side by side with pixman in one
// run: smooth scaling against its bilinear scale, tiled and rotate against
// its nearest affine transform, blur against a 17 x 1 box convolution, and
// the warp steps against an affine transform over the same area (the same
// work of moving every pixel once). Prints Mpixels/s and the ratios.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "graphics/effects.h"
#include "graphics/plane_table.h"
#include "graphics/warp.h"
#include "ratio_reporter.h"

namespace {

using namespace tob;
using namespace tob::gfx;

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1920, 1080}};

ScriptMemory& memory() {
    static ScriptMemory mem(512u << 20);
    return mem;
}

// A picture with smooth areas and edges, as effects usually see.
std::unique_ptr<Plane> picture(int w, int h, uint32_t seed) {
    auto p = Plane::create(memory(), w, h, 32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = p->row(y);
        for (int x = 0; x < w; ++x) {
            row[4 * x] = uint8_t(x * 255 / w);
            row[4 * x + 1] = uint8_t(y * 255 / h);
            row[4 * x + 2] = uint8_t(((x / 32) ^ (y / 32)) & 1 ? 200 : rng() & 63);
            row[4 * x + 3] = 255;
        }
    }
    return p;
}

pixman_image_t* image_of(const Plane& p) {
    // Seen upside down (rows are stored bottom-up), which costs the same.
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, p.width(), p.height(),
                                    reinterpret_cast<uint32_t*>(p.bits()), int(p.pitch()));
}

void report(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

// pixman: the destination filled through a transform of the source.
void run_pixman(benchmark::State& state, const Plane& src, Plane& dst, const pixman_f_transform& ft,
                pixman_filter_t filter, pixman_repeat_t repeat,
                const pixman_fixed_t* params = nullptr, int n_params = 0) {
    pixman_image_t* si = image_of(src);
    pixman_image_t* di = image_of(dst);
    pixman_transform_t t;
    pixman_transform_from_pixman_f_transform(&t, &ft);
    pixman_image_set_transform(si, &t);
    pixman_image_set_filter(si, filter, params, n_params);
    pixman_image_set_repeat(si, repeat);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, si, nullptr, di, 0, 0, 0, 0, 0, 0, dst.width(),
                                 dst.height());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(si);
    pixman_image_unref(di);
    report(state, int64_t(dst.width()) * dst.height());
}

// A rotation by `turns` of a full turn about the destination's centre, with a
// zoom (source pixels per destination pixel), mapping destination to source.
pixman_f_transform rotation(const Plane& dst, const Plane& src, double turns, double zoom) {
    pixman_f_transform ft;
    pixman_f_transform_init_translate(&ft, -dst.width() / 2.0, -dst.height() / 2.0);
    const double a = turns * 2 * std::numbers::pi;
    pixman_f_transform_rotate(&ft, nullptr, std::cos(a), std::sin(a));
    pixman_f_transform_scale(&ft, nullptr, zoom, zoom);
    pixman_f_transform_translate(&ft, nullptr, src.width() / 2.0, src.height() / 2.0);
    return ft;
}

// ---- smooth: 640x480 -> 1920x1080 ----------------------------------------

void bm_smooth(benchmark::State& state) {
    auto src = picture(640, 480, 1), dst = picture(1920, 1080, 2);
    for (auto _ : state) {
        smooth(*dst, std::nullopt, *src, std::nullopt, -1);
        benchmark::ClobberMemory();
    }
    report(state, 1920 * 1080);
}
void bm_pixman_bilinear(benchmark::State& state) {
    auto src = picture(640, 480, 1), dst = picture(1920, 1080, 2);
    pixman_f_transform ft;
    pixman_f_transform_init_scale(&ft, 640.0 / 1920.0, 480.0 / 1080.0);
    run_pixman(state, *src, *dst, ft, PIXMAN_FILTER_BILINEAR, PIXMAN_REPEAT_PAD);
}

// ---- tiled: angle 300, zoom 1.5 over 1920x1080 ---------------------------

void bm_tiled(benchmark::State& state) {
    auto src = picture(640, 480, 1), dst = picture(1920, 1080, 2);
    for (auto _ : state) {
        tiled(*dst, std::nullopt, *src, std::nullopt, 300, 0x18000);
        benchmark::ClobberMemory();
    }
    report(state, 1920 * 1080);
}
void bm_pixman_tiled(benchmark::State& state) {
    auto src = picture(640, 480, 1), dst = picture(1920, 1080, 2);
    run_pixman(state, *src, *dst, rotation(*dst, *src, 300.0 / 2048, 1 / 1.5),
               PIXMAN_FILTER_NEAREST, PIXMAN_REPEAT_NORMAL);
}

// ---- rotate: a 1920x1080 picture ------------------------------------------

void bm_rotate(benchmark::State& state) {
    auto src = picture(1920, 1080, 1), dst = picture(1920, 1080, 2);
    for (auto _ : state) {
        rotate(*dst, std::nullopt, *src, std::nullopt, 300, -1);
        benchmark::ClobberMemory();
    }
    report(state, 1920 * 1080);
}
void bm_pixman_rotate(benchmark::State& state) {
    auto src = picture(1920, 1080, 1), dst = picture(1920, 1080, 2);
    run_pixman(state, *src, *dst, rotation(*dst, *src, 300.0 / 2048, 1), PIXMAN_FILTER_NEAREST,
               PIXMAN_REPEAT_NONE);
}

// ---- blur radius 8 -----------------------------------------------------------

void bm_blur(benchmark::State& state) {
    Size s = kSizes[state.range(0)];
    auto src = picture(s.w, s.h, 1), dst = picture(s.w, s.h, 2);
    for (auto _ : state) {
        blur(*dst, 0, 0, *src, std::nullopt, 8);
        benchmark::ClobberMemory();
    }
    report(state, int64_t(s.w) * s.h);
}
void bm_pixman_box17(benchmark::State& state) {
    Size s = kSizes[state.range(0)];
    auto src = picture(s.w, s.h, 1), dst = picture(s.w, s.h, 2);
    std::vector<pixman_fixed_t> params = {pixman_int_to_fixed(17), pixman_int_to_fixed(1)};
    for (int i = 0; i < 17; ++i) params.push_back(pixman_double_to_fixed(1.0 / 17));
    pixman_f_transform ft;
    pixman_f_transform_init_identity(&ft);
    run_pixman(state, *src, *dst, ft, PIXMAN_FILTER_CONVOLUTION, PIXMAN_REPEAT_PAD, params.data(),
               int(params.size()));
}

// ---- warp steps --------------------------------------------------------------

void run_warp(benchmark::State& state, bool water) {
    Size s = kSizes[state.range(0)];
    plane_table().set_memory(&memory());
    plane_table().put(1, picture(s.w, s.h, 1));
    plane_table().put(2, picture(s.w, s.h, 2));
    ef_init(0, 2, std::nullopt, 1, std::nullopt);
    int32_t angle = 0;
    for (auto _ : state) {
        if (water) {
            if (angle++ % 16 == 0) ef_blob(0, -1, -1, 40, 400);
            ef_water(0);
        } else {
            ef_rotate(0, s.w / 2, s.h / 2, 0x14000, angle += 7);
        }
        benchmark::ClobberMemory();
    }
    ef_free(0);
    plane_table().set_memory(nullptr);
    report(state, int64_t(s.w) * s.h);
}
void bm_ef_rotate(benchmark::State& state) {
    run_warp(state, false);
}
void bm_ef_water(benchmark::State& state) {
    run_warp(state, true);
}
void bm_pixman_affine(benchmark::State& state) {
    Size s = kSizes[state.range(0)];
    auto src = picture(s.w, s.h, 1), dst = picture(s.w, s.h, 2);
    run_pixman(state, *src, *dst, rotation(*dst, *src, 30.0 / 2048, 1 / 1.25),
               PIXMAN_FILTER_NEAREST, PIXMAN_REPEAT_NORMAL);
}

BENCHMARK(bm_pixman_bilinear);
BENCHMARK(bm_smooth);
BENCHMARK(bm_pixman_tiled);
BENCHMARK(bm_tiled);
BENCHMARK(bm_pixman_rotate);
BENCHMARK(bm_rotate);
BENCHMARK(bm_pixman_box17)->Arg(0)->Arg(1);
BENCHMARK(bm_blur)->Arg(0)->Arg(1);
BENCHMARK(bm_pixman_affine)->Arg(0)->Arg(1);
BENCHMARK(bm_ef_rotate)->Arg(0)->Arg(1);
BENCHMARK(bm_ef_water)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tob::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto mpx = [&](const std::string& name) { return reporter.rate[name] / 1e6; };
    auto line = [&](const char* what, const std::string& ours, const std::string& theirs) {
        const double a = mpx(ours), b = mpx(theirs);
        std::printf("%-28s %9.0f %9.0f %7.2f\n", what, a, b, b > 0 ? a / b : 0.0);
    };
    std::printf("\n%-28s %9s %9s %7s  (Mpx/s)\n", "effect", "ours", "pixman", "ratio");
    line("smooth 640x480->1920x1080", "bm_smooth", "bm_pixman_bilinear");
    line("tiled 1920x1080", "bm_tiled", "bm_pixman_tiled");
    line("rotate 1920x1080", "bm_rotate", "bm_pixman_rotate");
    line("blur r8 640x480", "bm_blur/0", "bm_pixman_box17/0");
    line("blur r8 1920x1080", "bm_blur/1", "bm_pixman_box17/1");
    line("ef_rotate 640x480", "bm_ef_rotate/0", "bm_pixman_affine/0");
    line("ef_rotate 1920x1080", "bm_ef_rotate/1", "bm_pixman_affine/1");
    line("ef_water 640x480", "bm_ef_water/0", "bm_pixman_affine/0");
    line("ef_water 1920x1080", "bm_ef_water/1", "bm_pixman_affine/1");
    for (const char* name : {"bm_ef_rotate/1", "bm_ef_water/1"}) {
        const double rate = reporter.rate[name];
        std::printf("%s: %.2f ms per 1920x1080 step (target under 4)\n", name,
                    rate > 0 ? 1920.0 * 1080.0 / rate * 1e3 : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
