// Pages, painting, the dirty list and the palettes.
#include "graphics/pages.h"

#include <gtest/gtest.h>

#include <random>

#include "../support/call_site.h"
#include "graphics/colour.h"
#include "graphics/graphics.h"
#include "graphics/plane.h"
#include "graphics/plane_table.h"
#include "graphics/raster.h"
#include "base/error_report.h"

using namespace tob;
using namespace tob::gfx;

namespace {

// A call site whose script memory also holds the plane table.
struct PageTest : ::testing::Test {
    test::CallSite site;
    std::vector<std::string> reports;
    ErrorSink previous;

    PageTest() {
        previous = set_error_sink({[this](const std::string& t) { reports.push_back(t); }, true});
        init_graphics_planes(site.mem);
        EXPECT_TRUE(start_pages(8, 4, 32));
        site.table.bind_all(page_builtins());
        site.table.bind_all(palette_builtins());
    }
    ~PageTest() override {
        shutdown_graphics_planes();
        std::lock_guard lock(page_state().mutex);
        page_state().hooks = {};
        set_error_sink(previous);
    }
    ScriptAddr rect(int32_t l, int32_t t, int32_t r, int32_t b) {
        ScriptAddr a = site.mem.allocate(16);
        write_rect(site.mem, a, {l, t, r, b});
        return a;
    }
};

// Plane 0 painted with columns 1..8 (0x00000x for column x), so shifts show.
void number_columns(Plane& p) {
    for (int32_t x = 0; x < p.width(); ++x)
        fill_rect(p, Rect{x, 0, x + 1, p.height()}, uint32_t(x + 1));
}

}  // namespace

TEST_F(PageTest, PaintingAppliesTheOriginAndBlackStrips) {
    number_columns(*plane(0));
    Frame f;
    PaintSettings s;
    s.screen_width = 8;
    s.screen_height = 4;
    s.origin_x = 3;
    paint(plane(0), s, {0, 0, 8, 4}, f);
    // The page moves 3 pixels left; the 3 right-most columns are black.
    EXPECT_EQ(f.pixels[0], 4u);
    EXPECT_EQ(f.pixels[4], 8u);
    EXPECT_EQ(f.pixels[5], 0u);
    EXPECT_EQ(f.pixels[7], 0u);

    s.origin_x = -2;
    s.origin_y = 1;
    paint(plane(0), s, {0, 0, 8, 4}, f);
    EXPECT_EQ(f.pixels[0 * 8 + 5], 4u);  // row 0 is still drawn: the strip is at the bottom
    EXPECT_EQ(f.pixels[1 * 8 + 0], 0u);  // left strip
    EXPECT_EQ(f.pixels[1 * 8 + 2], 1u);
    EXPECT_EQ(f.pixels[3 * 8 + 4], 0u);  // bottom strip

    // Stretched windows show the whole page and ignore the origin.
    s.stretched = true;
    paint(plane(0), s, {0, 0, 8, 4}, f);
    EXPECT_EQ(f.pixels[0], 1u);
    EXPECT_EQ(f.pixels[3 * 8 + 7], 8u);

    // Only the asked area changes; a missing page paints black.
    s.stretched = false;
    s.origin_x = s.origin_y = 0;
    paint(nullptr, s, {2, 1, 4, 2}, f);
    EXPECT_EQ(f.pixels[1 * 8 + 2], 0u);
    EXPECT_EQ(f.pixels[1 * 8 + 4], 5u);
}

TEST_F(PageTest, EightBitPagesShowThroughTheScreenTable) {
    auto p = Plane::create(site.mem, 2, 1, 8);
    p->row(0)[0] = 7;
    p->row(0)[1] = 200;
    palette_state().screen[7] = 0x123456;
    Frame f;
    PaintSettings s;
    s.screen_width = 2;
    s.screen_height = 1;
    paint(p.get(), s, {0, 0, 2, 1}, f);
    EXPECT_EQ(f.pixels[0], 0x123456u);
    EXPECT_EQ(f.pixels[1], palette_state().screen[200]);
}

