// Rectangles: the operations and the rc_* built-ins.
#include <gtest/gtest.h>

#include "runtime/rect.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;

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
