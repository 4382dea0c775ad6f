// Blitter benchmarks, side by side with references in one run, at 640x480 and
// 1920x1080 on 32-bit planes: mode 0 against memcpy, mode 7 (alpha) against
// pixman's OVER (also over translucent and 24-bit pages), mode 3 (blend), and
// a scaled copy. Prints Mpixels/s and the ratios at the end.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "graphics/blitter.h"
#include "graphics/graphics.h"
#include "ratio_reporter.h"

namespace {

using namespace tob;
using namespace tob::gfx;

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1920, 1080}};

ScriptMemory& memory() {
    static ScriptMemory mem(256u << 20);
    return mem;
}

// A 32-bit plane of random pixels. A sprite's alphas spread over 0..255 with a
// third of them fully opaque and a sixth fully transparent; a page (the
// destination) is opaque.
std::unique_ptr<Plane> random_plane(int w, int h, uint32_t seed, bool opaque = false) {
    auto p = Plane::create(memory(), w, h, 32);
    std::mt19937 rng(seed);
    for (uint32_t i = 0; i < p->bytes(); i += 4) {
        uint32_t v = rng(), k = v % 6;
        uint8_t a = opaque || k < 2 ? 255 : k == 2 ? 0 : uint8_t(v >> 24);
        p->bits()[i] = uint8_t(v);
        p->bits()[i + 1] = uint8_t(v >> 8);
        p->bits()[i + 2] = uint8_t(v >> 16);
        p->bits()[i + 3] = a;
    }
    return p;
}

// A page of random pixels of the given depth; 32-bit pages are opaque unless
// `translucent`, then their alphas are random.
std::unique_ptr<Plane> page_plane(int w, int h, uint32_t seed, int depth, bool translucent) {
    auto p = Plane::create(memory(), w, h, depth);
    std::mt19937 rng(seed);
    for (uint32_t i = 0; i < p->bytes(); ++i) p->bits()[i] = uint8_t(rng());
    if (depth == 32 && !translucent)
        for (uint32_t i = 3; i < p->bytes(); i += 4) p->bits()[i] = 255;
    return p;
}

// A sprite: runs of opaque and transparent pixels with a one-pixel soft edge
// between them (about one pixel in eight partly transparent).
std::unique_ptr<Plane> sprite_plane(int w, int h, uint32_t seed) {
    auto p = random_plane(w, h, seed);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = p->row(y);
        bool opaque = false;
        for (int x = 0; x < w; ++x) {
            if (rng() % 8 == 0) {
                opaque = !opaque;
                row[4 * x + 3] = uint8_t(64 + rng() % 128);
            } else {
                row[4 * x + 3] = opaque ? 255 : 0;
            }
        }
    }
    return p;
}

void report(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

void bm_memcpy(benchmark::State& state) {
    Size s = kSizes[state.range(0)];
    auto src = random_plane(s.w, s.h, 1), dst = random_plane(s.w, s.h, 2, true);
    for (auto _ : state) {
        std::memcpy(dst->bits(), src->bits(), src->bytes());
        benchmark::ClobberMemory();
    }
    report(state, int64_t(s.w) * s.h);
}

void run_mode(benchmark::State& state, uint8_t mode, uint8_t level, bool sprite = false,
              int page_depth = 32, bool translucent = false) {
    Size s = kSizes[state.range(0)];
    auto src = sprite ? sprite_plane(s.w, s.h, 1) : random_plane(s.w, s.h, 1);
    auto dst = page_plane(s.w, s.h, 2, page_depth, translucent);
    BlendRecord rec;
    rec.mode = mode;
    rec.level = level;
    for (auto _ : state) {
        copy_unscaled(*dst, 0, 0, *src, nullptr, std::nullopt, rec);
        benchmark::ClobberMemory();
    }
    report(state, int64_t(s.w) * s.h);
}
void bm_mode0_copy(benchmark::State& state) {
    run_mode(state, 0, 0);
}
void bm_mode3_blend(benchmark::State& state) {
    run_mode(state, 3, 128);
}
void bm_mode7_alpha(benchmark::State& state) {
    run_mode(state, 7, 255);
}
void bm_mode7_sprite(benchmark::State& state) {
    run_mode(state, 7, 255, true);
}
void bm_mode7_translucent(benchmark::State& state) {
    run_mode(state, 7, 255, false, 32, true);
}
void bm_mode7_page24(benchmark::State& state) {
    run_mode(state, 7, 255, false, 24);
}

void run_pixman_over(benchmark::State& state, bool sprite, int page_depth = 32) {
    Size s = kSizes[state.range(0)];
    auto src = sprite ? sprite_plane(s.w, s.h, 1) : random_plane(s.w, s.h, 1);
    auto dst = page_plane(s.w, s.h, 2, page_depth, false);
    // OVER takes premultiplied colours.
    for (uint32_t i = 0; i < src->bytes(); i += 4)
        for (int c = 0; c < 3; ++c)
            src->bits()[i + c] = uint8_t(src->bits()[i + c] * src->bits()[i + 3] / 255);
    pixman_image_t* si = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, s.w, s.h, reinterpret_cast<uint32_t*>(src->bits()), int(src->pitch()));
    pixman_image_t* di =
        pixman_image_create_bits(page_depth == 32 ? PIXMAN_a8r8g8b8 : PIXMAN_r8g8b8, s.w, s.h,
                                 reinterpret_cast<uint32_t*>(dst->bits()), int(dst->pitch()));
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, si, nullptr, di, 0, 0, 0, 0, 0, 0, s.w, s.h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(si);
    pixman_image_unref(di);
    report(state, int64_t(s.w) * s.h);
}
void bm_pixman_over(benchmark::State& state) {
    run_pixman_over(state, false);
}
void bm_pixman_sprite(benchmark::State& state) {
    run_pixman_over(state, true);
}
void bm_pixman_page24(benchmark::State& state) {
    run_pixman_over(state, false, 24);
}