TEST_F(PageTest, PageBuiltins) {
    EXPECT_EQ(site.call("vpage", {1024}), 0u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "SetViewPage : パラメータが範囲外です。");
    EXPECT_EQ(site.call("apage", {5000}), 0u);
    EXPECT_EQ(reports.back(), "SetActivePage : パラメータが範囲外です。");
    reports.clear();
    EXPECT_EQ(site.call("vpage", {3}), 0u);  // an empty slot: no message
    EXPECT_TRUE(reports.empty());
    plane_table().put(3, Plane::create(site.mem, 8, 4, 24));
    EXPECT_EQ(site.call("vpage", {3}), 1u);
    EXPECT_EQ(plane_table().view_page.load(), 3u);

    int updates = 0;
    std::optional<Box> last;
    {
        std::lock_guard lock(page_state().mutex);
        page_state().hooks.update = [&](std::optional<Box> a) {
            ++updates;
            last = a;
        };
    }
    EXPECT_EQ(site.call("update", {0}), 1u);
    EXPECT_FALSE(last.has_value());
    EXPECT_EQ(site.call("update", {rect(100, 100, 200, 200)}), 0u);  // outside the picture
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(site.call("update", {rect(-5, 1, 3, 9)}), 1u);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->left, 0);
    EXPECT_EQ(last->bottom, 4);
    EXPECT_EQ(site.call("setorg", {8, uint32_t(-2)}), 1u);
    EXPECT_EQ(page_state().origin_x.load(), 8);
    EXPECT_EQ(page_state().origin_y.load(), -2);
}

TEST_F(PageTest, DirtyListMergesWhenFullAndCopiesEachPixelOnce) {
    DirtyList d;
    for (uint32_t i = 0; i < kDirtyCapacity; ++i)
        ASSERT_TRUE(d.add({int32_t(i), 0, int32_t(i) + 1, 1}));
    EXPECT_FALSE(d.add({0, 5, 1, 9}));
    ASSERT_EQ(d.rects().size(), 1u);
    EXPECT_EQ(d.rects()[0], (Rect{0, 0, int32_t(kDirtyCapacity), 9}));

    // Random overlapping rectangles copy exactly the union, once, as a full
    // copy of those pixels would.
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        auto src = Plane::create(site.mem, 40, 30, 32);
        auto dst = Plane::create(site.mem, 40, 30, 32);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x)
                fill_rect(*src, Rect{x, y, x + 1, y + 1}, uint32_t(rng() & 0xFFFFFF));
        std::vector<std::vector<bool>> covered(30, std::vector<bool>(40, false));
        d.clear();
        for (int k = 0; k < 6; ++k) {
            int32_t l = int32_t(rng() % 40), t = int32_t(rng() % 30);
            Rect r{l, t, l + int32_t(rng() % 15), t + int32_t(rng() % 12)};
            d.add(r);
            for (int32_t y = r.top; y < std::min(r.bottom, 30); ++y)
                for (int32_t x = r.left; x < std::min(r.right, 40); ++x)
                    covered[size_t(y)][size_t(x)] = true;
        }
        d.copy(*dst, 0, 0, *src, std::nullopt);
        EXPECT_TRUE(d.rects().empty());
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x)
                ASSERT_EQ(read_pixel_rgb(*dst, x, y),
                          covered[size_t(y)][size_t(x)] ? read_pixel_rgb(*src, x, y) : 0u)
                    << x << "," << y;
    }
}

