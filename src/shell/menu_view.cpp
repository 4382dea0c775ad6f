// Layout and behaviour of the self-drawn menu bar: where the bar items and
// popup items go, which item a point hits, and what each pointer event and
// Escape do to the open popups.
#include "shell/menu_view.h"

#include <algorithm>

#include "platform/cp932.h"
#include "shell/window_state.h"

namespace tob {

using M = MenuMetrics;

ItemLabel item_label(const std::string& text_cp932) {
    // '&' and tab are below CP932's trail-byte range, so bytes can be scanned
    // one by one.
    std::string shown;
    for (size_t i = 0; i < text_cp932.size(); ++i) {
        if (text_cp932[i] != '&')
            shown += text_cp932[i];
        else if (i + 1 < text_cp932.size() && text_cp932[i + 1] == '&')
            shown += text_cp932[++i];
    }
    ItemLabel label;
    size_t tab = shown.find('\t');
    label.text_utf8 = cp932_to_utf8(std::string_view(shown).substr(0, tab));
    if (tab != std::string::npos)
        label.shortcut_utf8 = cp932_to_utf8(std::string_view(shown).substr(tab + 1));
    return label;
}

char item_mnemonic(const std::string& t) {
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] != '&') continue;
        if (t[i + 1] == '&') {
            ++i;
            continue;
        }
        unsigned char c = uint8_t(t[i + 1]);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return char(c);
        if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
        return 0;
    }
    return 0;
}

std::vector<MenuRect> layout_bar(const MenuBar& bar, const platform::Font& font) {
    std::vector<MenuRect> out;
    if (bar.menus.empty()) return out;
    int x = 0;
    for (const MenuItem& item : bar.menus[0]) {
        int w = font.measure(item_label(item.text).text_utf8).width + 2 * M::kBarPadding;
        out.push_back({x, 0, w, M::kBarHeight});
        x += w;
    }
    return out;
}

PopupLayout layout_popup(const MenuBar& bar, int menu, int x, int y, const platform::Font& font,
                         int frame_width, int frame_height) {
    PopupLayout p;
    p.menu = menu;
    const auto& items = bar.menus[size_t(menu)];
    int text_w = 0, shortcut_w = 0, h = M::kBorder;
    for (const MenuItem& item : items) {
        ItemLabel label = item_label(item.text);
        text_w = std::max(text_w, font.measure(label.text_utf8).width);
        if (!label.shortcut_utf8.empty())
            shortcut_w = std::max(shortcut_w, font.measure(label.shortcut_utf8).width + 12);
        int ih = item.kind == MenuItem::Separator ? M::kSeparatorHeight : M::kItemHeight;
        p.items.push_back({0, h, 0, ih});
        h += ih;
    }
    h += M::kBorder;
    int w = std::max(M::kMinPopupWidth,
                     2 * M::kBorder + M::kMarkWidth + text_w + shortcut_w + M::kArrowWidth);
    // Keep it inside the frame where it can be.
    if (x + w > frame_width) x = std::max(0, frame_width - w);
    if (y + h > frame_height) y = std::max(0, frame_height - h);
    p.frame = {x, y, w, h};
    for (MenuRect& r : p.items) {
        r.x = x + M::kBorder;
        r.y += y;
        r.w = w - 2 * M::kBorder;
    }
    return p;
}

void check_screen_mode(MenuBar& bar, bool full_screen) {
    const int32_t chosen = full_screen ? kMenuFullScreen : kMenuWindowed;
    for (auto& menu : bar.menus) {
        auto it = std::find_if(menu.begin(), menu.end(),
                               [&](const MenuItem& i) { return i.id == chosen; });
        if (it == menu.end()) continue;
        for (MenuItem& i : menu)
            if (i.id >= kMenuWindowed && i.id <= kMenuFullScreen) i.checked = i.id == chosen;
        // A radio check draws as a dot, whatever the item was made as.
        if (it->kind == MenuItem::Command) it->kind = MenuItem::Radio;
    }
}

void run_menu_command(int32_t id, bool full_screen, const MenuActions& actions) {
    window_state().last_menu_command = uint32_t(id) & 0xFFFF;
    switch (id) {
        case kMenuClose:
            if (actions.close) actions.close();
            break;
        case kMenuRestart:
            if (actions.restart) actions.restart();
            break;
        case kMenuWindowed:
            if (full_screen && actions.set_full_screen) actions.set_full_screen(false);
            break;
        case kMenuFullScreen:
            if (!full_screen && actions.set_full_screen) actions.set_full_screen(true);
            break;
        default:
            break;
    }
}

void MenuView::set_bar(MenuBar bar, int frame_width, int frame_height) {
    bar_ = std::move(bar);
    frame_width_ = frame_width;
    frame_height_ = frame_height;
    close();
    bar_items_ = layout_bar(bar_, font_);
}

void MenuView::set_frame(int frame_width, int frame_height) {
    if (frame_width == frame_width_ && frame_height == frame_height_) return;
    set_bar(std::move(bar_), frame_width, frame_height);
}

void MenuView::close() {
    popups_.clear();
    bar_open_ = -1;
    tracking_ = false;
}

bool MenuView::enabled_popup(const MenuItem& i) const {
    return i.kind == MenuItem::Popup && !i.disabled && i.submenu > 0 &&
           size_t(i.submenu) < bar_.menus.size();
}

