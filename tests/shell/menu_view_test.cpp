// The self-drawn menu bar: layout, hit-testing, what clicks and keys do, the
// commands the window carries out, and what gets drawn. The box font gives
// fixed metrics: 6 pixels per ASCII character, 12 per other character.
#include "shell/menu_view.h"

#include <gtest/gtest.h>

#include "shell/window_state.h"

using namespace tob;
using M = MenuMetrics;

namespace {

constexpr int kW = 320, kH = 240;

MenuItem item(int32_t id, const char* text, MenuItem::Kind kind = MenuItem::Command,
              int submenu = -1) {
    MenuItem i;
    i.id = id;
    i.text = text;
    i.kind = kind;
    i.submenu = submenu;
    return i;
}

// Bar: "File" (menu 1), "View" (menu 2), "Go" (a command right on the bar).
// File: Open, -, Gone (disabled), More > (menu 3: Deep). View: 40003, 40004.
// Letters after '&' are the items' keys.
MenuBar sample_bar() {
    MenuBar bar;
    bar.menus.resize(4);
    bar.menus[0] = {item(1, "&File", MenuItem::Popup, 1), item(2, "View", MenuItem::Popup, 2),
                    item(3, "&Go")};
    MenuItem gone = item(12, "Gone");
    gone.disabled = true;
    bar.menus[1] = {item(10, "&Open\tCtrl+O"), item(11, "-", MenuItem::Separator), gone,
                    item(13, "&More", MenuItem::Popup, 3)};
    bar.menus[2] = {item(kMenuWindowed, "Window"), item(kMenuFullScreen, "Full")};
    bar.menus[3] = {item(30, "&Deep")};
    return bar;
}

struct MenuViewTest : ::testing::Test {
    std::unique_ptr<platform::Font> font = platform::Font::boxes(12);
    MenuView view{*font};
    void SetUp() override { view.set_bar(sample_bar(), kW, kH); }
    // The centre of item i of the popup at `level`.
    std::pair<int, int> popup_point(size_t level, size_t i) const {
        const MenuRect& r = view.popups()[level].items[i];
        return {r.x + r.w / 2, r.y + r.h / 2};
    }
    std::pair<int, int> bar_point(size_t i) const {
        const MenuRect& r = view.bar_items()[i];
        return {r.x + r.w / 2, r.y + r.h / 2};
    }
};

}  // namespace

TEST(MenuLabels, AmpersandsAndShortcutsAndJapanese) {
    EXPECT_EQ(item_label("&File").text_utf8, "File");
    EXPECT_EQ(item_label("A&&B").text_utf8, "A&B");
    ItemLabel l = item_label("Open\tCtrl+&O");
    EXPECT_EQ(l.text_utf8, "Open");
    EXPECT_EQ(l.shortcut_utf8, "Ctrl+O");
    // "ファイル(&F)" in CP932 comes out as UTF-8 without the '&'.
    EXPECT_EQ(item_label("\x83\x74\x83\x40\x83\x43\x83\x8B(&F)").text_utf8, "ファイル(F)");
}

TEST_F(MenuViewTest, BarItemsAreSideBySideAndSizedByTheirText) {
    auto items = view.bar_items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].x, 0);
    EXPECT_EQ(items[0].w, 4 * 6 + 2 * M::kBarPadding);  // "File": the '&' is not drawn
    EXPECT_EQ(items[1].x, items[0].x + items[0].w);
    EXPECT_EQ(items[2].x, items[1].x + items[1].w);
    for (const MenuRect& r : items) {
        EXPECT_EQ(r.y, 0);
        EXPECT_EQ(r.h, M::kBarHeight);
    }
}