// A scaled copy: the other size's picture stretched onto this size.
void bm_scaled_gblit(benchmark::State& state) {
    Size s = kSizes[state.range(0)], o = kSizes[1 - state.range(0)];
    auto src = random_plane(o.w, o.h, 1), dst = random_plane(s.w, s.h, 2, true);
    BlendRecord rec;
    for (auto _ : state) {
        copy_scaled(*dst, std::nullopt, *src, nullptr, std::nullopt, rec, 0);
        benchmark::ClobberMemory();
    }
    report(state, int64_t(s.w) * s.h);
}

BENCHMARK(bm_memcpy)->Arg(0)->Arg(1);
BENCHMARK(bm_mode0_copy)->Arg(0)->Arg(1);
BENCHMARK(bm_pixman_over)->Arg(0)->Arg(1);
BENCHMARK(bm_mode7_alpha)->Arg(0)->Arg(1);
BENCHMARK(bm_pixman_sprite)->Arg(0)->Arg(1);
BENCHMARK(bm_mode7_sprite)->Arg(0)->Arg(1);
BENCHMARK(bm_mode7_translucent)->Arg(0)->Arg(1);
BENCHMARK(bm_pixman_page24)->Arg(0)->Arg(1);
BENCHMARK(bm_mode7_page24)->Arg(0)->Arg(1);
BENCHMARK(bm_mode3_blend)->Arg(0)->Arg(1);
BENCHMARK(bm_scaled_gblit)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tob::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-10s %8s %8s %6s | %8s %8s %6s | %8s %8s %6s | %8s %8s  (Mpx/s)\n", "size",
                "memcpy", "mode 0", "ratio", "pixman", "mode 7", "ratio", "pixman*", "mode 7*",
                "ratio", "mode 3", "scaled");
    for (int i = 0; i < 2; ++i) {
        auto get = [&](const char* name) {
            return reporter.rate[std::string(name) + "/" + std::to_string(i)] / 1e6;
        };
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        double mc = get("bm_memcpy"), m0 = get("bm_mode0_copy"), px = get("bm_pixman_over"),
               m7 = get("bm_mode7_alpha"), ps = get("bm_pixman_sprite"),
               m7s = get("bm_mode7_sprite"), m3 = get("bm_mode3_blend"),
               sc = get("bm_scaled_gblit");
        std::printf(
            "%4dx%-5d %8.0f %8.0f %6.2f | %8.0f %8.0f %6.2f | %8.0f %8.0f %6.2f | %8.0f %8.0f\n",
            kSizes[i].w, kSizes[i].h, mc, m0, ratio(m0, mc), px, m7, ratio(m7, px), ps, m7s,
            ratio(m7s, ps), m3, sc);
    }
    std::printf(
        "* sprite alpha: opaque and transparent runs with soft edges; otherwise random alpha\n");
    std::printf("\n%-10s %8s %8s %6s | %8s %8s %6s  (Mpx/s, random alpha)\n", "size", "pixman",
                "mode 7", "ratio", "pixman24", "mode 7", "ratio");
    for (int i = 0; i < 2; ++i) {
        auto get = [&](const char* name) {
            return reporter.rate[std::string(name) + "/" + std::to_string(i)] / 1e6;
        };
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        double px = get("bm_pixman_over"), m7t = get("bm_mode7_translucent"),
               p24 = get("bm_pixman_page24"), m24 = get("bm_mode7_page24");
        std::printf("%4dx%-5d %8.0f %8.0f %6.2f | %8.0f %8.0f %6.2f\n", kSizes[i].w, kSizes[i].h,
                    px, m7t, ratio(m7t, px), p24, m24, ratio(m24, p24));
    }
    std::printf("left: mode 7 over a page of random alpha; right: onto 24-bit pages (no alpha)\n");
    return 0;
}
