// Sprites: geometry, the picture after every frame against a from-scratch
// composition, lists and lifecycle, and records scripts have scribbled on.
#include <gtest/gtest.h>

#include <random>

#include "sprite_test_support.h"

namespace tob::test {
namespace {

using gfx::Rect;
using gfx::SpriteFields;
using gfx::SpriteGeometry;

constexpr size_t kState = 0, kFlags = 2, kMirrorX = 4, kMirrorY = 5, kFraction = 6, kPriority = 8,
                 kX = 16, kY = 20, kHotX = 24, kHotY = 28, kScaleX = 32, kScaleY = 36, kAngle = 48,
                 kSource = 52, kBlend = 68, kParent = 112, kFamilyNext = 116, kPrevious = 120,
                 kNext = 124;

TEST(SpriteGeometryTest, PlacedAndBoundingRectangles) {
    struct Case {
        const char* name;
        int32_t x, y, hot_x, hot_y, scale_x, scale_y;
        uint16_t angle;
        uint8_t fraction;
        Rect placed, bounds;
    };
    const Case cases[] = {
        {"doubled about the centre",
         200,
         100,
         50,
         25,
         0x20000,
         0x20000,
         0,
         0,
         {100, 50, 300, 150},
         {100, 50, 300, 150}},
        {"plain, hot spot at the corner",
         200,
         100,
         0,
         0,
         0x10000,
         0x10000,
         0,
         0,
         {200, 100, 300, 150},
         {200, 100, 300, 150}},
        {"an eighth of a turn",
         200,
         100,
         50,
         25,
         0x10000,
         0x10000,
         256,
         0,
         {150, 75, 250, 125},
         {147, 47, 253, 153}},
        {"fraction bits",
         1600,
         1600,
         0,
         0,
         0x10000,
         0x10000,
         0,
         4,
         {100, 100, 200, 150},
         {100, 100, 200, 150}},
        {"fraction bits count & 31",
         1600,
         1600,
         0,
         0,
         0x10000,
         0x10000,
         0,
         36,
         {100, 100, 200, 150},
         {100, 100, 200, 150}},
        {"negative scale: bounds normalised",
         200,
         100,
         0,
         0,
         -0x10000,
         0x10000,
         0,
         0,
         {200, 100, 100, 150},
         {100, 100, 200, 150}},
        {"a whole turn is no turn",
         200,
         100,
         0,
         0,
         0x10000,
         0x10000,
         2048,
         0,
         {200, 100, 300, 150},
         {200, 100, 300, 150}},
        // (W - width) / 2 truncates toward zero: (100 - 110) / 2, (50 - 78) / 2
        {"odd difference, truncated",
         50,
         25,
         50,
         25,
         0x10000,
         0x10000,
         100,
         0,
         {0, 0, 100, 50},
         {-5, -14, 105, 64}},
    };
    for (const Case& c : cases) {
        SpriteFields f;
        f.x = c.x, f.y = c.y, f.hot_x = c.hot_x, f.hot_y = c.hot_y;
        f.scale_x = c.scale_x, f.scale_y = c.scale_y, f.angle = c.angle;
        f.fraction_bits = c.fraction & 31;
        f.source = {0, 0, 100, 50};
        SpriteGeometry g = gfx::compute_geometry(f, nullptr, 0, 0);
        EXPECT_EQ(g.placed, c.placed) << c.name;
        EXPECT_EQ(g.bounds, c.bounds) << c.name;
    }
}

TEST(SpriteGeometryTest, ChildrenFollowTheirParent) {
    SpriteFields root;
    root.x = 100, root.y = 100, root.angle = 512;
    root.source = {0, 0, 10, 10};
    SpriteGeometry p = gfx::compute_geometry(root, nullptr, 0, 0);
    SpriteFields child;
    child.x = 10, child.source = {0, 0, 10, 10};
    SpriteGeometry g = gfx::compute_geometry(child, &p, 0, 0);
    EXPECT_EQ(g.x >> 16, 100);
    EXPECT_EQ(g.y >> 16, 90);  // a quarter turn puts x to the top
    EXPECT_EQ(g.angle, 512);

    // Scales multiply down the family; positions scale by the parent's.
    root.angle = 0, root.scale_x = 0x20000, root.scale_y = 0x8000;
    p = gfx::compute_geometry(root, nullptr, 5, 5);
    EXPECT_EQ(p.x >> 16, 95);  // the list origin moves roots only
    child.x = 10, child.y = 10, child.scale_x = 0x18000;
    g = gfx::compute_geometry(child, &p, 5, 5);
    EXPECT_EQ(g.x >> 16, 95 + 20);
    EXPECT_EQ(g.y >> 16, 95 + 5);
    EXPECT_EQ(g.scale_x, 0x30000);
    EXPECT_EQ(g.scale_y, 0x8000);
}

TEST(SpriteGeometryTest, HostileFieldsStayDefined) {
    SpriteFields f;
    f.x = INT32_MIN, f.y = INT32_MAX, f.hot_x = INT32_MIN, f.hot_y = INT32_MAX;
    f.scale_x = INT32_MIN, f.scale_y = INT32_MAX, f.angle = 777;
    f.source = {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN};
    SpriteGeometry p = gfx::compute_geometry(f, nullptr, INT32_MAX, INT32_MIN);
    SpriteGeometry g = gfx::compute_geometry(f, &p, 0, 0);
    EXPECT_LE(g.bounds.left, g.bounds.right);
    EXPECT_LE(g.bounds.top, g.bounds.bottom);
}

class SpriteTest : public SpriteFixture {
  protected:
    ScriptAddr blend_of(uint8_t mode, uint8_t level, uint32_t key = 0) {
        return put_words({uint32_t(mode) | uint32_t(level) << 16, key, 0});
    }
    ScriptAddr add(uint32_t list, uint32_t state, int32_t x, int32_t y, uint32_t pl,
                   ScriptAddr blend = 0) {
        return call("sp_set", {list, state, uint32_t(x), uint32_t(y), pl, 0, blend});
    }
    std::vector<ScriptAddr> order(uint32_t list) {
        std::vector<ScriptAddr> out;
        for (int i : sys().list_order(list)) out.push_back(sys().sprite_address(uint32_t(i)));
        return out;
    }
    void expect_picture(const char* what, int32_t bg_x = 0, int32_t bg_y = 0) {
        auto want = compose(1, bg_x, bg_y);
        std::string where;
        EXPECT_EQ(differences(*want, &where), 0) << what << ": first at " << where;
    }
};

TEST_F(SpriteTest, RecordsAndHandles) {
    make_picture(2, 20, 10, 1);
    ScriptAddr a = add(3, 2, 7, 8, 2);
    EXPECT_EQ(get8(a, kState), 2);
    EXPECT_EQ(get8(a, 1), 3);
    EXPECT_EQ(flags(a), 0x0002);
    EXPECT_EQ(get32(a, kX), 7u);
    EXPECT_EQ(get32(a, kScaleX), 0x10000u);
    EXPECT_EQ(rect_at(a + kSource), (Rect{0, 0, 20, 10}));
    EXPECT_EQ(get32(a, kPrevious), sys().sprite_address(gfx::kListHeadBase + 3));
    EXPECT_EQ(get32(a, kNext), 0u);
    EXPECT_EQ(get32(sys().sprite_address(gfx::kListHeadBase + 3), kNext), a);

    ScriptAddr dummy = sys().dummy_address();
    EXPECT_EQ(add(32, 2, 0, 0, 2), dummy);
    EXPECT_EQ(add(0x103, 2, 0, 0, 2), a + 140);  // the list from the low byte
    EXPECT_EQ(add(0, 2, 0, 0, 1024), dummy);
    EXPECT_EQ(add(0, 2, 0, 0, 9), dummy);  // no plane, no rectangle
    ScriptAddr r = put_rect(0, 0, 4, 4);
    EXPECT_NE(call("sp_set", {0, 2, 0, 0, 9, r, 0}), dummy);     // a rectangle needs no plane
    EXPECT_EQ(call("sp_set", {0, 2, 0, 0, 2, 0x10, 0}), dummy);  // a bad pointer
    EXPECT_EQ(sys().count(), 3u);

    EXPECT_EQ(call("sp_reset", {dummy}), 1u);
    EXPECT_EQ(call("sp_reset", {0}), 0u);
    EXPECT_EQ(call("sp_reset", {a + 4}), 0u);
    EXPECT_EQ(call("sp_link", {a, dummy}), 0u);
    EXPECT_EQ(call("sp_link", {dummy, a}), 0u);
    EXPECT_EQ(call("sp_flag", {0x8001}), 2u);
    EXPECT_EQ(call("sp_flag", {2}), 0x8001u);
}

TEST_F(SpriteTest, PoolOfFourThousandNinetySix) {
    make_picture(2, 2, 2, 1);
    std::set<ScriptAddr> seen;
    for (uint32_t i = 0; i < gfx::kSpriteCount; ++i) seen.insert(add(i % 32, 1, 0, 0, 2));
    EXPECT_EQ(seen.size(), gfx::kSpriteCount);
    EXPECT_EQ(add(0, 1, 0, 0, 2), sys().dummy_address());
    EXPECT_EQ(sys().count(), gfx::kSpriteCount);
    call("sp_init", {0x1});
    EXPECT_EQ(sys().count(), gfx::kSpriteCount);  // freed by the next sp_draw
    call("sp_draw", {0x2, 0});                    // list 0 not selected: freed anyway
    EXPECT_EQ(sys().count(), gfx::kSpriteCount - 128);
    call("sp_init", {0xFFFFFFFF});
    EXPECT_EQ(sys().count(), 0u);
    EXPECT_TRUE(sys().consistent());
}

TEST_F(SpriteTest, SortingIsStable) {
    make_picture(2, 2, 2, 1);
    struct Case {
        std::vector<int32_t> priority, y;
        uint32_t how;
        std::vector<int> want;
    } cases[] = {
        {{5, 1, 5}, {0, 0, 0}, 2, {1, 0, 2}},    {{5, 3, 1}, {0, 0, 0}, 2, {2, 1, 0}},
        {{0, 0, 0}, {30, 10, 20}, 1, {1, 2, 0}}, {{1, 0, 0}, {10, 10, 5}, 3, {2, 1, 0}},
        {{9, 8, 7}, {0, 0, 0}, 0, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        call("sp_init", {0xFFFFFFFF});
        std::vector<ScriptAddr> s;
        for (size_t i = 0; i < c.priority.size(); ++i) {
            s.push_back(add(4, 1, 0, c.y[i], 2));
            set32(s.back(), kPriority, c.priority[i]);
        }
        call("sp_sort", {1u << 4, c.how});
        std::vector<ScriptAddr> want;
        for (int i : c.want) want.push_back(s[size_t(i)]);
        EXPECT_EQ(order(4), want);
        EXPECT_TRUE(sys().consistent());
    }
    // Heights add up over ancestors, with fraction bits.
    call("sp_init", {0xFFFFFFFF});
    ScriptAddr p = add(0, 1, 0, 100, 2), c = add(1, 1, 0, 10, 2), d = add(1, 1, 0, 50, 2);
    set8(d, kFraction, 1);
    call("sp_link", {p, c});
    call("sp_sort", {2, 1});
    EXPECT_EQ(order(1), (std::vector<ScriptAddr>{d, c}));
}

TEST_F(SpriteTest, LinkingMovesAndRefusesCycles) {
    make_picture(2, 2, 2, 1);
    ScriptAddr a = add(0, 1, 0, 0, 2), b = add(0, 1, 0, 0, 2), c = add(0, 1, 0, 0, 2),
               d = add(1, 1, 0, 0, 2);
    EXPECT_EQ(call("sp_link", {a, c}), 1u);
    EXPECT_EQ(order(0), (std::vector<ScriptAddr>{a, c, b}));
    EXPECT_EQ(call("sp_link", {c, d}), 1u);
    EXPECT_EQ(order(1), (std::vector<ScriptAddr>{d}));  // another list: not moved
    EXPECT_EQ(get32(d, kParent), c);
    EXPECT_EQ(get32(a, kFamilyNext), c);
    EXPECT_EQ(get32(c, kFamilyNext), d);
    EXPECT_EQ(call("sp_link", {a, b}), 1u);  // the newest child comes first
    EXPECT_EQ(get32(a, kFamilyNext), b);
    EXPECT_EQ(get32(b, kFamilyNext), c);
    CapturedReports reports;
    EXPECT_EQ(call("sp_link", {d, a}), 0u);
    EXPECT_EQ(call("sp_link", {a, a}), 0u);
    ASSERT_EQ(reports.texts.size(), 2u);
    EXPECT_NE(reports.texts[0].find(
                  "SetChildSprite : 同じスプライトを子スプライトにすることは出来ません。"),
              std::string::npos);
    // Moving c under b takes its offspring along.
    EXPECT_EQ(call("sp_link", {b, c}), 1u);
    EXPECT_EQ(get32(a, kFamilyNext), b);
    EXPECT_EQ(get32(b, kFamilyNext), c);
    EXPECT_EQ(get32(c, kFamilyNext), d);
    EXPECT_EQ(get32(d, kFamilyNext), 0u);
    EXPECT_TRUE(sys().consistent());

    // Removing the root takes its offspring in list 1 along, freed by the
    // next sp_draw whatever it selects.
    call("sp_reset", {a});
    EXPECT_NE(flags(d) & gfx::kFlagRemoving, 0);
    EXPECT_EQ(get8(d, kState), 1);
    EXPECT_EQ(sys().count(), 4u);
    EXPECT_EQ(order(1), (std::vector<ScriptAddr>{d}));
    call("sp_draw", {1, 0});
    EXPECT_EQ(sys().count(), 0u);
    EXPECT_TRUE(order(1).empty());
    EXPECT_EQ(get8(d, kState), 0);
}

TEST_F(SpriteTest, AFamilyAsDeepAsThePool) {
    make_picture(1, 160, 120, 0);
    make_picture(2, 4, 4, 1);
    call("sp_setbg", {1});
    std::vector<ScriptAddr> s;
    for (uint32_t i = 0; i < gfx::kSpriteCount; ++i) {
        s.push_back(add(i % 2, 2, 1, 0, 2));
        if (i) {
            ASSERT_EQ(call("sp_link", {s[i - 1], s[i]}), 1u);
        }
    }
    EXPECT_EQ(get32(s[0], kFamilyNext), s[1]);
    EXPECT_EQ(get32(s[4094], kFamilyNext), s[4095]);
    EXPECT_EQ(get32(s[4095], kFamilyNext), 0u);
    EXPECT_EQ(call("sp_draw", {0xFFFFFFFF, 0}), 1u);
    call("sp_sort", {3, 1});
    EXPECT_TRUE(sys().consistent());
    EXPECT_EQ(sys().geometry(4095).x >> 16, 4096);
    call("sp_reset", {s[0]});
    call("sp_draw", {0xFFFFFFFF, 0});
    EXPECT_EQ(sys().count(), 0u);
    expect_picture("all gone");
}

TEST_F(SpriteTest, DrawsOverTheBackground) {
    make_picture(1, 160, 120, 0);
    make_picture(2, 20, 12, 3);
    EXPECT_EQ(call("sp_setbg", {1}), gfx::kNoBackground);
    EXPECT_EQ(call("sp_getbg", {}), 1u);
    ScriptAddr out = put_rect(9, 9, 9, 9);
    ScriptAddr a = add(0, 2, 10, 10, 2, blend_of(7, 255));
    EXPECT_EQ(call("sp_draw", {1, out}), 1u);
    EXPECT_EQ(rect_at(out), (Rect{0, 0, kPageW, kPageH}));
    expect_picture("first frame");
    EXPECT_EQ(call("sp_draw", {1, out}), 1u);
    EXPECT_EQ(rect_at(out), (Rect{10, 10, 30, 22}));  // redrawn every frame by default
    expect_picture("again");
    set16(a, kFlags, 0);
    call("sp_draw", {1, out});
    EXPECT_EQ(rect_at(out), (Rect{0, 0, 0, 0}));
    set32(a, kX, 50);
    call("sp_draw", {1, out});
    EXPECT_EQ(rect_at(out), (Rect{0, 0, 0, 0})) << "not redrawn without bit 0";
    touch(a);
    call("sp_draw", {1, out});
    EXPECT_EQ(rect_at(out), (Rect{10, 10, 70, 22}));
    expect_picture("moved");
    set8(a, kState, 1);
    call("sp_draw", {1, out});
    EXPECT_EQ(rect_at(out), (Rect{50, 10, 70, 22}));
    expect_picture("hidden");
    // Without a background plane the areas stay in the dirty list.
    call("sp_setbg", {1024});
    call("sp_draw", {1, out});
    set8(a, kState, 2);
    call("sp_draw", {1, out});
    {
        std::lock_guard lock(gfx::page_state().mutex);
        EXPECT_FALSE(gfx::page_state().dirty.rects().empty());
    }
    EXPECT_EQ(call("apage", {7}), 0u);
}

// Long random sequences of changes: after every frame the page equals the
// picture composed from scratch.
TEST_F(SpriteTest, EveryFrameMatchesAFreshComposition) {
    make_picture(1, 160, 120, 0);
    make_picture(2, 20, 12, 3);
    make_picture(3, 9, 17, 5);
    make_picture(4, 30, 30, 7);
    make_picture(5, 30, 30, 9);  // a mask plane for 4
    call("gattach", {4, 5});
    const uint8_t modes[] = {0, 7, 1, 3, 13, 10};
    std::mt19937 rng(1234);
    auto rnd = [&](int n) { return int(rng() % uint32_t(n)); };
    for (int round = 0; round < 12; ++round) {
        call("sp_init", {0xFFFFFFFF});
        call("sp_flag", {round % 2 ? 0u : 2u});
        call("sp_setbg", {1});
        int32_t bg_x = 0, bg_y = 0;
        std::vector<ScriptAddr> live;
        for (int frame = 0; frame < 60; ++frame) {
            for (int k = rnd(4); k >= 0; --k) {
                int what = rnd(16);
                ScriptAddr s = live.empty() ? 0 : live[size_t(rnd(int(live.size())))];
                if (what < 3 || !s) {
                    uint8_t mode = modes[rnd(6)];
                    ScriptAddr sp =
                        add(uint32_t(rnd(3)), uint32_t(1 + rnd(2)), rnd(120) - 20, rnd(90) - 20,
                            uint32_t(2 + rnd(3)), blend_of(mode, uint8_t(rnd(256)), 0));
                    live.push_back(sp);
                    continue;
                }
                switch (what) {
                    case 3:
                    case 4:
                        set32(s, kX, rnd(120) - 20);
                        set32(s, kY, rnd(90) - 20);
                        break;
                    case 5:
                        set8(s, kState, 1 + rnd(2));
                        break;
                    case 6:
                        call("sp_reset", {s});
                        std::erase(live, s);
                        break;
                    case 7:
                        call("sp_link", {live[size_t(rnd(int(live.size())))], s});
                        break;
                    case 8:
                        set32(s, kScaleX,
                              rnd(3) ? 0x10000 : 0x8000 + rnd(0x20000) - 0x10000 * rnd(2));
                        set32(s, kScaleY, rnd(3) ? 0x10000 : 0x8000 + rnd(0x20000));
                        break;
                    case 9:
                        set16(s, kAngle, rnd(2) ? 0 : uint32_t(rnd(2048)));
                        break;
                    case 10:
                        set8(s, rnd(2) ? kMirrorX : kMirrorY, uint32_t(rnd(2)));
                        break;
                    case 11:
                        set32(s, kPriority, rnd(4));
                        call("sp_sort", {7, uint32_t(rnd(4))});
                        break;
                    case 12:
                        bg_x = rnd(40), bg_y = rnd(40);
                        call("sp_bgorg", {uint32_t(bg_x), uint32_t(bg_y)});
                        break;
                    case 13:
                        call("sp_setbg", {1});
                        bg_x = bg_y = 0;
                        break;
                    case 14:
                        set32(s, kHotX, rnd(10));
                        set32(s, kHotY, rnd(10));
                        break;
                    default:
                        call("sp_org", {uint32_t(1 + rnd(7)), uint32_t(rnd(9)), uint32_t(rnd(9))});
                        break;
                }
                touch(s);
            }
            call("sp_draw", {0xFFFFFFFF, 0});
            std::string why;
            ASSERT_TRUE(sys().consistent(&why)) << why;
            auto want = compose(1, bg_x, bg_y);
            std::string where;
            ASSERT_EQ(differences(*want, &where), 0)
                << "round " << round << " frame " << frame << " first at " << where;
        }
    }
}

// Frames whose changes overflow the dirty list or the piece pool are drawn
// whole.
TEST_F(SpriteTest, OverflowingFramesRedrawEverything) {
    make_picture(1, 160, 120, 0);
    make_picture(2, 3, 3, 3);
    make_picture(3, 96, 64, 5);
    call("sp_setbg", {1});
    call("sp_flag", {0});
    // Large unchanged sprites under many small moving ones: more pieces than the pool holds.
    for (int i = 0; i < 120; ++i) add(0, 2, 0, 0, 3, blend_of(3, 40));
    std::vector<ScriptAddr> small;
    for (int i = 0; i < 200; ++i) small.push_back(add(1, 2, (i * 7) % 90, (i * 13) % 60, 2));
    call("sp_draw", {0xFFFFFFFF, 0});
    expect_picture("first");
    uint32_t before = sys().full_redraws();
    for (int f = 0; f < 3; ++f) {
        for (size_t i = 0; i < small.size(); ++i) {
            set32(small[i], kX, int32_t((i * 7 + size_t(f) * 5) % 90));
            touch(small[i]);
        }
        call("sp_draw", {0xFFFFFFFF, 0});
        expect_picture("pieces overflow");
    }
    EXPECT_GT(sys().full_redraws(), before);
    // More changed areas than the dirty list holds.
    call("sp_init", {0xFFFFFFFF});
    call("sp_setbg", {1});
    small.clear();
    for (int i = 0; i < 1500; ++i) small.push_back(add(0, 2, i % 90, (i / 90) * 3, 2));
    call("sp_draw", {0xFFFFFFFF, 0});
    before = sys().full_redraws();
    for (size_t i = 0; i < small.size(); ++i) {
        set32(small[i], kX, int32_t((i + 3) % 90));
        touch(small[i]);
    }
    call("sp_draw", {0xFFFFFFFF, 0});
    EXPECT_GT(sys().full_redraws(), before);
    expect_picture("dirty list overflow");
}

// Whatever a script writes into records, the lists hold together.
TEST_F(SpriteTest, ScribbledRecordsNeverBreakTheLists) {
    make_picture(1, 160, 120, 0);
    make_picture(2, 20, 12, 3);
    call("sp_setbg", {1});
    std::mt19937 rng(99);
    std::vector<ScriptAddr> s;
    for (int i = 0; i < 40; ++i) s.push_back(add(uint32_t(i % 4), 2, i, i, 2));
    for (int i = 1; i < 40; ++i) call("sp_link", {s[size_t(i - 1)], s[size_t(i)]});
    for (int frame = 0; frame < 50; ++frame) {
        for (int k = 0; k < 20; ++k) {
            ScriptAddr a = s[rng() % s.size()];
            size_t off = rng() % 140;
            set8(a, off, rng());
        }
        set8(s[rng() % s.size()], kState, 0);  // state 0 does not free
        call("sp_draw", {0xFFFFFFFF, 0});
        EXPECT_EQ(sys().count(), 40u);
        std::string why;
        ASSERT_TRUE(sys().consistent(&why)) << why;
        // Handles that are not records in use fail.
        uint32_t junk = uint32_t(rng());
        EXPECT_EQ(call("sp_reset", {s[0] + 1 + junk % 139}), 0u);
        EXPECT_EQ(call("sp_link", {junk, s[1]}), 0u);
        EXPECT_EQ(call("sp_rect", {junk, put_rect(0, 0, 0, 0)}), 0u);
    }
    ScriptAddr r = put_rect(0, 0, 0, 0);
    EXPECT_EQ(call("sp_rect", {s[3], r}), 1u);
    EXPECT_EQ(call("sp_rect", {s[3], 0}), 0u);
    EXPECT_EQ(call("sp_rect", {0, r}), 0u);
}

}  // namespace
}  // namespace tob::test