TEST_F(MenuViewTest, PopupLayoutStacksItemsAndStaysInsideTheFrame) {
    PopupLayout p = layout_popup(view.bar(), 1, 10, M::kBarHeight, *font, kW, kH);
    ASSERT_EQ(p.items.size(), 4u);
    EXPECT_EQ(p.frame.x, 10);
    EXPECT_EQ(p.items[0].y, M::kBarHeight + M::kBorder);
    EXPECT_EQ(p.items[1].h, M::kSeparatorHeight);
    EXPECT_EQ(p.items[2].y, p.items[1].y + M::kSeparatorHeight);
    EXPECT_EQ(p.frame.h, 3 * M::kItemHeight + M::kSeparatorHeight + 2 * M::kBorder);
    for (const MenuRect& r : p.items) {
        EXPECT_GE(r.x, p.frame.x);
        EXPECT_LE(r.x + r.w, p.frame.x + p.frame.w);
    }
    // The shortcut column widens the popup.
    PopupLayout plain = layout_popup(view.bar(), 3, 0, 0, *font, kW, kH);
    EXPECT_GT(p.frame.w, plain.frame.w);

    // Opened near the right and bottom edges, it is moved back inside.
    PopupLayout edge = layout_popup(view.bar(), 1, kW - 5, kH - 5, *font, kW, kH);
    EXPECT_EQ(edge.frame.x + edge.frame.w, kW);
    EXPECT_EQ(edge.frame.y + edge.frame.h, kH);
    EXPECT_EQ(edge.items[0].x, edge.frame.x + M::kBorder);
}

TEST_F(MenuViewTest, ClickingABarItemOpensItsPopupBelowIt) {
    bool activated = false;
    view.on_activate([&](MenuBar&) { activated = true; });
    auto [x, y] = bar_point(1);
    MenuView::Result r = view.press(x, y);
    EXPECT_TRUE(r.consumed);
    EXPECT_TRUE(r.redraw);
    EXPECT_FALSE(r.command);
    EXPECT_TRUE(activated);
    EXPECT_EQ(view.open_bar_item(), 1);
    ASSERT_EQ(view.popups().size(), 1u);
    EXPECT_EQ(view.popups()[0].menu, 2);
    EXPECT_EQ(view.popups()[0].frame.x, view.bar_items()[1].x);
    EXPECT_EQ(view.popups()[0].frame.y, M::kBarHeight);
    // Releasing on the bar keeps it open; a second press on it closes it.
    EXPECT_TRUE(view.release(x, y).consumed);
    EXPECT_TRUE(view.is_open());
    EXPECT_TRUE(view.press(x, y).consumed);
    EXPECT_FALSE(view.is_open());
    EXPECT_EQ(view.open_bar_item(), -1);
}

TEST_F(MenuViewTest, ChoosingItemsGivesTheirIdentifiersAndSkipsDisabledOnes) {
    auto [bx, by] = bar_point(0);
    view.press(bx, by);
    // The disabled item and the separator choose nothing and leave it open.
    for (size_t i : {1u, 2u}) {
        auto [x, y] = popup_point(0, i);
        view.press(x, y);
        MenuView::Result r = view.release(x, y);
        EXPECT_TRUE(r.consumed);
        EXPECT_FALSE(r.command) << i;
        EXPECT_TRUE(view.is_open());
    }
    // Pressing on the bar and releasing on an item chooses it, as a click does.
    view.close();
    view.press(bx, by);
    auto [x, y] = popup_point(0, 0);
    MenuView::Result r = view.release(x, y);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 10);
    EXPECT_FALSE(view.is_open());

    // A command right on the bar is chosen by the press.
    auto [gx, gy] = bar_point(2);
    r = view.press(gx, gy);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 3);
    EXPECT_FALSE(view.is_open());
}

TEST_F(MenuViewTest, SubmenusOpenBesideTheirItemAndChooseTheirItems) {
    auto [bx, by] = bar_point(0);
    view.press(bx, by);
    auto [mx, my] = popup_point(0, 3);
    EXPECT_TRUE(view.motion(mx, my).redraw);  // hovering "More" opens it
    ASSERT_EQ(view.popups().size(), 2u);
    const PopupLayout& sub = view.popups()[1];
    EXPECT_EQ(sub.menu, 3);
    EXPECT_EQ(sub.frame.x, view.popups()[0].frame.x + view.popups()[0].frame.w - M::kBorder);
    // Moving back onto another item of the parent closes it.
    auto [ox, oy] = popup_point(0, 0);
    view.motion(ox, oy);
    EXPECT_EQ(view.popups().size(), 1u);
    view.motion(mx, my);
    auto [dx, dy] = popup_point(1, 0);
    view.press(dx, dy);
    MenuView::Result r = view.release(dx, dy);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 30);
}