TEST_F(PageTest, HsvConversions) {
    EXPECT_EQ(rgb_to_hsv(0xFF0000), (0u << 16) | (255u << 8) | 255u);
    EXPECT_EQ(rgb_to_hsv(0x00FF00) >> 16, 682u);
    EXPECT_EQ(rgb_to_hsv(0x0000FF) >> 16, 1365u);
    EXPECT_EQ(rgb_to_hsv(0), 0u);
    for (uint32_t g = 0; g < 256; g += 17)
        EXPECT_EQ(hsv_to_rgb(rgb_to_hsv(g * 0x010101)), g * 0x010101);
    EXPECT_EQ(hsv_to_rgb(0x00000080), 0x808080u);  // no saturation: grey
    EXPECT_EQ(hsv_to_rgb(0x0000FF80), 0x800000u);
    EXPECT_EQ(hsv_to_rgb((2048u + 0) << 16 | 0xFFFF), hsv_to_rgb(0xFFFF));  // only 11 bits of H
    EXPECT_EQ(hsv_to_rgb(0 << 16 | 255 << 8 | 255), 0xFF0000u);
}

TEST_F(PageTest, ColourMapFloodFill) {
    uint32_t pal[256] = {};
    uint8_t map[kColourMapCells];
    build_colour_map(pal, map);
    for (uint32_t c = 0; c < kColourMapCells; ++c) ASSERT_EQ(map[c], 1) << c;

    // Every cell ends with an index no farther than the index brute force finds.
    std::mt19937 rng(3);
    for (int i = 1; i < 256; ++i) pal[i] = rng() & 0xFFFFFF;
    build_colour_map(pal, map);
    auto distance = [&](uint32_t cell, uint32_t colour) {
        int64_t dr = int64_t((cell >> 10) & 31) * 2 - (red_of(colour) >> 2);
        int64_t dg = int64_t((cell >> 5) & 31) * 2 - (green_of(colour) >> 2);
        int64_t db = int64_t(cell & 31) * 2 - (blue_of(colour) >> 2);
        return 900 * dr * dr + 3481 * dg * dg + 121 * db * db;
    };
    int exact = 0;
    for (uint32_t c = 0; c < kColourMapCells; c += 7) {
        ASSERT_GE(map[c], 1);
        int64_t best = INT64_MAX;
        for (int i = 1; i < 256; ++i) best = std::min(best, distance(c, pal[i]));
        exact += distance(c, pal[map[c]]) == best;
    }
    EXPECT_GT(exact,
              int(kColourMapCells / 7 * 9 / 10));  // the fill nearly always finds the nearest
}

TEST_F(PageTest, PaletteBuiltins) {
    EXPECT_EQ(site.call("pal_set", {5, 0x112233}), 1u);
    EXPECT_EQ(site.call("pal_set", {256, 1}), 0u);
    EXPECT_EQ(site.call("pal_get", {5}), 0x112233u);
    EXPECT_EQ(site.call("pal_get", {999}), 0u);
    // 250 + 10 entries: only 6 fit.
    ScriptAddr buf = site.mem.allocate(64);
    for (uint32_t i = 0; i < 10; ++i) site.mem.write32(buf + 4 * i, 0xA0 + i);
    EXPECT_EQ(site.call("pal_sets", {250, 10, buf}), 1u);
    EXPECT_EQ(site.call("pal_get", {255}), 0xA5u);
    EXPECT_EQ(site.call("pal_sets", {250, 0, buf}), 0u);
    EXPECT_EQ(site.call("pal_sets", {1, 1, 0x7FFFFFF0}), 0u);  // a wild pointer
    // The screen is untouched until pal_change.
    EXPECT_NE(palette_state().screen[5], 0x112233u);
    EXPECT_EQ(site.call("pal_change", {}), 1u);
    EXPECT_EQ(palette_state().screen[5], 0x112233u);
    // pal_load copies from an 8-bit plane's table and stops at entry 255.
    auto p = Plane::create(site.mem, 1, 1, 8);
    p->set_colour(3, 0x010203);
    plane_table().put(9, std::move(p));
    EXPECT_EQ(site.call("pal_load", {9, 254, 3, 10}), 2u);
    EXPECT_EQ(site.call("pal_get", {254}), 0x010203u);
    EXPECT_EQ(site.call("pal_load", {9, 0, 300, 1}), 0u);
    EXPECT_EQ(site.call("pal_load", {0, 0, 0, 1}), 0u);  // a 32-bit plane
    EXPECT_EQ(site.call("pal_map", {0}), 0u);
}
