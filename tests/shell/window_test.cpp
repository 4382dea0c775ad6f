// The window-side state that scripts read: the engine clock and its counters,
// the last menu command, and the script-defined menu.
#include <gtest/gtest.h>

#include "shell/engine_clock.h"
#include "shell/menu_model.h"
#include "shell/window_state.h"

using namespace tob;

TEST(EngineClock, StandsStillWhilePausedAndNests) {
    uint32_t t = 1000;
    EngineClock clock([&] { return t; });
    clock.reset();
    EXPECT_EQ(clock.now(), 1000u);
    clock.pause();
    t = 1500;
    clock.pause();  // nested
    t = 1700;
    clock.resume();
    EXPECT_EQ(clock.now(), 1000u);
    EXPECT_TRUE(clock.paused());
    t = 2000;
    clock.resume();
    EXPECT_EQ(clock.now(), 1000u);  // 1000 ms were paused
    t = 2100;
    EXPECT_EQ(clock.now(), 1100u);
    clock.resume();  // unmatched: ignored
    EXPECT_EQ(clock.now(), 1100u);
}

TEST(EngineClock, CountersAndFrames) {
    uint32_t t = 5000;
    EngineClock clock([&] { return t; });
    EXPECT_EQ(clock.set_count(3, 250), 1u);
    EXPECT_EQ(clock.get_count(3), 250u);
    t += 100;
    EXPECT_EQ(clock.get_count(3), 350u);
    EXPECT_EQ(clock.set_count(256, 0), 1u);
    EXPECT_EQ(clock.set_count(257, 0), 0u);
    EXPECT_EQ(clock.get_count(257), 0u);
    EXPECT_EQ(clock.get_count(0xFFFFFFFF), 0u);

    t = 10000;
    clock.fps();  // rolls over: starts a period
    for (int i = 0; i < 30; ++i) {
        t += 10;
        EXPECT_EQ(clock.fps(), 0u);
    }
    t += 1000;
    EXPECT_EQ(clock.fps(), 30u);  // the past period's count
    t += 10;
    EXPECT_EQ(clock.fps(), 30u);
}

TEST(WindowState, MenuCommandIsReadOnce) {
    WindowState w;
    w.last_menu_command = 40001;
    EXPECT_EQ(w.take_menu_command(), 40001u);
    EXPECT_EQ(w.take_menu_command(), 0u);
}

TEST(MenuModel, AddRulesAndTableLimit) {
    MenuModel m;
    EXPECT_TRUE(m.add(0, 1, "File", 0));
    EXPECT_FALSE(m.add(0, 1, "Again", 0));  // positive identifiers are unique
    EXPECT_TRUE(m.add(0, -1, "-", 0));
    EXPECT_TRUE(m.add(0, -1, "-", 0));  // negative ones may repeat
    EXPECT_FALSE(m.add(0, 0, "zero", 0));
    EXPECT_FALSE(m.add(99, 2, "orphan", 0));
    for (int i = 0; i < 60; ++i) EXPECT_TRUE(m.add(1, 100 + i, "item", 0));
    EXPECT_FALSE(m.add(1, 200, "one too many", 0));  // 63 nodes in use
    EXPECT_TRUE(m.remove(0));
    EXPECT_TRUE(m.add(0, 1, "File", 0));
}

TEST(MenuModel, BuildDeleteAndRadioGroups) {
    MenuModel m;
    m.add(0, 1, "Game", 0);
    m.add(1, 10, "First", 0);
    m.add(1, 11, "Second", 0);
    m.add(1, 12, "-", 0);
    m.add(0, 2, "Mode", 0);
    m.add(2, 20, "Window", 2);
    m.add(2, 21, "Full", 2);
    m.add(2, 22, "Other", 3);
    EXPECT_TRUE(m.remove(10));  // the first child: later siblings stay
    EXPECT_FALSE(m.remove(10));
    MenuBar bar = m.build();
    ASSERT_EQ(bar.menus[0].size(), 2u);
    EXPECT_EQ(bar.menus[0][0].kind, MenuItem::Popup);
    const auto& game = bar.menus[size_t(bar.menus[0][0].submenu)];
    ASSERT_EQ(game.size(), 2u);
    EXPECT_EQ(game[0].id, 11);
    EXPECT_EQ(game[1].kind, MenuItem::Separator);

    const auto& mode = bar.menus[size_t(bar.menus[0][1].submenu)];
    EXPECT_EQ(mode[0].kind, MenuItem::Radio);
    EXPECT_EQ(mode[0].id, 20);
    bar.menus[size_t(bar.menus[0][1].submenu)][2].checked = true;
    EXPECT_TRUE(m.radio(bar, 21));
    const auto& after = bar.menus[size_t(bar.menus[0][1].submenu)];
    EXPECT_FALSE(after[0].checked);
    EXPECT_TRUE(after[1].checked);
    EXPECT_TRUE(after[2].checked);  // identifier 22 is outside group 2's range
    EXPECT_TRUE(m.enable(bar, 11, false));
    EXPECT_TRUE(game[0].disabled);
    EXPECT_TRUE(m.check(bar, 11, true));
    EXPECT_TRUE(game[0].checked);
    EXPECT_FALSE(m.check(bar, 999, true));
}