TEST_F(MenuViewTest, SlidingAlongTheBarEscapeAndClicksElsewhere) {
    auto [x0, y0] = bar_point(0);
    auto [x1, y1] = bar_point(1);
    EXPECT_FALSE(view.motion(x1, y1).consumed);  // nothing open: moves are the scripts'
    view.press(x0, y0);
    view.motion(x1, y1);
    EXPECT_EQ(view.open_bar_item(), 1);
    EXPECT_EQ(view.popups()[0].menu, 2);

    // Escape closes the deepest popup first, then the last one (its title
    // stays selected), then leaves the bar.
    view.motion(x0, y0);
    auto [mx, my] = popup_point(0, 3);
    view.motion(mx, my);
    ASSERT_EQ(view.popups().size(), 2u);
    EXPECT_TRUE(view.escape().consumed);
    EXPECT_EQ(view.popups().size(), 1u);
    view.escape();
    EXPECT_FALSE(view.is_open());
    EXPECT_EQ(view.open_bar_item(), 0);
    EXPECT_TRUE(view.escape().consumed);
    EXPECT_FALSE(view.has_keyboard());
    EXPECT_FALSE(view.escape().consumed);

    // A press on the picture closes an open menu and goes no further; with
    // nothing open it is the scripts'.
    view.press(x0, y0);
    MenuView::Result r = view.press(kW - 1, kH - 1);
    EXPECT_TRUE(r.consumed);
    EXPECT_FALSE(view.is_open());
    EXPECT_FALSE(view.press(kW - 1, kH - 1).consumed);
}

TEST(MenuScreenMode, RadioPairFollowsTheScreen) {
    MenuBar bar = sample_bar();
    check_screen_mode(bar, true);
    EXPECT_FALSE(bar.menus[2][0].checked);
    EXPECT_TRUE(bar.menus[2][1].checked);
    EXPECT_EQ(bar.menus[2][1].kind, MenuItem::Radio);
    check_screen_mode(bar, false);
    EXPECT_TRUE(bar.menus[2][0].checked);
    EXPECT_FALSE(bar.menus[2][1].checked);
    // Other menus are untouched.
    EXPECT_FALSE(bar.menus[1][0].checked);
}

TEST(MenuCommands, ChosenItemIsStoredAndWindowCommandsAct) {
    int closes = 0, restarts = 0;
    std::vector<bool> screens;
    MenuActions a;
    a.close = [&] { ++closes; };
    a.restart = [&] { ++restarts; };
    a.set_full_screen = [&](bool on) { screens.push_back(on); };
    WindowState& w = window_state();
    w.last_menu_command = 0;

    run_menu_command(123, false, a);
    EXPECT_EQ(w.take_menu_command(), 123u);
    EXPECT_EQ(w.take_menu_command(), 0u);  // read once
    run_menu_command(kMenuClose, false, a);
    run_menu_command(kMenuRestart, false, a);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(w.take_menu_command(), uint32_t(kMenuRestart));
    // Windowed and full screen act only when they change something.
    run_menu_command(kMenuWindowed, false, a);
    run_menu_command(kMenuFullScreen, true, a);
    EXPECT_TRUE(screens.empty());
    run_menu_command(kMenuFullScreen, false, a);
    run_menu_command(kMenuWindowed, true, a);
    EXPECT_EQ(screens, (std::vector<bool>{true, false}));
    // The command is reported in 16 bits, as the window reports it.
    run_menu_command(-1, false, a);
    EXPECT_EQ(w.take_menu_command(), 0xFFFFu);
}

