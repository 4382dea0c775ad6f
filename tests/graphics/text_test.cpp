// Text in planes: the smoothing (without fonts), text boxes, font records,
// and the text built-ins through real calls.
#include "graphics/text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <set>

#include "graphics/blend_tables.h"
#include "graphics/colour.h"
#include "graphics_test_support.h"
#include "platform/cp932.h"

using namespace tob;
using namespace tob::gfx;
using tob::test::GraphicsFixture;

namespace {

// A scratch of `blocks` 8 x 8 blocks side by side, block i holding `bits[i]`
// in each of its eight rows.
struct Scratch {
    std::vector<uint8_t> rows;
    int64_t pitch;
    explicit Scratch(std::vector<uint8_t> bits) : pitch(int64_t(bits.size())) {
        for (int r = 0; r < 8; ++r) rows.insert(rows.end(), bits.begin(), bits.end());
    }
};

std::array<int64_t, 4> sides(const Box& b) {
    return {b.left, b.top, b.right, b.bottom};
}

uint8_t t0(uint32_t s, uint32_t d) {
    return blend_tables().at(kTableMultiply, s, d);
}

}  // namespace

TEST(TextSmoothing, CoverageTablesAndFullBlocks) {
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(coverage_a(uint8_t(b)), 4 * std::popcount(unsigned(b)));
        EXPECT_EQ(coverage_b(uint8_t(b)), b == 255 ? 31 : coverage_a(uint8_t(b)));
    }
    Scratch full({0xFF}), half({0xF0}), empty({0});
    EXPECT_EQ(block_coverage(full.rows.data(), full.pitch, 0), 255);
    EXPECT_EQ(block_coverage(half.rows.data(), half.pitch, 0), 128);
    EXPECT_EQ(block_coverage(empty.rows.data(), empty.pitch, 0), 0);
}

// The fast reduction agrees with the tables block for block, on random bits
// with runs of full and empty bytes, at every offset and length.
TEST(TextSmoothing, RowCoverageMatchesTheTables) {
    std::mt19937 rng(7);
    constexpr int64_t kPitch = 40;
    std::vector<uint8_t> rows(8 * kPitch);
    for (int round = 0; round < 200; ++round) {
        for (uint8_t& b : rows) {
            uint32_t v = rng();
            b = v % 4 == 0 ? 0xFF : v % 4 == 1 ? 0 : uint8_t(v >> 8);
        }
        int64_t first = rng() % 20, count = rng() % (kPitch - first);
        std::vector<uint8_t> fast(size_t(count) + 1, 0xEE);
        bool any = row_coverage(rows.data(), kPitch, first, count, fast.data());
        bool any_ref = false;
        for (int64_t i = 0; i < count; ++i) {
            uint8_t ref = block_coverage(rows.data(), kPitch, first + i);
            ASSERT_EQ(fast[size_t(i)], ref) << round << " " << i;
            any_ref |= ref != 0;
        }
        EXPECT_EQ(any, any_ref);
        EXPECT_EQ(fast[size_t(count)], 0xEE);  // nothing past the end
    }
}

