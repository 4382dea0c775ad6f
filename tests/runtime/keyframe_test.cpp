// Keyframe tracks in all ten modes and the kf_* built-ins, with tracks laid
// out in script memory as scripts lay them out.
#include <gtest/gtest.h>

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
