// The menu bar the window draws itself: layout of the bar and its popups,
// hit-testing, what presses, releases, moves and Escape do, and drawing into
// a frame of 0x00RRGGBB pixels. No window system involved.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/text_raster.h"
#include "shell/canvas.h"
#include "shell/menu_model.h"

namespace tob {

using MenuRect = PixelRect;

// Sizes in frame pixels.
struct MenuMetrics {
    static constexpr int kBarHeight = 20;
    static constexpr int kBarPadding = 7;  // left and right of a bar item's text
    static constexpr int kItemHeight = 20;
    static constexpr int kSeparatorHeight = 8;
    static constexpr int kMarkWidth = 20;   // the check-mark column of a popup
    static constexpr int kArrowWidth = 18;  // the submenu-arrow column
    static constexpr int kBorder = 2;
    static constexpr int kMinPopupWidth = 80;
    static constexpr int kFontHeight = 12;
};

// The window's own commands offered through menu items.
enum MenuCommand : int32_t {
    kMenuClose = 40001,
    kMenuRestart = 40002,
    kMenuWindowed = 40003,
    kMenuFullScreen = 40004,
};

// One open popup: which menu, where, and the item under the pointer.
struct PopupLayout {
    int menu = -1;
    MenuRect frame;
    std::vector<MenuRect> items;
    int hot = -1;
};

// The text an item shows: '&' marks the next letter as its key and is not
// drawn ("&&" draws one '&'); a tab separates a right-aligned shortcut.
struct ItemLabel {
    std::string text_utf8;
    std::string shortcut_utf8;
};
ItemLabel item_label(const std::string& text_cp932);
// The key of an item: the upper-case ASCII letter or digit after a single
// '&' in its text, 0 when there is none.
char item_mnemonic(const std::string& text_cp932);

std::vector<MenuRect> layout_bar(const MenuBar& bar, const platform::Font& font);
// A popup with its top-left at (x, y) if it fits, moved inside the frame
// otherwise.
PopupLayout layout_popup(const MenuBar& bar, int menu, int x, int y, const platform::Font& font,
                         int frame_width, int frame_height);
// Shows the radio pair 40003/40004 as the screen is: 40004 checked in full
// screen, 40003 otherwise, the other one cleared, in whichever menu holds them.
void check_screen_mode(MenuBar& bar, bool full_screen);

// What the window does for the commands it knows of.
struct MenuActions {
    std::function<void()> close, restart;
    std::function<void(bool on)> set_full_screen;
};
// A chosen item: its identifier becomes the last menu command (the low 16
// bits, as the window reports commands), then 40001–40004 act.
void run_menu_command(int32_t id, bool full_screen, const MenuActions& actions);

class MenuView {
  public:
    struct Result {
        bool consumed = false;  // the event belongs to the menu, not to the scripts
        bool redraw = false;
        std::optional<int32_t> command;  // an item was chosen
    };

    explicit MenuView(const platform::Font& font) : font_(font) {}
    // A new bar (closes what is open). The frame size bounds the popups.
    void set_bar(MenuBar bar, int frame_width, int frame_height);
    const MenuBar& bar() const { return bar_; }
    // Called when the menu is entered from the bar, before anything opens.
    void on_activate(std::function<void(MenuBar&)> hook) { activate_ = std::move(hook); }

    // Pointer events in frame coordinates; the bar occupies the top strip.
    Result press(int x, int y);
    Result release(int x, int y);
    Result motion(int x, int y);
    // Escape: closes the deepest popup; with only the title left selected,
    // leaves the bar.
    Result escape();
    void close();

    // Keys (virtual-key codes) while the window has the keyboard; `alt` tells
    // whether Alt is held (menu_keys.cpp). Alt or F10 alone selects the first
    // title, arrows move, Enter or Space choose, letters choose by mnemonic.
    Result key_down(int key, bool alt);
    Result key_up(int key);
    // Forgets the state of Alt (the window lost the keyboard).
    void reset_keys();
    // The menu has the keyboard: a title is selected or a popup is open.
    bool has_keyboard() const { return bar_open_ >= 0 || is_open(); }
    // A new frame size; what is open stays open when the size is the same.
    void set_frame(int frame_width, int frame_height);

    bool is_open() const { return !popups_.empty(); }
    int open_bar_item() const { return bar_open_; }
    std::span<const MenuRect> bar_items() const { return bar_items_; }
    std::span<const PopupLayout> popups() const { return popups_; }

    // Draws the bar over rows 0 … kBarHeight − 1 of the frame.
    void draw_bar(uint32_t* pixels, int width, int height) const;
    // Draws the open popups over the frame.
    void draw_popups(uint32_t* pixels, int width, int height) const;

  private:
    bool enabled_popup(const MenuItem& item) const;
    void open_bar(int index);
    void open_submenu(size_t level, int item);
    // The popup level and item under (x, y), topmost level first.
    std::optional<std::pair<size_t, int>> popup_item_at(int x, int y) const;
    int bar_item_at(int x, int y) const;
    const MenuItem& item(const PopupLayout& p, int i) const {
        return bar_.menus[size_t(p.menu)][size_t(i)];
    }
    // Keyboard helpers (menu_keys.cpp).
    void activate();
    Result choose_title(int index);
    Result choose_hot();
    Result move_along_bar(int step);
    void open_submenu_by_key(size_t level, int index);
    void select_first_item(bool last);

    const platform::Font& font_;
    MenuBar bar_;
    std::vector<MenuRect> bar_items_;
    std::vector<PopupLayout> popups_;
    int bar_open_ = -1;
    bool tracking_ = false;  // a press began in the menu; its release belongs to it too
    bool alt_held_ = false;
    bool alt_alone_ = false;  // Alt went down and nothing else happened since
    int frame_width_ = 0, frame_height_ = 0;
    std::function<void(MenuBar&)> activate_;
};

}  // namespace tob