void MenuView::open_bar(int index) {
    popups_.clear();
    bar_open_ = index;
    const MenuItem& i = bar_.menus[0][size_t(index)];
    if (!enabled_popup(i)) return;
    const MenuRect& r = bar_items_[size_t(index)];
    popups_.push_back(
        layout_popup(bar_, i.submenu, r.x, r.y + r.h, font_, frame_width_, frame_height_));
}

void MenuView::open_submenu(size_t level, int index) {
    popups_.resize(level + 1);
    const PopupLayout& parent = popups_[level];
    const MenuItem& i = item(parent, index);
    if (!enabled_popup(i)) return;
    const MenuRect& r = parent.items[size_t(index)];
    PopupLayout sub = layout_popup(bar_, i.submenu, parent.frame.x + parent.frame.w - M::kBorder,
                                   r.y - M::kBorder, font_, frame_width_, frame_height_);
    // No room on the right: open on the left of the parent.
    if (sub.frame.x < parent.frame.x + parent.frame.w - M::kBorder) {
        int left = std::max(0, parent.frame.x - sub.frame.w + M::kBorder);
        for (MenuRect& ir : sub.items) ir.x += left - sub.frame.x;
        sub.frame.x = left;
    }
    popups_.push_back(std::move(sub));
}

std::optional<std::pair<size_t, int>> MenuView::popup_item_at(int x, int y) const {
    for (size_t level = popups_.size(); level-- > 0;) {
        const PopupLayout& p = popups_[level];
        if (!p.frame.contains(x, y)) continue;
        for (size_t i = 0; i < p.items.size(); ++i)
            if (p.items[i].contains(x, y)) return std::make_pair(level, int(i));
        return std::make_pair(level, -1);  // on the border
    }
    return std::nullopt;
}

int MenuView::bar_item_at(int x, int y) const {
    for (size_t i = 0; i < bar_items_.size(); ++i)
        if (bar_items_[i].contains(x, y)) return int(i);
    return -1;
}

MenuView::Result MenuView::press(int x, int y) {
    Result r;
    alt_alone_ = false;  // Alt with a click is not Alt alone
    if (auto hit = popup_item_at(x, y)) {
        auto [level, index] = *hit;
        r.consumed = true;
        tracking_ = true;
        if (index < 0) return r;
        popups_.resize(level + 1);
        popups_[level].hot = index;
        open_submenu(level, index);
        r.redraw = true;
        return r;
    }
    int b = bar_item_at(x, y);
    if (b >= 0) {
        r.consumed = r.redraw = true;
        if (bar_open_ == b) {  // a second press on the open item closes it
            close();
            return r;
        }
        if (bar_open_ < 0 && activate_) {
            // The window may hand a new bar over: find the press in that one.
            activate_(bar_);
            bar_items_ = layout_bar(bar_, font_);
            b = bar_item_at(x, y);
            if (b < 0) return r;
        }
        const MenuItem& item = bar_.menus[0][size_t(b)];
        if (item.kind != MenuItem::Popup && item.kind != MenuItem::Separator) {
            // A command right on the bar is chosen at once.
            close();
            if (!item.disabled) r.command = item.id;
            return r;
        }
        open_bar(b);
        tracking_ = true;
        return r;
    }
    if (y >= 0 && y < M::kBarHeight && !bar_.menus.empty()) {
        r.consumed = true;  // the empty end of the bar
        r.redraw = is_open();
        close();
        return r;
    }
    if (is_open() || bar_open_ >= 0) {  // a press elsewhere only closes the menu
        close();
        r.consumed = r.redraw = true;
    }
    return r;
}

MenuView::Result MenuView::release(int x, int y) {
    Result r;
    r.consumed = tracking_ || is_open();
    tracking_ = false;
    auto hit = popup_item_at(x, y);
    if (!hit || hit->second < 0) return r;
    const MenuItem& i = item(popups_[hit->first], hit->second);
    if (i.disabled || (i.kind != MenuItem::Command && i.kind != MenuItem::Radio)) return r;
    r.command = i.id;
    r.redraw = true;
    close();
    return r;
}

MenuView::Result MenuView::motion(int x, int y) {
    Result r;
    if (!is_open() && bar_open_ < 0) return r;
    r.consumed = true;
    if (auto hit = popup_item_at(x, y)) {
        auto [level, index] = *hit;
        PopupLayout& p = popups_[level];
        if (p.hot == index) return r;
        p.hot = index;
        if (index >= 0 && enabled_popup(item(p, index)))
            open_submenu(level, index);
        else
            popups_.resize(level + 1);
        r.redraw = true;
        return r;
    }
    int b = bar_item_at(x, y);
    if (b >= 0 && b != bar_open_) {  // sliding along the bar opens the next menu
        open_bar(b);
        r.redraw = true;
    }
    return r;
}

MenuView::Result MenuView::escape() {
    Result r;
    if (!is_open() && bar_open_ < 0) return r;
    r.consumed = r.redraw = true;
    tracking_ = false;
    if (popups_.size() > 1)
        popups_.pop_back();
    else if (is_open())
        popups_.clear();  // the title stays selected
    else
        close();
    return r;
}

}  // namespace tob