TEST_F(MenuViewTest, DrawingShowsTheBarMarksAndGreyedItems) {
    std::vector<uint32_t> frame(size_t(kW) * kH, 0x123456);
    auto px = [&](int x, int y) { return frame[size_t(y) * kW + size_t(x)]; };
    // The bar covers its strip only; its texts are drawn in black.
    view.draw_bar(frame.data(), kW, kH);
    EXPECT_EQ(px(kW - 1, 0), 0xF0F0F0u);
    EXPECT_EQ(px(kW - 1, M::kBarHeight), 0x123456u);
    bool black = false;
    const MenuRect& file = view.bar_items()[0];
    for (int y = 0; y < M::kBarHeight; ++y)
        for (int x = file.x; x < file.x + file.w; ++x) black |= px(x, y) == 0;
    EXPECT_TRUE(black);

    MenuBar bar = sample_bar();
    bar.menus[1][0].checked = true;
    check_screen_mode(bar, false);
    view.set_bar(bar, kW, kH);
    auto count = [&](const MenuRect& r, int x0, int x1, uint32_t colour) {
        int n = 0;
        for (int y = r.y; y < r.y + r.h; ++y)
            for (int x = r.x + x0; x < r.x + x1; ++x) n += px(x, y) == colour;
        return n;
    };
    auto [fx, fy] = bar_point(0);
    view.press(fx, fy);
    view.draw_popups(frame.data(), kW, kH);
    const PopupLayout& p = view.popups()[0];
    EXPECT_EQ(px(p.frame.x, p.frame.y), 0x808080u);                   // border
    EXPECT_GT(count(p.items[0], 0, M::kMarkWidth, 0), 0);             // check mark
    EXPECT_EQ(count(p.items[3], 0, M::kMarkWidth, 0), 0);             // no mark
    EXPECT_EQ(count(p.items[2], M::kMarkWidth, p.items[2].w, 0), 0);  // greyed text
    EXPECT_GT(count(p.items[2], M::kMarkWidth, p.items[2].w, 0x8C8C8C), 0);
    EXPECT_GT(count(p.items[3], p.items[3].w - M::kArrowWidth, p.items[3].w, 0), 0);  // arrow

    // The radio pair: a dot for the checked one only.
    auto [vx, vy] = bar_point(1);
    view.press(vx, vy);
    std::fill(frame.begin(), frame.end(), 0x123456);
    view.draw_popups(frame.data(), kW, kH);
    const PopupLayout& v = view.popups()[0];
    EXPECT_GT(count(v.items[0], 0, M::kMarkWidth, 0), 0);
    EXPECT_EQ(count(v.items[1], 0, M::kMarkWidth, 0), 0);
}

TEST(MenuLabels, MnemonicIsTheLetterAfterASingleAmpersand) {
    EXPECT_EQ(item_mnemonic("&File"), 'F');
    EXPECT_EQ(item_mnemonic("e&xit"), 'X');
    EXPECT_EQ(item_mnemonic("A&&B"), 0);
    EXPECT_EQ(item_mnemonic("A&&B&c"), 'C');
    EXPECT_EQ(item_mnemonic("Top&"), 0);
    EXPECT_EQ(item_mnemonic("&1st"), '1');
    // "ファイル(&F)" in CP932: the trail bytes are never taken for '&'.
    EXPECT_EQ(item_mnemonic("\x83\x74\x83\x40\x83\x43\x83\x8B(&F)"), 'F');
    EXPECT_EQ(item_mnemonic("&\x83\x74"), 0);
}

namespace {
constexpr int kAlt = 18, kF10 = 121, kEnter = 13, kEsc = 27, kSpace = 32;
constexpr int kLeft = 37, kUp = 38, kRight = 39, kDown = 40;
}  // namespace

