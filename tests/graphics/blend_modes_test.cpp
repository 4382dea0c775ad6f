#include <gtest/gtest.h>

#include <random>

#include "graphics/blend_mode.h"
#include "graphics/colour.h"
#include "graphics_test_support.h"
#include "platform/byte_order.h"

using namespace tob;
using namespace tob::gfx;

namespace {

class BlendModes : public tob::test::GraphicsFixture {
  protected:
    ScriptAddr record(uint8_t mode, uint8_t level = 0, uint8_t level2 = 0, uint32_t c1 = 0,
                      uint32_t c2 = 0, uint8_t channels = 0) {
        uint8_t b[12] = {mode, channels, level, level2};
        store_le32(b + 4, c1);
        store_le32(b + 8, c2);
        return put(b, sizeof b);
    }
    // One pixel S copied onto one pixel D, both planes of the given depths;
    // returns the destination's raw pixel.
    uint32_t one(uint32_t src_depth, uint32_t dst_depth, uint32_t s, uint32_t d, ScriptAddr rec) {
        call("galloc", {1, 1, 1, src_depth});
        call("galloc", {2, 1, 1, dst_depth});
        std::memcpy(plane(1)->bits(), &s, src_depth / 8);
        std::memcpy(plane(2)->bits(), &d, dst_depth / 8);
        EXPECT_EQ(call("gcopy", {2, 0, 0, 1, 0, rec}), 1u);
        uint32_t out = 0;
        std::memcpy(&out, plane(2)->bits(), dst_depth / 8);
        return out;
    }
};

}  // namespace

// What each mode does to one 32-bit pixel, worked out by hand from each mode's
// formula (blend_ops.h), independently of the kernels.
TEST_F(BlendModes, EachModeOnOnePixel) {
    struct Case {
        const char* what;
        uint8_t mode, level, level2;
        uint32_t c1, c2, s, d, expect;
        uint8_t channels = 0;
    } cases[] = {
        {"copy", 0, 0, 0, 0, 0, 0x12345678, 0xFFFFFFFF, 0x12345678},
        {"key copy, key matches", 1, 0, 0, 0xFF00FF, 0, 0x12FF00FF, 0x99999999, 0x99999999},
        {"key copy keeps alpha", 1, 0, 0, 0xFF00FF, 0, 0x12FF00FE, 0x99999999, 0x99FF00FE},
        {"destination key", 2, 0, 0, 0x999999, 0, 0x12345678, 0x00999999, 0x00345678},
        {"destination key, no match", 2, 0, 0, 0x999998, 0, 0x12345678, 0x00999999, 0x00999999},
        {"blend half", 3, 127, 0, 0, 0, 0xFFFFFFFF, 0x00000000, 0x7F7F7F7F},
        {"blend level 0", 3, 0, 0, 0, 0, 0xFFFFFFFF, 0x01020304, 0x01020304},
        {"key blend skips key", 4, 127, 0, 0x000000, 0, 0x55000000, 0x01020304, 0x01020304},
        {"tint toward colour2", 5, 255, 0, 0, 0x00FF0000, 0x11000000, 0x22000000, 0x22FF0000},
        {"alpha over opaque", 7, 255, 0, 0, 0, 0x80FF0000, 0xFF000000, 0xFF7F0000},
        {"alpha over clear", 7, 255, 0, 0, 0, 0x80FF0000, 0x00000000, 0x80FF0000},
        {"alpha 255 copies", 7, 255, 0, 0, 0, 0xFF123456, 0x00000000, 0xFF123456},
        {"alpha 0 keeps", 7, 255, 0, 0, 0, 0x00123456, 0x80654321, 0x80654321},
        {"behind a clear pixel", 8, 255, 0, 0, 0, 0x12345678, 0x00000000, 0x00345678},
        {"behind an opaque pixel", 8, 255, 0, 0, 0, 0x12345678, 0xFF000000, 0xFF000000},
        {"combined alpha, opaque source", 9, 0, 0, 0, 0, 0xFF345678, 0xFF000000, 0xFF345678},
        {"threshold inside", 11, 100, 50, 0, 0, 0x78345678, 0x01020304, 0x01345678},
        {"threshold below", 11, 100, 50, 0, 0, 0x63345678, 0x01020304, 0x01020304},
        {"threshold above", 11, 100, 50, 0, 0, 0x97345678, 0x01020304, 0x01020304},
        {"soft threshold full", 12, 100, 50, 0, 0, 0x63FFFFFF, 0x01000000, 0x01FFFFFF},
        {"soft threshold half", 12, 100, 50, 0, 0, 0x7DFFFFFF, 0x01000000, 0x01808080},
        {"add", 13, 255, 0, 0, 0, 0x20202020, 0x10F00080, 0x30FF20A0},
        {"subtract", 14, 255, 0, 0, 0, 0x20202020, 0x10F00080, 0x00D00060},
        {"multiply", 15, 255, 0, 0, 0, 0xFF80FF00, 0xFF80FF80, 0xFF40FF00},
        {"lighten", 20, 255, 0, 0, 0, 0x00FF0055, 0x11223344, 0x11FF3355},
        {"darken", 21, 255, 0, 0, 0, 0x00FF0055, 0x11223344, 0x00220044},
        {"red channel only", 22, 0, 0, 0, 0, 0xAABBCCDD, 0x11223344, 0x11BB3344, 4},
        {"no channel", 22, 0, 0, 0, 0, 0xAABBCCDD, 0x11223344, 0x11223344, 0},
        {"alpha transfer", 23, 0, 0, 0, 0, 0x7F000000, 0x11223344, 0x7F223344},
        {"overlay at full strength", 26, 255, 0, 0, 0, 0x00FFFFFF, 0x00108040, 0x0020FF80},
        {"burn, alpha weighted, opaque", 35, 255, 0, 0, 0, 0xFF000000, 0x00FFFFFF, 0xFFFFFFFF},
        {"table alpha, clear source", 27, 255, 0, 0, 0, 0x00FFFFFF, 0x00102030, 0x00102030},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(one(32, 32, c.s, c.d, record(c.mode, c.level, c.level2, c.c1, c.c2, c.channels)),
                  c.expect)
            << c.what;
    }
}