// Per depth: a full block, a half block, an empty block over a known pixel.
TEST_F(GraphicsFixture, SmoothCoverageIsWrittenByDepth) {
    const uint32_t colour = 0xC08040, under = 0x306090;
    Scratch s({0xFF, 0xF0, 0x00});
    const uint32_t c = 128;
    struct Case {
        uint32_t depth;
        bool alpha;
        uint32_t full, half;  // expected raw pixels (0x00RRGGBB at 24/32)
    } cases[] = {
        {32, false, colour,
         uint32_t(t0(255 - c, 0x30) + t0(c, 0xC0)) << 16 |
             uint32_t(t0(255 - c, 0x60) + t0(c, 0x80)) << 8 |
             uint32_t(t0(255 - c, 0x90) + t0(c, 0x40))},
        {32, true, 0xFF000000u | colour, c << 24 | colour},
        {24, true, 255u << 16 | (0x18 << 10 | 0x10 << 5 | 0x08),
         c << 16 | (0x18 << 10 | 0x10 << 5 | 0x08)},
        {8, false, 255, 128},
    };
    for (const Case& k : cases) {
        auto p = Plane::create(mem, 4, 1, k.depth);
        for (int x = 0; x < 4; ++x) {
            uint8_t* px = p->row(0) + x * (k.depth / 8);
            if (k.depth == 8)
                *px = 7;
            else
                px[0] = 0x90, px[1] = 0x60, px[2] = 0x30;
            if (k.depth == 32) px[3] = 0x55;
        }
        write_coverage(*p, Box{1, 0, 4, 1}, 1, 0, s.rows.data(), s.pitch, colour, k.alpha);
        auto raw = [&](int x) {
            const uint8_t* px = p->row(0) + x * (k.depth / 8);
            uint32_t v = 0;
            std::memcpy(&v, px, k.depth / 8);
            return v;
        };
        uint32_t untouched = k.depth == 8 ? 7 : k.depth == 32 ? 0x55306090 : under;
        EXPECT_EQ(raw(0), untouched) << k.depth;  // outside the area
        uint32_t full = k.full, half = k.half;
        if (k.depth == 32 && !k.alpha) full |= 0x55000000, half |= 0x55000000;  // alpha kept
        EXPECT_EQ(raw(1), full) << k.depth << " alpha " << k.alpha;
        EXPECT_EQ(raw(2), half) << k.depth << " alpha " << k.alpha;
        EXPECT_EQ(raw(3), untouched) << k.depth;  // coverage 0 is left alone
    }
    // 16 bits: each 5-bit field mixed through the table.
    auto p = Plane::create(mem, 3, 1, 16);
    const uint32_t d555 = 0x30 >> 3 << 10 | 0x60 >> 3 << 5 | 0x90 >> 3;
    for (int x = 0; x < 3; ++x)
        p->row(0)[2 * x] = uint8_t(d555), p->row(0)[2 * x + 1] = uint8_t(d555 >> 8);
    write_coverage(*p, Box{0, 0, 3, 1}, 0, 0, s.rows.data(), s.pitch, colour, false);
    auto at = [&](int x) { return uint32_t(p->row(0)[2 * x] | p->row(0)[2 * x + 1] << 8); };
    const uint32_t c555 = 0x18 << 10 | 0x10 << 5 | 0x08;
    EXPECT_EQ(at(0), c555);
    uint32_t mixed = uint32_t(t0(127, 6) + t0(128, 0x18)) << 10 |
                     uint32_t(t0(127, 12) + t0(128, 0x10)) << 5 |
                     uint32_t(t0(127, 18) + t0(128, 0x08));
    EXPECT_EQ(at(1), mixed);
    EXPECT_EQ(at(2), d555);
}

TEST(TextBox, AnglesAndItalic) {
    struct Case {
        int64_t cx, cy, angle;
        bool italic;
        Box box;
    } cases[] = {
        {100, 20, 0, false, {0, 0, 100, 20}},
        {100, 20, 0, true, {0, 0, 106, 20}},  // + 1 + 20 / 4
        {100, 20, 3600, false, {0, 0, 100, 20}},
        {100, 20, 900, false, {0, -100, 20, 0}},
        {100, 20, 1800, false, {-100, -20, 0, 0}},
        {100, 20, 2700, false, {-20, 0, 0, 100}},
        {100, 20, -900, false, {-20, 0, 0, 100}},
        // 45 degrees: corners (0,0), (70.7,-70.7), (14.1,14.1), (84.9,-56.6)
        {100, 20, 450, false, {0, -71, 85, 15}},
        // 315 degrees: corners (0,0), (70.7,70.7), (-14.1,14.1), (56.6,84.9)
        {100, 20, 3150, false, {-15, 0, 71, 85}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sides(text_box(c.cx, c.cy, c.angle, c.italic)), sides(c.box)) << c.angle;
}

TEST(FontRecords, DefaultsAndTheLogfontMadeFromThem) {
    FontRecordBytes def = default_font_record();
    FontRecord r = decode_font_record(def);
    EXPECT_EQ(std::string(r.face), utf8_to_cp932("ＭＳ ゴシック"));
    EXPECT_EQ(r.size, 16);
    EXPECT_EQ(r.angle, 0);
    EXPECT_EQ(r.style, 0u);

    std::memset(r.face, 'F', sizeof r.face);  // no zero at all
    r.size = 20, r.angle = 450,
    r.style = kStyleBold | kStyleItalic | kStyleUnderline | kStyleSmooth;
    auto lf = logfont_for(r);
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->lfHeight, 160);
    EXPECT_EQ(lf->lfWidth, 0);
    EXPECT_EQ(lf->lfEscapement, 450);
    EXPECT_EQ(lf->lfOrientation, 450);
    EXPECT_EQ(lf->lfWeight, 700);
    EXPECT_EQ(lf->lfItalic, 1);
    EXPECT_EQ(lf->lfUnderline, 1);
    EXPECT_EQ(lf->lfStrikeOut, 0);
    EXPECT_EQ(lf->lfCharSet, 128);
    EXPECT_EQ(lf->lfQuality, 3);
    EXPECT_EQ(lf->lfPitchAndFamily, 1);
    EXPECT_EQ(std::string(lf->lfFaceName), std::string(31, 'F'));
    r.style = 0;
    EXPECT_EQ(logfont_for(r)->lfWeight, 0);
    r.size = INT32_MAX / 4, r.style = kStyleSmooth;
    EXPECT_FALSE(logfont_for(r));
}