TEST_F(MenuViewTest, AltAloneOrF10SelectsTheFirstTitleAndArrowsWalkTheBar) {
    int activations = 0;
    view.on_activate([&](MenuBar&) { ++activations; });
    EXPECT_FALSE(view.key_down(kAlt, true).consumed);  // Alt itself stays the scripts'
    EXPECT_FALSE(view.key_down(kAlt, true).consumed);  // auto-repeat
    MenuView::Result r = view.key_up(kAlt);
    EXPECT_TRUE(r.consumed);
    EXPECT_TRUE(r.redraw);
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(view.open_bar_item(), 0);
    EXPECT_FALSE(view.is_open());
    EXPECT_TRUE(view.has_keyboard());

    // Left and Right wrap around the titles.
    view.key_down(kLeft, false);
    EXPECT_EQ(view.open_bar_item(), 2);
    view.key_down(kRight, false);
    EXPECT_EQ(view.open_bar_item(), 0);
    view.key_down(kRight, false);
    EXPECT_EQ(view.open_bar_item(), 1);
    EXPECT_FALSE(view.is_open());
    // Every key belongs to the menu now, releases too; Escape leaves the bar.
    EXPECT_TRUE(view.key_down('Q', false).consumed);
    EXPECT_TRUE(view.key_up('Q').consumed);
    EXPECT_TRUE(view.key_down(kEsc, false).consumed);
    EXPECT_FALSE(view.has_keyboard());

    // F10 does the same; pressing it again leaves.
    EXPECT_TRUE(view.key_down(kF10, false).consumed);
    EXPECT_EQ(view.open_bar_item(), 0);
    EXPECT_EQ(activations, 2);
    view.key_down(kF10, false);
    EXPECT_FALSE(view.has_keyboard());

    // Alt with another key, or with a click, in between is not Alt alone.
    view.key_down(kAlt, true);
    view.key_down('Z', true);
    EXPECT_FALSE(view.key_up(kAlt).consumed);
    view.key_down(kAlt, true);
    view.press(kW - 1, kH - 1);
    EXPECT_FALSE(view.key_up(kAlt).consumed);
    view.key_down(kAlt, true);
    view.reset_keys();  // the window lost the keyboard
    EXPECT_FALSE(view.key_up(kAlt).consumed);
    EXPECT_FALSE(view.has_keyboard());

    // Alt while the menu has the keyboard leaves it, and its release does
    // not come back.
    view.key_down(kF10, false);
    EXPECT_TRUE(view.key_down(kAlt, true).consumed);
    EXPECT_FALSE(view.has_keyboard());
    EXPECT_FALSE(view.key_up(kAlt).consumed);
    EXPECT_FALSE(view.has_keyboard());
}

TEST_F(MenuViewTest, PopupsOpenWithTheirFirstItemAndArrowsSkipWhatCannotBeChosen) {
    view.key_down(kF10, false);
    view.key_down(kDown, false);
    ASSERT_TRUE(view.is_open());
    EXPECT_EQ(view.popups()[0].menu, 1);
    EXPECT_EQ(view.popups()[0].hot, 0);
    // Open, (separator), (Gone: disabled), More: down skips to More and wraps.
    view.key_down(kDown, false);
    EXPECT_EQ(view.popups()[0].hot, 3);
    view.key_down(kDown, false);
    EXPECT_EQ(view.popups()[0].hot, 0);
    view.key_down(kUp, false);
    EXPECT_EQ(view.popups()[0].hot, 3);
    // Right on a submenu item opens it; Left closes it again.
    view.key_down(kRight, false);
    ASSERT_EQ(view.popups().size(), 2u);
    EXPECT_EQ(view.popups()[1].menu, 3);
    EXPECT_EQ(view.popups()[1].hot, 0);
    view.key_down(kLeft, false);
    EXPECT_EQ(view.popups().size(), 1u);
    // Right on a plain item moves to the next title and keeps a menu open.
    view.key_down(kUp, false);
    EXPECT_EQ(view.popups()[0].hot, 0);
    view.key_down(kRight, false);
    EXPECT_EQ(view.open_bar_item(), 1);
    ASSERT_TRUE(view.is_open());
    EXPECT_EQ(view.popups()[0].menu, 2);
    EXPECT_EQ(view.popups()[0].hot, 0);
    // Left from the first title wraps to the last one: a command, so
    // nothing opens below it.
    view.key_down(kLeft, false);
    view.key_down(kLeft, false);
    EXPECT_EQ(view.open_bar_item(), 2);
    EXPECT_FALSE(view.is_open());
    // Up on a title opens its menu at the last item.
    view.key_down(kRight, false);
    view.key_down(kUp, false);
    EXPECT_EQ(view.popups()[0].hot, 3);

    // Enter on a submenu item opens it; Enter then chooses, as a click does.
    EXPECT_FALSE(view.key_down(kEnter, false).command);
    ASSERT_EQ(view.popups().size(), 2u);
    MenuView::Result r = view.key_down(kEnter, false);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 30);
    EXPECT_FALSE(view.has_keyboard());

    // Space chooses too; Enter on a command title chooses it at once.
    view.key_down(kF10, false);
    view.key_down(kDown, false);
    r = view.key_down(kSpace, false);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 10);
    view.key_down(kF10, false);
    view.key_down(kLeft, false);
    r = view.key_down(kEnter, false);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 3);
    EXPECT_FALSE(view.has_keyboard());
}

