// Keyboard use of the self-drawn menu bar: Alt or F10 alone selects the bar,
// Alt with an item's letter opens that menu, arrows move between titles and
// items, Enter or Space choose, Escape backs out one step at a time.
#include "shell/menu_view.h"

namespace tob {
namespace {

// Virtual-key codes.
constexpr int kKeyEnter = 13;
constexpr int kKeyAlt = 18;
constexpr int kKeyEscape = 27;
constexpr int kKeySpace = 32;
constexpr int kKeyLeft = 37;
constexpr int kKeyUp = 38;
constexpr int kKeyRight = 39;
constexpr int kKeyDown = 40;
constexpr int kKeyF10 = 121;

bool letter_or_digit(int key) {
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
}

bool choosable(const MenuItem& i) {
    return i.kind != MenuItem::Separator && !i.disabled;
}

// The first item whose mnemonic is `key`, or -1.
int find_mnemonic(const std::vector<MenuItem>& items, int key) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].kind != MenuItem::Separator && item_mnemonic(items[i].text) == key)
            return int(i);
    return -1;
}

// The next choosable item from `from` in direction `step`, wrapping; -1 when
// there is none. From -1 the first (or, going up, the last) is found.
int step_item(const std::vector<MenuItem>& items, int from, int step) {
    int n = int(items.size());
    if (n == 0) return -1;
    if (from < 0) from = step > 0 ? -1 : n;
    for (int k = 1; k <= n; ++k) {
        int i = ((from + step * k) % n + n) % n;
        if (choosable(items[size_t(i)])) return i;
    }
    return -1;
}

}  // namespace

void MenuView::activate() {
    // Entering the menu from outside: the window may update the bar first.
    if (has_keyboard() || !activate_) return;
    activate_(bar_);
    bar_items_ = layout_bar(bar_, font_);
}

void MenuView::select_first_item(bool last) {
    if (popups_.empty()) return;
    PopupLayout& p = popups_.back();
    p.hot = step_item(bar_.menus[size_t(p.menu)], -1, last ? -1 : 1);
}

void MenuView::open_submenu_by_key(size_t level, int index) {
    popups_[level].hot = index;
    open_submenu(level, index);
    if (popups_.size() == level + 2) select_first_item(false);
}

MenuView::Result MenuView::choose_title(int index) {
    Result r;
    r.consumed = r.redraw = true;
    const MenuItem& t = bar_.menus[0][size_t(index)];
    if (t.kind != MenuItem::Popup && choosable(t)) {
        close();  // a command right on the bar is chosen at once
        r.command = t.id;
        return r;
    }
    open_bar(index);
    select_first_item(false);
    return r;
}

MenuView::Result MenuView::choose_hot() {
    Result r;
    r.consumed = true;
    size_t level = popups_.size() - 1;
    const PopupLayout& p = popups_[level];
    if (p.hot < 0) return r;
    const MenuItem& i = item(p, p.hot);
    if (i.kind == MenuItem::Popup) {
        if (enabled_popup(i)) {
            open_submenu_by_key(level, p.hot);
            r.redraw = true;
        }
        return r;
    }
    if (!choosable(i)) return r;
    r.command = i.id;
    r.redraw = true;
    close();
    return r;
}

MenuView::Result MenuView::move_along_bar(int step) {
    Result r;
    r.consumed = r.redraw = true;
    const auto& titles = bar_.menus[0];
    int n = int(titles.size());
    int from = bar_open_ < 0 ? 0 : bar_open_;
    int next = from;
    for (int k = 1; k <= n; ++k) {
        int i = ((from + step * k) % n + n) % n;
        if (titles[size_t(i)].kind != MenuItem::Separator) {
            next = i;
            break;
        }
    }
    if (is_open()) {  // an open menu stays open on its neighbour
        open_bar(next);
        select_first_item(false);
    } else {
        popups_.clear();
        bar_open_ = next;
    }
    return r;
}

MenuView::Result MenuView::key_down(int key, bool alt) {
    Result r;
    if (bar_.empty()) {
        alt_alone_ = false;
        return r;
    }
    if (!has_keyboard()) {
        if (key == kKeyAlt) {
            if (!alt_held_) alt_alone_ = true;  // auto-repeat does not re-arm
            alt_held_ = true;
            return r;  // Alt itself stays the scripts' key
        }
        alt_alone_ = false;
        if (key == kKeyF10) {
            activate();
            bar_open_ = 0;
            r.consumed = r.redraw = true;
            return r;
        }
        if (alt && letter_or_digit(key)) {
            // The window may hand a new bar over first: look the letter up in that one.
            activate();
            if (bar_.menus.empty()) return r;
            int t = find_mnemonic(bar_.menus[0], key);
            if (t < 0) return r;
            return choose_title(t);
        }
        return r;
    }

    // The menu has the keyboard: every key is its own.
    r.consumed = true;
    if (key == kKeyAlt || key == kKeyF10) {
        // Alt or F10 again leaves the menu; releasing that Alt does not come back.
        if (key == kKeyAlt) alt_held_ = true;
        alt_alone_ = false;
        close();
        r.redraw = true;
        return r;
    }
    if (key == kKeyEscape) return escape();
    if (bar_open_ < 0) bar_open_ = 0;
    switch (key) {
        case kKeyLeft:
            if (popups_.size() > 1) {
                popups_.pop_back();
                r.redraw = true;
                return r;
            }
            return move_along_bar(-1);
        case kKeyRight:
            if (is_open()) {
                const PopupLayout& p = popups_.back();
                if (p.hot >= 0 && enabled_popup(item(p, p.hot))) {
                    open_submenu_by_key(popups_.size() - 1, p.hot);
                    r.redraw = true;
                    return r;
                }
            }
            return move_along_bar(1);
        case kKeyUp:
        case kKeyDown: {
            bool down = key == kKeyDown;
            if (!is_open()) {
                if (bar_.menus[0][size_t(bar_open_)].kind == MenuItem::Popup) {
                    open_bar(bar_open_);
                    select_first_item(!down);
                    r.redraw = true;
                }
                return r;
            }
            PopupLayout& p = popups_.back();
            int next = step_item(bar_.menus[size_t(p.menu)], p.hot, down ? 1 : -1);
            if (next >= 0 && next != p.hot) {
                p.hot = next;
                r.redraw = true;
            }
            return r;
        }
        case kKeyEnter:
        case kKeySpace:
            if (!is_open()) return choose_title(bar_open_);
            return choose_hot();
        default:
            break;
    }
    if (!letter_or_digit(key)) return r;
    if (!is_open()) {
        int t = find_mnemonic(bar_.menus[0], key);
        return t < 0 ? r : choose_title(t);
    }
    PopupLayout& p = popups_.back();
    int i = find_mnemonic(bar_.menus[size_t(p.menu)], key);
    if (i < 0) return r;
    p.hot = i;
    r = choose_hot();
    r.redraw = true;
    return r;
}

MenuView::Result MenuView::key_up(int key) {
    Result r;
    if (key != kKeyAlt) {
        r.consumed = has_keyboard();
        return r;
    }
    alt_held_ = false;
    bool alone = alt_alone_;
    alt_alone_ = false;
    if (has_keyboard()) {
        r.consumed = true;
        return r;
    }
    if (!alone || bar_.empty()) return r;
    activate();
    bar_open_ = 0;
    r.consumed = r.redraw = true;
    return r;
}

void MenuView::reset_keys() {
    alt_held_ = false;
    alt_alone_ = false;
}

}  // namespace tob
