// Keyframe tracks in all ten modes and the rectangle built-ins, with tracks and
// rectangles laid out in script memory as scripts lay them out.
#include <gtest/gtest.h>

#include "runtime/rect.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;
using tob::test::word;

namespace {

struct Keys : ::testing::Test {
    CallSite site;
    ScriptAddr track = 0;
    Keys() {
        site.table.bind_all(keyframe_builtins());
        site.table.bind_all(rect_builtins());
    }
    // Sets the keys through kf_setkey and computes the coefficients.
    void make(std::vector<std::pair<float, float>> keys) {
        track = site.mem.allocate(uint32_t(keys.size()) * 16 + 16);
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(site.call("kf_setkey", {track + uint32_t(i) * 16, word(keys[i].first),
                                              word(keys[i].second)}),
                      1u);
        EXPECT_EQ(site.call("kf_calc", {track, uint32_t(keys.size())}), 1u);
    }
    float key(int32_t count, float t, int32_t mode) {
        return site.call_real("kf_getkey", {track, uint32_t(count), word(t), uint32_t(mode)});
    }
};

}  // namespace

TEST_F(Keys, ModesBetweenKeys) {
    // Values on the parabola y = t^2 at t = 0, 1, 2, 4.
    make({{0, 0}, {1, 1}, {2, 4}, {4, 16}});
    // Segment [1, 2] at t = 1.25: y0 = 1, y1 = 4, u = 0.25.
    struct Case {
        int32_t mode;
        float expected;
    } cases[] = {
        {0, 1.0f},     // step
        {1, 1.75f},    // linear
        {2, 1.1875f},  // 1 + 3 u^2
        {3, 2.5f},     // 1 + 3 sqrt(u)
        {4, 1.5625f},  // the polynomial through all keys: t^2
        {5, 2.875f},   // neville(1, 4, 4, u): the parabola through them at 2u
        {6, 0.625f},   // neville(1, 1, 4, u)
        {7, 2.3125f},  // bezier(1, 4, 4, u)
        {8, 1.1875f},  // bezier(1, 1, 4, u)
        {10, 0.0f},    // unknown
        {-1, 0.0f},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(key(4, 1.25f, c.mode), c.expected) << c.mode;

    // Hermite with keys on both sides: m0 = (1 + 3) * 1 / 2 = 2, m1 = (12 + 3) * 1 / 3 = 5;
    // at u = 0.5: 2.5 + 0.125 * 2 - 0.125 * 5.
    EXPECT_FLOAT_EQ(key(4, 1.5f, 9), 2.125f);
    // The first segment has no key before it: m0 = d = 1, m1 = (3 + 1) * 1 / 2 = 2.
    EXPECT_FLOAT_EQ(key(4, 0.5f, 9), 0.375f);
}

TEST_F(Keys, EndsExactKeysAndFlatSegments) {
    make({{0, 5}, {1, 5}, {2, 7}, {3, 1}});
    for (int32_t mode = 0; mode <= 9; ++mode) {
        EXPECT_FLOAT_EQ(key(4, -1.0f, mode), 5.0f) << mode;  // before the first key
        EXPECT_FLOAT_EQ(key(4, 9.0f, mode), 1.0f) << mode;   // after the last
        EXPECT_FLOAT_EQ(key(4, 2.0f, mode), 7.0f) << mode;   // at a key: u = 0
        if (mode != 4) {
            EXPECT_FLOAT_EQ(key(4, 0.5f, mode), 5.0f) << mode;  // equal values: u = 0
        }
    }
    EXPECT_EQ(site.call("kf_getindex", {track, 4, word(0.0f)}), 0u);
    EXPECT_EQ(site.call("kf_getindex", {track, 4, word(2.5f)}), 2u);
    EXPECT_EQ(int32_t(site.call("kf_getindex", {track, 4, word(3.0f)})), -1);
    EXPECT_EQ(int32_t(site.call("kf_getindex", {track, 4, word(-0.5f)})), -1);
}

TEST_F(Keys, BadTracks) {
    make({{0, 1}, {1, 2}});
    EXPECT_EQ(key(0, 0.5f, 1), 0.0f);
    EXPECT_EQ(site.call("kf_getkey", {0, 2, word(0.5f), 1}), 0u);
    EXPECT_EQ(site.call("kf_getkey", {track, 0x7FFFFFFF, word(0.5f), 1}), 0u);
    EXPECT_EQ(site.call("kf_calc", {0, 5}), 1u);  // nothing to do
    EXPECT_EQ(site.call("kf_calc", {0x7FFFFFF0, 5}), 0u);
    EXPECT_EQ(site.call("kf_setkey", {0, word(1.0f), word(1.0f)}), 0u);
    EXPECT_EQ(int32_t(site.call("kf_getindex", {0x40, 2, word(0.5f)})), -1);
}

TEST(Rects, Operations) {
    Rect a{0, 0, 10, 10}, b{5, 5, 20, 20}, far{30, 30, 40, 40}, empty{3, 3, 3, 8};
    EXPECT_EQ(rect_intersection(a, b), (Rect{5, 5, 10, 10}));
    EXPECT_EQ(rect_intersection(a, far), std::nullopt);
    EXPECT_EQ(rect_intersection(a, Rect{10, 0, 20, 10}), std::nullopt);  // edges touch only
    EXPECT_EQ(rect_intersection(a, empty), std::nullopt);
    EXPECT_EQ(rect_union(a, b), (Rect{0, 0, 20, 20}));
    EXPECT_EQ(rect_union(empty, b), b);
    EXPECT_EQ(rect_union(a, empty), a);
    EXPECT_EQ(rect_union(empty, empty), std::nullopt);
    EXPECT_TRUE(rect_contains(a, 0, 0));
    EXPECT_FALSE(rect_contains(a, 10, 5));
    EXPECT_FALSE(rect_contains(a, 5, -1));
    EXPECT_EQ(rect_offset(a, INT32_MAX, -1), (Rect{INT32_MAX, -1, INT32_MIN + 9, 9}));
    EXPECT_EQ(rect_inflate(a, 2, -3), (Rect{-2, 3, 12, 7}));
}

TEST(Rects, BuiltinsReadAndWriteScriptMemory) {
    CallSite site;
    site.table.bind_all(keyframe_builtins());
    site.table.bind_all(rect_builtins());
    ScriptAddr r = site.mem.allocate(16), s = site.mem.allocate(16), d = site.mem.allocate(16);
    auto get = [&](ScriptAddr at) { return *load_rect(site.mem, at); };
    EXPECT_EQ(site.call("rc_set", {r, 1, 2, 3, 4}), 1u);
    EXPECT_EQ(get(r), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(site.call("rc_setwh", {s, 2, 3, 10, 10}), 1u);
    EXPECT_EQ(get(s), (Rect{2, 3, 12, 13}));
    EXPECT_NE(site.call("rc_intersect", {d, r, s}), 0u);
    EXPECT_EQ(get(d), (Rect{2, 3, 3, 4}));
    EXPECT_NE(site.call("rc_union", {r, r, s}), 0u);  // the destination may be an operand
    EXPECT_EQ(get(r), (Rect{1, 2, 12, 13}));
    EXPECT_EQ(site.call("rc_move", {r, 10, uint32_t(-2)}), 1u);
    EXPECT_EQ(get(r), (Rect{11, 0, 22, 11}));
    EXPECT_EQ(site.call("rc_inflate", {r, 1, 1}), 1u);
    EXPECT_EQ(get(r), (Rect{10, -1, 23, 12}));
    EXPECT_NE(site.call("rc_in", {r, 10, uint32_t(-1)}), 0u);
    EXPECT_EQ(site.call("rc_in", {r, 23, 0}), 0u);
    EXPECT_EQ(site.call("rc_copy", {d, r}), 1u);
    EXPECT_EQ(get(d), get(r));
    EXPECT_EQ(site.call("rc_check", {d}), 0u);
    EXPECT_EQ(site.call("rc_intersect", {d, r, site.mem.allocate(16)}), 0u);
    EXPECT_EQ(get(d), Rect{});  // an empty intersection leaves an empty rectangle
    EXPECT_NE(site.call("rc_check", {d}), 0u);
    EXPECT_EQ(site.call("rc_empty", {r}), 1u);
    EXPECT_EQ(get(r), Rect{});

    // Null and wild pointers fail without touching anything.
    const std::vector<std::pair<const char*, std::vector<uint32_t>>> bad = {
        {"rc_empty", {0}},
        {"rc_set", {0, 1, 2, 3, 4}},
        {"rc_setwh", {0x40, 1, 1, 1, 1}},
        {"rc_copy", {d, 0}},
        {"rc_copy", {0, d}},
        {"rc_move", {0, 1, 1}},
        {"rc_intersect", {d, 0, r}},
        {"rc_union", {0, r, r}},
        {"rc_inflate", {0x7FFFFFF8, 1, 1}},
        {"rc_in", {0, 0, 0}},
        {"rc_check", {0}}};
    for (const auto& [name, args] : bad) EXPECT_EQ(site.call(name, args), 0u) << name;
}
