// A full-HD sprite frame, side by side with the same scene composed by pixman:
// a 1920x1080 32-bit page over a background plane of the same size, 100
// sprites of 128x128 with a real alpha channel in mode 7, and one line of 40
// Shift-JIS characters at size 24 drawn again every frame with gtext as smooth
// text (coverage as alpha) into a cleared plane shown as a 101st sprite.
// Scene A moves every sprite every frame, scene B 10 of them. Per frame: the
// fields, the text line, sp_draw. pixman does the same work: SRC from the
// background over the same changed rectangles, OVER for every sprite there,
// the line through its glyph cache.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include <pixman.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "graphics/pages.h"
#include "graphics/plane_table.h"
#include "graphics/raster.h"
#include "graphics/sprites.h"
#include "graphics/text.h"
#include "platform/cp932.h"
#include "platform/text_raster.h"

namespace {

using namespace tob;
using namespace tob::gfx;

constexpr int kW = 1920, kH = 1080, kSprites = 100, kSize = 128, kTextSize = 24;
constexpr int kTextW = 1024, kTextH = 32;
constexpr uint32_t kBackground = 1, kSpritePlane = 2, kTextPlane = 6;
constexpr double kFrameMs = 1000.0 / 60.0;

// Forty characters: kanji, kana and ASCII, all in code page 932.
std::string text_line_sjis() {
    return utf8_to_cp932("吾輩は猫である。名前はまだ無い。Morvane スプライト 2D 試験 0123");
}

struct Motion {
    double x, y, dx, dy;
};

// The pixels of sprite picture k: a soft-edged disc in a colour of its own.
uint32_t sprite_pixel(int k, int x, int y) {
    double cx = x - 63.5, cy = y - 63.5, r = std::sqrt(cx * cx + cy * cy);
    int a = r < 48 ? 255 : r > 64 ? 0 : int(255 * (64 - r) / 16);
    uint32_t rgb = 0x204060u * uint32_t(k + 1) ^ uint32_t(x * 3) << 8 ^ uint32_t(y * 2);
    return uint32_t(a) << 24 | (rgb & 0xFFFFFF);
}

std::vector<Motion> motions() {
    std::vector<Motion> m;
    for (int i = 0; i < kSprites; ++i)
        m.push_back({double((i * 397) % (kW - kSize)), double((i * 211) % (kH - kSize)),
                     1.5 + (i % 7), 1.0 + (i % 5)});
    return m;
}

void step(Motion& m) {
    m.x += m.dx, m.y += m.dy;
    if (m.x < -32 || m.x > kW - 96) m.dx = -m.dx;
    if (m.y < -32 || m.y > kH - 96) m.dy = -m.dy;
}

std::map<std::string, double> g_ms;  // ms per frame by benchmark name

// ---- The engine ---------------------------------------------------------------

struct EngineScene {
    ScriptMemory mem{1u << 30};
    std::vector<ScriptAddr> sprites;
    ScriptAddr text_sprite = 0;
    std::vector<Motion> move = motions();
    std::string line = text_line_sjis();

    EngineScene() {
        init_graphics_planes(mem);
        start_pages(kW, kH, 32);
        init_sprites(mem);
        auto bg = Plane::create(mem, kW, kH, 32);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                uint8_t* p = bg->row(y) + 4 * x;
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y), p[3] = 255;
            }
        plane_table().put(kBackground, std::move(bg));
        for (int k = 0; k < 4; ++k) {
            auto p = Plane::create(mem, kSize, kSize, 32);
            for (int y = 0; y < kSize; ++y)
                for (int x = 0; x < kSize; ++x) {
                    uint32_t v = sprite_pixel(k, x, y);
                    uint8_t* q = p->row(y) + 4 * x;
                    q[0] = uint8_t(v), q[1] = uint8_t(v >> 8), q[2] = uint8_t(v >> 16),
                    q[3] = uint8_t(v >> 24);
                }
            plane_table().put(kSpritePlane + uint32_t(k), std::move(p));
        }
        plane_table().put(kTextPlane, Plane::create(mem, kTextW, kTextH, 32));
        // Slot 0: the default face at the text size, smooth.
        init_text();
        FontRecordBytes rec = default_font_record();
        const int32_t size = kTextSize;
        const uint32_t style = kStyleSmooth;
        std::memcpy(rec.data() + offsetof(FontRecord, size), &size, 4);
        std::memcpy(rec.data() + offsetof(FontRecord, style), &style, 4);
        text_state().record(0) = rec;
        SpriteSystem& s = gfx::sprites();
        s.set_background(kBackground);
        s.set_default_flags(0);
        BlendRecord alpha{7, 0, 255, 0, 0, 0};
        for (int i = 0; i < kSprites; ++i)
            sprites.push_back(s.create(0, 2, int32_t(move[size_t(i)].x), int32_t(move[size_t(i)].y),
                                       kSpritePlane + uint32_t(i % 4), std::nullopt, alpha));
        text_sprite = s.create(1, 2, 200, 900, kTextPlane, std::nullopt, alpha);
        s.draw(0xFFFFFFFF);
    }
    ~EngineScene() {
        shutdown_text();
        shutdown_sprites();
        shutdown_graphics_planes();
    }

    void set(ScriptAddr sp, size_t off, int32_t v) { mem.write32(sp + uint32_t(off), uint32_t(v)); }
    void touch(ScriptAddr sp) { mem.host(sp + 2)[0] |= kFlagChanged; }

    // gtext: smooth white text (screen colour 255) written as alpha.
    void text() {
        Plane& p = *plane(kTextPlane);
        std::memset(p.bits(), 0, p.bytes());
        draw_text(kTextPlane, 0, 0, 255 | kAttrAlpha, line, 0);
        touch(text_sprite);
    }

    void frame(int moving) {
        for (int i = 0; i < moving; ++i) {
            Motion& m = move[size_t(i)];
            step(m);
            set(sprites[size_t(i)], offsetof(SpriteRecord, x), int32_t(m.x));
            set(sprites[size_t(i)], offsetof(SpriteRecord, y), int32_t(m.y));
            touch(sprites[size_t(i)]);
        }
        text();
        gfx::sprites().draw(0xFFFFFFFF);
    }
};