TEST_F(BlendModes, DepthPairsAndPaletteIndexes) {
    // 24 -> 32 copies set alpha 255; 32 -> 24 drops it.
    EXPECT_EQ(one(24, 32, 0x123456, 0, record(0)), 0xFF123456u);
    EXPECT_EQ(one(32, 24, 0x80123456, 0, record(0)), 0x123456u);
    // 16-bit pixels widen their 5-bit fields when copied deeper.
    EXPECT_EQ(one(16, 32, 0x7FFF, 0, record(0)), 0xFFFFFFFFu);
    EXPECT_EQ(one(32, 16, 0xFF0808F8, 0, record(0)), 0x0421u | 0x1Fu);
    // An index key on an 8-bit destination compares indexes.
    EXPECT_EQ(one(8, 8, 7, 3, record(1, 0, 0, 0x01000007)), 3u);
    EXPECT_EQ(one(8, 8, 8, 3, record(1, 0, 0, 0x01000007)), 8u);
    // 8 -> 32 goes through the source's colour table.
    EXPECT_EQ(one(8, 32, 0xE3, 0, record(0)), 0xFFFF00FFu);
    // Deeper -> 8 bits goes through the colour map; 8 -> 8 with mapping on too.
    palette_state().map[cell_of(0x123456)] = 42;
    EXPECT_EQ(one(32, 8, 0x00123456, 0, record(0)), 42u);
    palette_state().map[cell_of(default_palette_entry(0xE3))] = 17;
    EXPECT_EQ(one(8, 8, 0xE3, 0, record(0)), 0xE3u);
    palette_state().mapping = 1;
    EXPECT_EQ(one(8, 8, 0xE3, 0, record(0)), 17u);
    palette_state().mapping = 0;
    // Coverage paint only from 8-bit sources.
    EXPECT_EQ(one(8, 32, 255, 0x00000000, record(24, 255, 0, 0, 0x00ABCDEF)), 0xFFABCDEFu);
    EXPECT_EQ(one(32, 32, 0xFFFFFFFF, 0x01020304, record(24, 255, 0, 0, 0x00ABCDEF)), 0x01020304u);
    // Alpha transfer into an 8-bit index.
    EXPECT_EQ(one(32, 8, 0x5A000000, 3, record(23)), 0x5Au);
}

TEST_F(BlendModes, RecordChecks) {
    call("galloc", {1, 4, 4, 32});
    call("galloc", {2, 4, 4, 32});
    call("galloc", {3, 4, 4, 4});
    EXPECT_EQ(call("gcopy", {2, 0, 0, 1, 0, record(36)}), 0u);
    EXPECT_EQ(call("gblit", {2, 0, 1, 0, record(255), 0}), 0u);
    EXPECT_EQ(call("gcopy", {2, 0, 0, 1, 0, 0xDEAD0000}), 0u);
    EXPECT_EQ(call("gcopy", {2, 0, 0, 3, 0, 0}), 0u);  // 4-bit source
    EXPECT_EQ(call("gcopy", {3, 0, 0, 1, 0, 0}), 0u);  // 4-bit destination
    EXPECT_EQ(call("gcopy", {2, 0, 0, 9, 0, 0}), 0u);  // no source
    // A mode drawing nothing at its level still counts as a copy that ran.
    EXPECT_EQ(call("gcopy", {2, 0, 0, 1, 0, record(3, 0)}), 1u);
}
