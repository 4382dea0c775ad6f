// Painting the view page into the window's picture: the vector row kernels
// against the plain loops, and whole paints (every depth, odd sizes, origins,
// strips, stretching, rectangles at every edge) against a pixel-by-pixel
// reference, written into a larger picture whose other pixels must stay.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "graphics/colour.h"
#include "graphics/graphics.h"
#include "graphics/pages.h"
#include "graphics/plane.h"
#include "graphics/screen_rows.h"
#include "vm/script_memory.h"

using namespace tob;
using namespace tob::gfx;

namespace {

TEST(ScreenRows, VectorKernelsGiveThePlainPixels) {
    std::mt19937 rng(7);
    std::vector<uint8_t> src(4 * 80 + 8);
    for (uint8_t& b : src) b = uint8_t(rng());
    struct Kernel {
        const char* name;
        ScreenRowFn fn, plain;
        size_t bytes;
    };
    std::vector<Kernel> kernels = {{"32 sse2", screen_row_32_sse2, screen_row_32_plain, 4}};
    if (ScreenRowFn f = screen_row_32_avx2())
        kernels.push_back({"32 avx2", f, screen_row_32_plain, 4});
    if (ScreenRowFn f = screen_row_24_ssse3())
        kernels.push_back({"24 ssse3", f, screen_row_24_plain, 3});
    for (const Kernel& k : kernels) {
        for (size_t start = 0; start < 4; ++start) {
            for (size_t n = 0; n <= 70; ++n) {
                // The row ends exactly at the end of its buffer, so a kernel
                // reading past it would show under the sanitizer.
                std::vector<uint8_t> row(src.begin() + start, src.begin() + start + n * k.bytes);
                std::vector<uint32_t> want(n + 1, 0xDEADBEEF), got(n + 1, 0xDEADBEEF);
                k.plain(row.data(), want.data(), n);
                k.fn(row.data(), got.data(), n);
                ASSERT_EQ(got, want) << k.name << " start " << start << " n " << n;
            }
        }
    }
}

// What the screen shows at (x, y), pixel by pixel.
uint32_t reference(const Plane* view, const PaintSettings& s, int64_t x, int64_t y) {
    int64_t sx = x, sy = y;
    if (!s.stretched) {
        if (s.origin_x > 0 && x >= s.screen_width - s.origin_x) return 0;
        if (s.origin_x < 0 && x < -int64_t(s.origin_x)) return 0;
        if (s.origin_y > 0 && y >= s.screen_height - s.origin_y) return 0;
        if (s.origin_y < 0 && y < -int64_t(s.origin_y)) return 0;
        sx += int64_t(s.origin_x) + s.offset_x;
        sy += int64_t(s.origin_y) + s.offset_y;
    }
    if (!view || sx < 0 || sy < 0 || sx >= view->width() || sy >= view->height()) return 0;
    uint32_t px = 0;
    convert_screen_row_plain(*view, sy, sx, sx + 1, &px);
    return px;
}

TEST(ScreenPaint, EveryDepthOriginAndRectangleMatchesThePixelReference) {
    ScriptMemory mem(64u << 20);
    std::mt19937 rng(11);
    for (uint32_t i = 0; i < 256; ++i) palette_state().screen[i] = rng() & 0xFFFFFF;
    constexpr uint32_t kSentinel = 0xA5A5A5A5;
    const int32_t sw = 29, sh = 11;  // an odd screen
    struct Origin {
        int32_t x, y, offset_y;
        bool stretched;
    };
    const Origin origins[] = {{0, 0, 0, false},    {3, 0, 0, false}, {-5, 2, 0, false},
                              {2, -3, 0, false},   {0, 0, 4, false}, {40, 0, 0, false},
                              {-7, -20, 0, false}, {6, -2, 0, true}};
    for (uint32_t depth : {1u, 4u, 8u, 16u, 24u, 32u}) {
        // Pages smaller, equal and larger than the screen, odd widths.
        for (auto [pw, ph] : {std::pair{29, 11}, std::pair{17, 7}, std::pair{41, 13}}) {
            auto page = Plane::create(mem, pw, ph, depth);
            ASSERT_TRUE(page);
            for (int32_t y = 0; y < ph; ++y)
                for (uint32_t b = 0; b < page->pitch(); ++b) page->row(y)[b] = uint8_t(rng());
            if (depth <= 8)
                for (uint32_t c = 0; c < page->colour_count(); ++c)
                    page->set_colour(c, rng() & 0xFFFFFF);
            for (const Origin& o : origins) {
                PaintSettings s;
                s.screen_width = sw;
                s.screen_height = sh;
                s.origin_x = o.x;
                s.origin_y = o.y;
                s.offset_y = o.offset_y;
                s.stretched = o.stretched;
                // Rectangles touching each edge, the whole screen, single
                // pixels, and some lying partly outside.
                const Box areas[] = {{0, 0, sw, sh},  {0, 0, 1, 1},   {sw - 1, sh - 1, sw, sh},
                                     {0, 3, 5, 8},    {24, 0, 29, 4}, {7, 9, 20, 11},
                                     {-4, -4, 3, 40}, {5, 2, 6, 3},   {13, 1, 28, 10}};
                for (const Box& area : areas) {
                    for (const Plane* view : {static_cast<const Plane*>(page.get()),
                                              static_cast<const Plane*>(nullptr)}) {
                        // A picture wider than the screen, as a texture's
                        // rows may be.
                        const ptrdiff_t pitch = sw + 3;
                        std::vector<uint32_t> picture(size_t(pitch) * sh, kSentinel);
                        Box a = screen_area(s, area);
                        if (!a.empty())
                            paint(view, s, a, picture.data() + a.top * pitch + a.left, pitch);
                        for (int64_t y = 0; y < sh; ++y) {
                            for (int64_t x = 0; x < pitch; ++x) {
                                bool inside =
                                    x >= a.left && x < a.right && y >= a.top && y < a.bottom;
                                uint32_t want = inside ? reference(view, s, x, y) : kSentinel;
                                ASSERT_EQ(picture[size_t(y * pitch + x)], want)
                                    << "depth " << depth << " page " << pw << "x" << ph
                                    << " origin " << o.x << "," << o.y << " stretched "
                                    << o.stretched << " area " << area.left << "," << area.top
                                    << "," << area.right << "," << area.bottom << " at " << x << ","
                                    << y << (view ? "" : " (no page)");
                            }
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
