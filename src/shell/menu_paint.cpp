// Drawing the self-drawn menu bar and its popups into a frame: flat colours,
// item texts blended from the font's coverage, check and radio marks,
// separators, greyed disabled items and the submenu arrow.
#include <algorithm>

#include "shell/canvas.h"
#include "shell/menu_view.h"

namespace tob {
namespace {

using M = MenuMetrics;

constexpr uint32_t kBarColour = 0xF0F0F0;
constexpr uint32_t kPopupColour = 0xF8F8F8;
constexpr uint32_t kBorderColour = 0x808080;
constexpr uint32_t kTextColour = 0x000000;
constexpr uint32_t kGreyColour = 0x8C8C8C;
constexpr uint32_t kHotColour = 0x3372C8;
constexpr uint32_t kHotTextColour = 0xFFFFFF;
constexpr uint32_t kSeparatorColour = 0xC8C8C8;

// A tick drawn with short lines, inside a square of side `s` at (x, y).
void draw_check(const Canvas& c, int x, int y, int s, uint32_t colour) {
    int mid = s / 2;
    for (int i = 0; i < s / 3; ++i) {  // the short stroke, down-right
        c.fill({x + 1 + i, y + mid + i - 1, 1, 3}, colour);
    }
    for (int i = 0; i < s - s / 3 - 1; ++i) {  // the long stroke, up-right
        c.fill({x + s / 3 + i, y + mid + s / 3 - 2 - i, 1, 3}, colour);
    }
}

void draw_dot(const Canvas& c, int cx, int cy, int r, uint32_t colour) {
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (dx * dx + dy * dy <= r * r + r / 2) c.fill({cx + dx, cy + dy, 1, 1}, colour);
}

void draw_arrow(const Canvas& c, int x, int cy, uint32_t colour) {
    for (int i = 0; i < 4; ++i) c.fill({x + i, cy - 3 + i, 1, 7 - 2 * i}, colour);
}

}  // namespace

void MenuView::draw_bar(uint32_t* pixels, int width, int height) const {
    Canvas c{pixels, width, height};
    c.fill({0, 0, width, M::kBarHeight}, kBarColour);
    c.fill({0, M::kBarHeight - 1, width, 1}, kSeparatorColour);
    if (bar_.menus.empty()) return;
    int text_y = (M::kBarHeight - font_.cell_height()) / 2;
    for (size_t i = 0; i < bar_items_.size(); ++i) {
        const MenuItem& item = bar_.menus[0][i];
        const MenuRect& r = bar_items_[i];
        bool hot = int(i) == bar_open_;
        if (hot) c.fill({r.x, r.y, r.w, r.h - 1}, kHotColour);
        uint32_t colour = hot ? kHotTextColour : item.disabled ? kGreyColour : kTextColour;
        c.text(font_, item_label(item.text).text_utf8, r.x + M::kBarPadding, r.y + text_y,
               r.x + r.w, colour);
    }
}

void MenuView::draw_popups(uint32_t* pixels, int width, int height) const {
    Canvas c{pixels, width, height};
    for (const PopupLayout& p : popups_) {
        c.fill(p.frame, kPopupColour);
        c.frame(p.frame, kBorderColour);
        for (size_t i = 0; i < p.items.size(); ++i) {
            const MenuItem& it = item(p, int(i));
            const MenuRect& r = p.items[i];
            if (it.kind == MenuItem::Separator) {
                c.fill({r.x + 2, r.y + r.h / 2, r.w - 4, 1}, kSeparatorColour);
                continue;
            }
            bool hot = int(i) == p.hot && !it.disabled;
            if (hot) c.fill(r, kHotColour);
            uint32_t colour = hot ? kHotTextColour : it.disabled ? kGreyColour : kTextColour;
            int mark = std::min(M::kMarkWidth, r.h) - 8;
            if (it.checked && it.kind == MenuItem::Radio)
                draw_dot(c, r.x + M::kMarkWidth / 2, r.y + r.h / 2, 3, colour);
            else if (it.checked)
                draw_check(c, r.x + (M::kMarkWidth - mark) / 2, r.y + (r.h - mark) / 2, mark,
                           colour);
            ItemLabel label = item_label(it.text);
            int text_y = r.y + (r.h - font_.cell_height()) / 2;
            int text_right = r.x + r.w - M::kArrowWidth;
            c.text(font_, label.text_utf8, r.x + M::kMarkWidth, text_y, text_right, colour);
            if (!label.shortcut_utf8.empty()) {
                int w = font_.measure(label.shortcut_utf8).width;
                c.text(font_, label.shortcut_utf8, text_right - w, text_y, text_right, colour);
            }
            if (it.kind == MenuItem::Popup)
                draw_arrow(c, r.x + r.w - M::kArrowWidth / 2 - 2, r.y + r.h / 2, colour);
        }
    }
}

}  // namespace tob
