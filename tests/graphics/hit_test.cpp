// Hit areas: overlap and point rules, groups, areas that follow sprites.
#include <gtest/gtest.h>

#include "sprite_test_support.h"

namespace tob::test {
namespace {

class HitTest : public SpriteFixture {
  protected:
    ScriptAddr area(uint32_t group, uint32_t mask, int32_t l, int32_t t, int32_t r, int32_t b,
                    ScriptAddr sprite = 0) {
        return call("hit_set", {group, mask, sprite, put_rect(l, t, r, b), 0});
    }
};

TEST_F(HitTest, OverlapAndPointRules) {
    ScriptAddr a = area(0, 1, 0, 0, 10, 10);
    struct Case {
        const char* name;
        gfx::Rect r;
        bool hit;
    } rects[] = {
        {"shared right edge", {10, 0, 20, 10}, false},
        {"shared bottom edge", {0, 10, 10, 20}, false},
        {"one pixel in", {9, 9, 20, 20}, true},
        {"inside", {2, 2, 3, 3}, true},
        {"around", {-5, -5, 50, 50}, true},
    };
    for (const Case& c : rects) {
        ScriptAddr r = put_rect(c.r.left, c.r.top, c.r.right, c.r.bottom);
        EXPECT_EQ(call("hit_rect", {r, 1}), c.hit ? a : 0u) << c.name;
    }
    struct Point {
        int32_t x, y;
        bool hit;
    } points[] = {{0, 0, true}, {9, 9, true}, {10, 5, false}, {5, 10, false}, {-1, 0, false}};
    for (const Point& p : points)
        EXPECT_EQ(call("hit_point", {uint32_t(p.x), uint32_t(p.y), 1}), p.hit ? a : 0u)
            << p.x << "," << p.y;
    EXPECT_EQ(call("hit_point", {5, 5, 2}), 0u) << "group not selected";
    EXPECT_EQ(call("hit_rect", {0, 1}), 0u);
}

TEST_F(HitTest, GroupsSearchedInOrderAndSubjectSkipped) {
    ScriptAddr late = area(5, 1, 0, 0, 10, 10);
    ScriptAddr early = area(2, 1, 0, 0, 10, 10);
    ScriptAddr first_in_group = area(7, 1, 0, 0, 10, 10);
    area(7, 1, 0, 0, 10, 10);
    EXPECT_EQ(call("hit_point", {1, 1, 0xFFFFFFFF}), early);
    EXPECT_EQ(call("hit_point", {1, 1, 1u << 7}), first_in_group);
    ScriptAddr subject = area(2, 1u << 2 | 1u << 5, 0, 0, 10, 10);
    EXPECT_EQ(call("hit_check", {subject}), early);
    EXPECT_EQ(call("hit_check", {early}), 0u) << "mask 1 selects group 0 only";
    ScriptAddr self_only = area(9, 1u << 9, 0, 0, 10, 10);
    EXPECT_EQ(call("hit_check", {self_only}), 0u) << "never itself";
    // Areas with mask 0 are never found and never test.
    ScriptAddr silent = area(3, 0, 0, 0, 10, 10);
    EXPECT_EQ(call("hit_point", {1, 1, 1u << 3}), 0u);
    EXPECT_EQ(call("hit_check", {silent}), 0u);
    EXPECT_EQ(call("hit_reset", {early}), 1u);
    EXPECT_EQ(call("hit_point", {1, 1, 0xFFFFFFFF}), subject);
    EXPECT_EQ(call("hit_point", {1, 1, 0xFFFFFFFB}), late);
    EXPECT_EQ(call("hit_check", {early}), 0u) << "a free record";
    EXPECT_EQ(call("hit_reset", {0}), 0u);
    EXPECT_EQ(call("hit_reset", {early + 3}), 0u);
    call("hit_init", {1u << 5});
    EXPECT_EQ(call("hit_point", {1, 1, 1u << 5}), 0u);
}

TEST_F(HitTest, AttachedAreasFollowTheirSprite) {
    call("galloc", {2, 20, 10, 32});
    ScriptAddr parent = call("sp_set", {0, 2, 1600, 160, 2, 0, 0});
    set8(parent, 6, 4);  // positions in sixteenths: (100, 10)
    ScriptAddr child = call("sp_set", {1, 2, 5, 7, 2, 0, 0});
    call("sp_link", {parent, child});
    set32(child, 24, 3);  // hot spot (3, 2)
    set32(child, 28, 2);
    set32(parent, 32, 0x40000);  // scale and turn do not move areas
    set16(parent, 48, 512);
    ScriptAddr a = call("hit_set", {1, 1, child, 0, 42});
    EXPECT_EQ(get32(child, 128), a);
    EXPECT_EQ(rect_at(a + 8), (gfx::Rect{0, 0, 20, 10}));
    EXPECT_EQ(get32(a, 28), 42u);
    // At (100 + 5 - 3, 10 + 7 - 2) = (102, 15).
    EXPECT_EQ(call("hit_point", {102, 15, 2}), a);
    EXPECT_EQ(call("hit_point", {101, 15, 2}), 0u);
    EXPECT_EQ(call("hit_point", {121, 24, 2}), a);
    ScriptAddr probe = area(0, 2, 121, 24, 200, 200);
    EXPECT_EQ(call("hit_check", {probe}), a);
    // Hidden: never found, yet as the subject it still tests where it is.
    set8(child, 0, 1);
    EXPECT_EQ(call("hit_point", {102, 15, 2}), 0u);
    set32(a, 4, 1);
    EXPECT_EQ(call("hit_check", {a}), probe);
    set8(child, 0, 2);
    // Removing the sprite frees its areas.
    call("sp_reset", {parent});
    EXPECT_EQ(get32(a, 32), 0u);
    EXPECT_EQ(call("hit_point", {102, 15, 2}), 0u);
    // The dummy makes an area that is never found.
    ScriptAddr d = call("hit_set", {1, 1, sys().dummy_address(), put_rect(0, 0, 5, 5), 0});
    EXPECT_NE(d, 0u);
    set8(sys().dummy_address(), 0, 2);
    EXPECT_EQ(call("hit_point", {1, 1, 2}), 0u);
    EXPECT_EQ(call("hit_set", {1, 1, child + 1, 0, 0}), 0u) << "a bad sprite handle";
}

TEST_F(HitTest, PoolOfOneThousandTwentyFour) {
    EXPECT_EQ(call("hit_set", {32, 1, 0, 0, 0}), 0u);
    for (uint32_t i = 0; i < gfx::kHitCount; ++i)
        ASSERT_NE(call("hit_set", {i % 32, 1, 0, 0, i}), 0u);
    EXPECT_EQ(call("hit_set", {0, 1, 0, 0, 0}), 0u);
    call("sp_init", {0xFFFFFFFF});
    EXPECT_NE(call("hit_set", {0, 1, 0, 0, 0}), 0u);
}

}  // namespace
}  // namespace tob::test
