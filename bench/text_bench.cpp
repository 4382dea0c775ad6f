// Text benchmark: one line of 40 characters (kanji, kana, ASCII) at size 24
// onto a 32-bit plane, smooth and plain gtext, side by side with FreeType's own
// rendering of the same line (FT_Load_Char + FT_Render_Glyph in normal mode,
// blended into the same buffer by a plain loop, nothing cached). The warm
// runs reuse the fonts' glyph caches; the cold runs make the font anew each
// time. Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "graphics/text.h"
#include "platform/cp932.h"
#include "platform/text_raster.h"
#include "ratio_reporter.h"

namespace {

using namespace tob;
using namespace tob::gfx;

constexpr int kWidth = 1024, kHeight = 64, kSize = 24;
constexpr uint32_t kPlane = 1;
const char* const kLine = "Morvane 日本語のテキストを描く速さ ABC 12345 かなカナ漢字。!";

struct Setup {
    ScriptMemory mem{64u << 20};
    std::string line = utf8_to_cp932(kLine);
    Setup() {
        init_graphics_planes(mem);
        plane_table().put(kPlane, Plane::create(mem, kWidth, kHeight, 32));
        init_text();
    }
    void use(uint32_t style) {
        FontRecordBytes b = default_font_record();
        int32_t size = kSize;
        std::memcpy(b.data() + offsetof(FontRecord, size), &size, 4);
        std::memcpy(b.data() + offsetof(FontRecord, style), &style, 4);
        text_state().record(0) = b;
        text_state().use(0, 0);
    }
};
Setup& setup() {
    static Setup s;
    return s;
}

void run_gtext(benchmark::State& state, uint32_t style, bool cold) {
    Setup& s = setup();
    s.use(style);
    draw_text(kPlane, 0, 0, 255, s.line, 0);  // the cache is warm from here
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            text_state().release_fonts();  // the next call makes the font anew
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(draw_text(kPlane, 0, 0, 255, s.line, 0));
    }
    state.SetItemsProcessed(state.iterations());
}

void bm_smooth_gtext(benchmark::State& s) {
    run_gtext(s, kStyleSmooth, false);
}
void bm_plain_gtext(benchmark::State& s) {
    run_gtext(s, 0, false);
}
void bm_smooth_gtext_cold(benchmark::State& s) {
    run_gtext(s, kStyleSmooth, true);
}
void bm_plain_gtext_cold(benchmark::State& s) {
    run_gtext(s, 0, true);
}

// FreeType alone: each glyph loaded and rendered in normal (grey) mode and
// blended into the plane's pixels.
void bm_freetype_reference(benchmark::State& state) {
    Setup& s = setup();
    platform::FontFile file = platform::find_font_file("ＭＳ ゴシック", false);
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib) || FT_New_Face(lib, file.path.c_str(), file.index, &face)) {
        state.SkipWithError("no font");
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, kSize);
    std::u16string text = cp932_to_utf16(s.line);
    Plane& p = *plane_table().get(kPlane);
    const uint32_t colour = 0xFFFFFF;
    for (auto _ : state) {
        int pen = 0, baseline = kSize * 7 / 8;
        for (char16_t c : text) {
            if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) ||
                FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL))
                continue;
            const FT_Bitmap& b = face->glyph->bitmap;
            for (int r = 0; r < int(b.rows); ++r) {
                int y = baseline - face->glyph->bitmap_top + r;
                if (y < 0 || y >= kHeight) continue;
                uint8_t* row = p.row(y);
                for (int col = 0; col < int(b.width); ++col) {
                    int x = pen + face->glyph->bitmap_left + col;
                    uint32_t a = b.buffer[r * b.pitch + col];
                    if (x < 0 || x >= kWidth || !a) continue;
                    uint8_t* px = row + 4 * x;
                    for (int k = 0; k < 3; ++k) {
                        uint32_t src = (colour >> (8 * k)) & 255;
                        px[k] = uint8_t((src * a + px[k] * (255 - a)) / 255);
                    }
                }
            }
            pen += int(face->glyph->advance.x >> 6);
        }
        benchmark::DoNotOptimize(p.bits());
    }
    state.SetItemsProcessed(state.iterations());
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
}

BENCHMARK(bm_freetype_reference);
BENCHMARK(bm_smooth_gtext);
BENCHMARK(bm_plain_gtext);
BENCHMARK(bm_smooth_gtext_cold)->Iterations(30);
BENCHMARK(bm_plain_gtext_cold)->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tob::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto line_us = [&](const std::string& name) {
        for (const auto& [k, v] : reporter.rate)
            if (k.rfind(name, 0) == 0 && v > 0) return 1e6 / v;
        return 0.0;
    };
    double ref = line_us("bm_freetype_reference");
    std::printf("\n%-22s %10s %14s\n", "one line of 40", "us/line", "vs FreeType");
    for (const char* name : {"bm_freetype_reference", "bm_smooth_gtext", "bm_plain_gtext",
                             "bm_smooth_gtext_cold", "bm_plain_gtext_cold"}) {
        double us = line_us(name);
        std::printf("%-22s %10.1f %13.2fx\n", name + 3, us, us > 0 ? ref / us : 0.0);
    }
    std::printf("(x > 1: faster than FreeType's own uncached rendering)\n");
    return 0;
}