class TextBuiltins : public GraphicsFixture {
  protected:
    TextBuiltins() {
        table.bind_all(text_builtins());
        init_text();
    }
    ~TextBuiltins() override { shutdown_text(); }

    ScriptAddr record(int32_t size, int32_t angle, uint32_t style) {
        FontRecordBytes b = default_font_record();
        std::memcpy(b.data() + 32, &size, 4);
        std::memcpy(b.data() + 36, &angle, 4);
        std::memcpy(b.data() + 40, &style, 4);
        return put(b.data(), b.size());
    }
    void use_font(uint32_t slot, int32_t size, int32_t angle = 0, uint32_t style = 0) {
        ASSERT_EQ(call("font_set", {slot, record(size, angle, style)}), 1u);
        ASSERT_EQ(call("font_use", {slot}), 1u);
    }
    uint32_t gtext(uint32_t plane, int32_t x, int32_t y, uint32_t attr, const std::string& utf8) {
        return call("gtext",
                    {plane, uint32_t(x), uint32_t(y), attr, put_string(utf8_to_cp932(utf8))});
    }
    std::set<uint8_t> bytes_of(Plane& p) {
        std::set<uint8_t> s(p.bits(), p.bits() + p.bytes());
        return s;
    }
};

TEST_F(TextBuiltins, RecordsAreCopiedInAndOut) {
    ScriptAddr in = record(40, 900, 5), out = mem.allocate(44);
    EXPECT_EQ(call("font_set", {3, in}), 1u);
    EXPECT_EQ(call("font_get", {3, out}), 1u);
    EXPECT_EQ(std::memcmp(mem.host(in, 44), mem.host(out, 44), 44), 0);
    EXPECT_EQ(call("font_set", {32, in}), 0u);
    EXPECT_EQ(call("font_get", {3, 0}), 0u);
    EXPECT_EQ(call("font_set", {3, (256u << 20) - 20}), 0u);  // runs off script memory
}

TEST_F(TextBuiltins, ResultsOfTheFailureCases) {
    ASSERT_EQ(call("galloc", {1, 200, 60, 32}), 1u);
    ASSERT_EQ(call("galloc", {2, 64, 32, 4}), 1u);
    EXPECT_EQ(gtext(9, 0, 0, 255, "x"), 0u);            // no plane
    EXPECT_EQ(call("gtext", {1, 0, 0, 255, 0}), 0u);    // null text
    EXPECT_EQ(gtext(1, 0, 0, 255, ""), 1u);             // empty text
    EXPECT_EQ(gtext(1, 5000, 0, 255, "far away"), 1u);  // plain, clipped away
    use_font(1, 16, 0, kStyleSmooth);
    EXPECT_EQ(gtext(1, 5000, 0, 255, "far away"), 0u);  // smooth, clipped away
    EXPECT_EQ(gtext(2, 0, 0, 255, "four bits"), 1u);    // smooth on 4 bits: nothing
    EXPECT_EQ(bytes_of(*plane(2)), std::set<uint8_t>{0});
    use_font(2, 2000, 0, kStyleSmooth);  // 16000 pixels: no font
    EXPECT_EQ(gtext(1, 0, 0, 255, "x"), 0u);
    use_font(3, 1000, 0, kStyleSmooth);  // the scratch would pass 64 MiB
    EXPECT_EQ(gtext(1, 0, 0, 255 | kAttrOpaque, "漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字"), 1u);
    EXPECT_EQ(bytes_of(*plane(1)), std::set<uint8_t>{0});
    EXPECT_EQ(call("font_use", {40}), 1u);  // an invalid slot
    EXPECT_EQ(gtext(1, 0, 0, 255, "x"), 0u);
}