TEST_F(MenuViewTest, MnemonicsOpenMenusAndChooseItems) {
    // Alt with a title's letter opens that menu; the letter's character is
    // the menu's, not typed.
    MenuView::Result r = view.key_down('F', true);
    EXPECT_TRUE(r.consumed);
    ASSERT_TRUE(view.is_open());
    EXPECT_EQ(view.open_bar_item(), 0);
    EXPECT_EQ(view.popups()[0].hot, 0);
    // Inside the popup a letter alone chooses; a submenu's letter opens it.
    view.key_down('M', false);
    ASSERT_EQ(view.popups().size(), 2u);
    r = view.key_down('D', false);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 30);
    // An unknown letter inside the menu does nothing but is still its own.
    view.key_down('F', true);
    r = view.key_down('Q', false);
    EXPECT_TRUE(r.consumed);
    EXPECT_FALSE(r.command);
    view.close();

    // Alt with a command title's letter chooses it at once.
    r = view.key_down('G', true);
    ASSERT_TRUE(r.command);
    EXPECT_EQ(*r.command, 3);
    // Letters nobody owns, and letters without Alt, stay the scripts'.
    EXPECT_FALSE(view.key_down('Q', true).consumed);
    EXPECT_FALSE(view.key_down('F', false).consumed);
    EXPECT_FALSE(view.has_keyboard());
}

TEST_F(MenuViewTest, AltEnterIsNeverTheMenus) {
    // Alt down, Enter down and up with Alt held, Alt up: all of it goes on
    // to the window (the full-screen switch acts on Enter's release).
    EXPECT_FALSE(view.key_down(kAlt, true).consumed);
    EXPECT_FALSE(view.key_down(kEnter, true).consumed);
    EXPECT_FALSE(view.key_up(kEnter).consumed);
    EXPECT_FALSE(view.key_up(kAlt).consumed);
    EXPECT_FALSE(view.has_keyboard());
    // With the menu selected, Alt leaves it first, so Enter is free again.
    view.key_down(kF10, false);
    view.key_down(kAlt, true);
    EXPECT_FALSE(view.key_down(kEnter, true).consumed);
    EXPECT_FALSE(view.key_up(kEnter).consumed);
}

// The window may hand over a new bar when the menu is entered (a script rebuilt
// it meanwhile): keys and clicks act on the new bar, never on the old one.
TEST_F(MenuViewTest, KeysAndClicksUseTheBarHandedOverOnEntry) {
    auto shrink = [](MenuBar& bar) {
        MenuBar small;
        small.menus.resize(2);
        small.menus[0] = {item(1, "&File", MenuItem::Popup, 1)};
        small.menus[1] = {item(10, "&Open")};
        bar = small;
    };
    view.on_activate(shrink);
    // "Go" was the third title; the new bar has one.
    MenuView::Result r = view.key_down('G', true);
    EXPECT_FALSE(r.command);
    EXPECT_FALSE(view.is_open());

    view.set_bar(sample_bar(), kW, kH);
    view.on_activate(shrink);
    auto [x, y] = bar_point(2);  // where "Go" was drawn
    r = view.press(x, y);
    EXPECT_FALSE(r.command);
    EXPECT_FALSE(view.is_open());
    EXPECT_EQ(view.bar_items().size(), 1u);
}