// ---- pixman -------------------------------------------------------------------

struct PixmanScene {
    std::vector<uint32_t> dst_bits, bg_bits;
    std::vector<std::vector<uint32_t>> sprite_bits;
    pixman_image_t *dst = nullptr, *bg = nullptr, *white = nullptr;
    std::vector<pixman_image_t*> pictures;
    pixman_glyph_cache_t* cache = nullptr;
    std::vector<pixman_glyph_t> glyphs;
    std::vector<Motion> move = motions();
    std::vector<pixman_box32_t> old_boxes;
    FT_Library ft = nullptr;
    FT_Face face = nullptr;

    PixmanScene() {
        dst_bits.assign(size_t(kW) * kH, 0);
        bg_bits.resize(size_t(kW) * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                bg_bits[size_t(y) * kW + size_t(x)] = 0xFF000000u | uint32_t(uint8_t(x ^ y)) << 16 |
                                                      uint32_t(uint8_t(y)) << 8 | uint8_t(x);
        dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, dst_bits.data(), kW * 4);
        bg = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, bg_bits.data(), kW * 4);
        for (int k = 0; k < 4; ++k) {
            std::vector<uint32_t> px(size_t(kSize) * kSize);
            for (int y = 0; y < kSize; ++y)
                for (int x = 0; x < kSize; ++x) {
                    uint32_t v = sprite_pixel(k, x, y), a = v >> 24;
                    auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
                    px[size_t(y) * kSize + size_t(x)] =
                        a << 24 | pm(v >> 16 & 255) << 16 | pm(v >> 8 & 255) << 8 | pm(v & 255);
                }
            sprite_bits.push_back(std::move(px));
            pictures.push_back(pixman_image_create_bits(PIXMAN_a8r8g8b8, kSize, kSize,
                                                        sprite_bits.back().data(), kSize * 4));
        }
        pixman_color_t w{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        white = pixman_image_create_solid_fill(&w);
        fill_glyph_cache();
        for (const Motion& m : move) old_boxes.push_back(box_of(m));
        pixman_image_composite32(PIXMAN_OP_SRC, bg, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    }
    ~PixmanScene() {
        for (auto* p : pictures) pixman_image_unref(p);
        pixman_image_unref(dst);
        pixman_image_unref(bg);
        pixman_image_unref(white);
        if (cache) pixman_glyph_cache_destroy(cache);
        if (face) FT_Done_Face(face);
        if (ft) FT_Done_FreeType(ft);
    }

    static pixman_box32_t box_of(const Motion& m) {
        int32_t x = int32_t(m.x), y = int32_t(m.y);
        return {x, y, x + kSize, y + kSize};
    }

    // The same glyphs FreeType renders for the engine's font, at the same size.
    void fill_glyph_cache() {
        cache = pixman_glyph_cache_create();
        platform::FontFile file = platform::find_font_file("", false);
        if (FT_Init_FreeType(&ft) || file.path.empty() ||
            FT_New_Face(ft, file.path.c_str(), file.index, &face))
            return;
        FT_Set_Pixel_Sizes(face, 0, kTextSize);
        pixman_glyph_cache_freeze(cache);
        int pen = 200;
        const int baseline = 900 + kTextSize * 4 / 5;
        for (uint32_t cp : platform::decode_utf8(cp932_to_utf8(text_line_sjis()))) {
            if (FT_Load_Char(face, cp, FT_LOAD_RENDER)) continue;
            FT_GlyphSlot g = face->glyph;
            void* key = reinterpret_cast<void*>(uintptr_t(cp));
            if (!pixman_glyph_cache_lookup(cache, face, key) && g->bitmap.width > 0) {
                pixman_image_t* img = pixman_image_create_bits(PIXMAN_a8, int(g->bitmap.width),
                                                               int(g->bitmap.rows), nullptr, 0);
                uint8_t* out = reinterpret_cast<uint8_t*>(pixman_image_get_data(img));
                int stride = pixman_image_get_stride(img);
                for (unsigned y = 0; y < g->bitmap.rows; ++y)
                    std::memcpy(out + y * unsigned(stride),
                                g->bitmap.buffer + y * unsigned(g->bitmap.pitch), g->bitmap.width);
                pixman_glyph_cache_insert(cache, face, key, -g->bitmap_left, g->bitmap_top, img);
                pixman_image_unref(img);
            }
            if (const void* glyph = pixman_glyph_cache_lookup(cache, face, key))
                glyphs.push_back({pen, baseline, glyph});
            pen += int(g->advance.x >> 6);
        }
        pixman_glyph_cache_thaw(cache);
    }

    void frame(int moving) {
        std::vector<pixman_box32_t> changed;
        changed.reserve(2 * size_t(moving) + 1);
        for (int i = 0; i < moving; ++i) {
            step(move[size_t(i)]);
            changed.push_back(old_boxes[size_t(i)]);
            old_boxes[size_t(i)] = box_of(move[size_t(i)]);
            changed.push_back(old_boxes[size_t(i)]);
        }
        changed.push_back({200, 900, 200 + kTextW, 900 + kTextH});
        pixman_region32_t region;
        pixman_region32_init_rects(&region, changed.data(), int(changed.size()));
        pixman_region32_t page;
        pixman_region32_init_rect(&page, 0, 0, kW, kH);
        pixman_region32_intersect(&region, &region, &page);
        pixman_region32_fini(&page);
        int n = 0;
        pixman_box32_t* boxes = pixman_region32_rectangles(&region, &n);
        for (int i = 0; i < n; ++i)
            pixman_image_composite32(PIXMAN_OP_SRC, bg, nullptr, dst, boxes[i].x1, boxes[i].y1, 0,
                                     0, boxes[i].x1, boxes[i].y1, boxes[i].x2 - boxes[i].x1,
                                     boxes[i].y2 - boxes[i].y1);
        pixman_image_set_clip_region32(dst, &region);
        for (int i = 0; i < kSprites; ++i) {
            const pixman_box32_t& b = old_boxes[size_t(i)];
            pixman_box32_t box = b;
            if (pixman_region32_contains_rectangle(&region, &box) == PIXMAN_REGION_OUT) continue;
            pixman_image_composite32(PIXMAN_OP_OVER, pictures[size_t(i % 4)], nullptr, dst, 0, 0, 0,
                                     0, b.x1, b.y1, kSize, kSize);
        }
        if (!glyphs.empty())
            pixman_composite_glyphs(PIXMAN_OP_OVER, white, dst, PIXMAN_a8, 0, 0, 0, 0, 0, 0, kW, kH,
                                    cache, int(glyphs.size()), glyphs.data());
        pixman_image_set_clip_region32(dst, nullptr);
        pixman_region32_fini(&region);
    }
};

// The machine is shared: time spent on this thread's own work, not the wall clock.
double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <class Scene>
void run(benchmark::State& state, const char* name, int moving) {
    Scene scene;
    for (int i = 0; i < 10; ++i) scene.frame(moving);  // warm up
    int64_t frames = 0;
    const double start = thread_cpu_ms();
    for (auto _ : state) {
        scene.frame(moving);
        ++frames;
    }
    g_ms[name] = (thread_cpu_ms() - start) / double(std::max<int64_t>(frames, 1));
    state.counters["ms/frame"] = g_ms[name];
}

void BM_EngineSceneA(benchmark::State& s) {
    run<EngineScene>(s, "engine A", kSprites);
}
void BM_PixmanSceneA(benchmark::State& s) {
    run<PixmanScene>(s, "pixman A", kSprites);
}
void BM_EngineSceneB(benchmark::State& s) {
    run<EngineScene>(s, "engine B", 10);
}
void BM_PixmanSceneB(benchmark::State& s) {
    run<PixmanScene>(s, "pixman B", 10);
}
BENCHMARK(BM_EngineSceneA)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PixmanSceneA)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EngineSceneB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PixmanSceneB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nCPU time per frame on one core (ratio: pixman / engine)\n");
    std::printf("%-8s %12s %12s %8s %14s\n", "scene", "engine ms", "pixman ms", "ratio",
                "share of 16.7");
    for (const char* scene : {"A", "B"}) {
        auto e = g_ms.find(std::string("engine ") + scene);
        auto p = g_ms.find(std::string("pixman ") + scene);
        if (e == g_ms.end() || p == g_ms.end()) continue;
        std::printf("%-8s %12.3f %12.3f %8.2f %13.1f%%\n", scene, e->second, p->second,
                    p->second / e->second, 100.0 * e->second / kFrameMs);
    }
    return 0;
}