TEST_F(TextBuiltins, PlainTextOnEightBitsWritesTheTwoIndexesOverItsBox) {
    ASSERT_EQ(call("galloc", {1, 160, 40, 8}), 1u);
    Plane& p = *plane(1);
    std::memset(p.bits(), 9, p.bytes());
    std::vector<uint8_t> table(p.colours(), p.colours() + p.colour_count() * 4);
    use_font(0, 20);
    EXPECT_EQ(gtext(1, 10, 5, 200 | 33 << 8 | kAttrOpaque, "Aa漢字"), 1u);
    // The opaque box: a rectangle from (10, 5), 20 pixels high, of the two indexes.
    int left = 160, top = 40, right = 0, bottom = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 160; ++x)
            if (p.row(y)[x] != 9)
                left = std::min(left, x), right = std::max(right, x + 1), top = std::min(top, y),
                bottom = std::max(bottom, y + 1);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(top, 5);
    EXPECT_EQ(bottom, 25);
    EXPECT_GT(right, 50);
    std::set<uint8_t> inside;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) inside.insert(p.row(y)[x]);
    EXPECT_EQ(inside, (std::set<uint8_t>{33, 200}));
    EXPECT_EQ(std::vector<uint8_t>(p.colours(), p.colours() + p.colour_count() * 4), table);
}

TEST_F(TextBuiltins, SmoothTextOnEightBitsIsACoverageMask) {
    ASSERT_EQ(call("galloc", {1, 120, 40, 8}), 1u);
    use_font(0, 24, 0, kStyleSmooth);
    EXPECT_EQ(gtext(1, 2, 2, 255, "■"), 1u);
    std::set<uint8_t> values = bytes_of(*plane(1));
    EXPECT_TRUE(values.count(0));
    EXPECT_TRUE(values.count(255));  // the solid middle of the square
    EXPECT_EQ(plane(1)->row(0)[0], 0);
}

TEST_F(TextBuiltins, GtextfDrawsWhatGtextDrawsOfTheFormattedText) {
    ASSERT_EQ(call("galloc", {1, 200, 30, 32}), 1u);
    ASSERT_EQ(call("galloc", {2, 200, 30, 32}), 1u);
    use_font(0, 16, 0, kStyleSmooth);
    EXPECT_EQ(gtext(1, 0, 0, 255, "score 42 点"), 1u);
    ScriptAddr fmt = put_string(utf8_to_cp932("score %d 点"));
    EXPECT_EQ(call("gtextf", {2, 0, 0, 255, fmt, 42}), 1u);
    EXPECT_EQ(std::memcmp(plane(1)->bits(), plane(2)->bits(), plane(1)->bytes()), 0);
    EXPECT_GT(bytes_of(*plane(1)).size(), 2u);
    // A long result is cut to 1,023 bytes: drawing it is still fine.
    std::string wide(3000, 'x');
    EXPECT_EQ(call("gtextf", {2, 0, 0, 255, put_string("%s"), put_string(wide)}), 1u);
}

TEST_F(TextBuiltins, FontListChecksItsBuffer) {
    ScriptAddr buf = mem.allocate(32 * 4);
    uint32_t n = call("font_list", {buf, 4});
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mem.host(buf, 32))),
              utf8_to_cp932("ＭＳ ゴシック"));
    EXPECT_EQ(call("font_list", {buf, uint32_t(-1)}), 0u);
    EXPECT_EQ(call("font_list", {buf, 0x7FFFFFFF}), 0u);  // runs off script memory
    EXPECT_EQ(call("font_list", {0, 4}), 0u);
}
