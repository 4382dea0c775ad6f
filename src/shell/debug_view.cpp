// The debug output window's behaviour and drawing: lines added and scrolled,
// the scroll bars' arrows, tracks and thumbs, the two buttons, and the frame.
#include "shell/debug_view.h"

#include <algorithm>

#include "platform/cp932.h"

namespace tob {
namespace {

using L = DebugLayout;

// Virtual-key codes.
constexpr int kKeyPageUp = 33, kKeyPageDown = 34, kKeyEnd = 35, kKeyHome = 36;
constexpr int kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40;

constexpr const char* kClearLabel = "クリア(&C)";
constexpr const char* kCloseLabel = "閉じる(&X)";
constexpr int kClearKey = 'C', kCloseKey = 'X';

constexpr uint32_t kFaceColour = 0xF0F0F0;
constexpr uint32_t kListColour = 0xFFFFFF;
constexpr uint32_t kListBorder = 0x828790;
constexpr uint32_t kTextColour = 0x000000;
constexpr uint32_t kTrackColour = 0xE8E8E8;
constexpr uint32_t kThumbColour = 0xC2C2C2;
constexpr uint32_t kThumbPressed = 0x808080;
constexpr uint32_t kArrowColour = 0x606060;
constexpr uint32_t kArrowDisabled = 0xBFBFBF;
constexpr uint32_t kButtonFace = 0xE1E1E1;
constexpr uint32_t kButtonBorder = 0xADADAD;
constexpr uint32_t kButtonPressedFace = 0xCCE4F7;
constexpr uint32_t kButtonPressedBorder = 0x005499;

enum class Direction { Up, Down, Left, Right };

void draw_arrow(const Canvas& c, PixelRect r, Direction d, uint32_t colour) {
    int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
    for (int i = 0; i < 4; ++i) {
        int grow = d == Direction::Up || d == Direction::Left ? i : 3 - i;
        if (d == Direction::Up || d == Direction::Down)
            c.fill({cx - grow, cy - 2 + i, 2 * grow + 1, 1}, colour);
        else
            c.fill({cx - 2 + i, cy - grow, 1, 2 * grow + 1}, colour);
    }
}

void draw_scroll_bar(const Canvas& c, const ScrollBarParts& p, bool vertical, bool thumb_pressed) {
    c.fill(p.track, kTrackColour);
    c.fill(p.less, kFaceColour);
    c.fill(p.more, kFaceColour);
    uint32_t arrow = p.enabled ? kArrowColour : kArrowDisabled;
    draw_arrow(c, p.less, vertical ? Direction::Up : Direction::Left, arrow);
    draw_arrow(c, p.more, vertical ? Direction::Down : Direction::Right, arrow);
    if (!p.enabled) return;
    PixelRect t = p.thumb;
    // A little narrower than the bar, as thumbs are drawn.
    if (vertical)
        t = {t.x + 2, t.y, t.w - 4, t.h};
    else
        t = {t.x, t.y + 2, t.w, t.h - 4};
    c.fill(t, thumb_pressed ? kThumbPressed : kThumbColour);
}

// A push button: its label without the '&', the letter after it underlined.
void draw_button(const Canvas& c, const platform::Font& font, PixelRect r, const char* label,
                 bool pressed) {
    c.fill(r, pressed ? kButtonPressedFace : kButtonFace);
    c.frame(r, pressed ? kButtonPressedBorder : kButtonBorder);
    std::string text = label;
    size_t amp = text.find('&');
    std::string before, letter;
    if (amp != std::string::npos) {
        before = text.substr(0, amp);
        letter = text.substr(amp + 1, 1);
        text.erase(amp, 1);
    }
    int w = font.measure(text).width;
    int x = r.x + (r.w - w) / 2 + (pressed ? 1 : 0);
    int y = r.y + (r.h - font.cell_height()) / 2 + (pressed ? 1 : 0);
    c.text(font, text, x, y, r.x + r.w - 1, kTextColour);
    if (!letter.empty()) {
        int ux = x + font.measure(before).width;
        c.fill({ux, y + font.ascent() + 1, font.measure(letter).width, 1}, kTextColour);
    }
}

}  // namespace

ScrollBarParts scroll_bar_parts(PixelRect bar, bool vertical, int64_t position, int64_t maximum,
                                int64_t page) {
    ScrollBarParts p;
    int length = vertical ? bar.h : bar.w;
    int arrow = std::min(L::kScrollBar, length / 2);
    int track = length - 2 * arrow;
    if (vertical) {
        p.less = {bar.x, bar.y, bar.w, arrow};
        p.more = {bar.x, bar.y + bar.h - arrow, bar.w, arrow};
        p.track = {bar.x, bar.y + arrow, bar.w, track};
    } else {
        p.less = {bar.x, bar.y, arrow, bar.h};
        p.more = {bar.x + bar.w - arrow, bar.y, arrow, bar.h};
        p.track = {bar.x + arrow, bar.y, track, bar.h};
    }
    p.enabled = maximum > 0 && track > 0;
    if (!p.enabled) return p;
    page = std::max<int64_t>(page, 1);
    int thumb = int(std::clamp<int64_t>(int64_t(track) * page / (maximum + page),
                                        std::min(L::kMinThumb, track), track));
    int offset = int(int64_t(track - thumb) * std::clamp<int64_t>(position, 0, maximum) / maximum);
    if (vertical)
        p.thumb = {bar.x, p.track.y + offset, bar.w, thumb};
    else
        p.thumb = {p.track.x + offset, bar.y, thumb, bar.h};
    return p;
}

std::string debug_line_text(std::string_view cp932) {
    while (!cp932.empty() && (cp932.back() == '\n' || cp932.back() == '\r')) cp932.remove_suffix(1);
    std::string utf8 = cp932_to_utf8(cp932);
    for (char& ch : utf8)
        if (uint8_t(ch) < 0x20 || ch == 0x7F) ch = ' ';
    return utf8;
}

DebugView::DebugView(const platform::Font& font)
    : font_(font), row_height_(std::max(font.cell_height() + 1, 1)) {
    log_.set_view(L::kLines.h / row_height_, L::kLines.w);
}

void DebugView::add_text(std::string_view cp932) {
    std::string line = debug_line_text(cp932);
    int width = font_.measure(line).width;
    log_.add(std::move(line), width);
}

ScrollBarParts DebugView::vertical() const {
    return scroll_bar_parts(L::kVerticalBar, true, int64_t(log_.top()), int64_t(log_.max_top()),
                            log_.rows());
}

ScrollBarParts DebugView::horizontal() const {
    return scroll_bar_parts(L::kHorizontalBar, false, log_.left(), log_.max_left(),
                            log_.view_width());
}

bool DebugView::press_bar(const ScrollBarParts& p, bool vertical, int x, int y) {
    auto scroll = [&](int64_t lines, int64_t pages) {
        if (vertical) {
            log_.scroll_lines(lines);
            log_.scroll_pages(pages);
        } else {
            log_.set_left(log_.left() + lines * L::kColumnStep + pages * log_.view_width());
        }
    };
    if (p.less.contains(x, y)) {
        scroll(-1, 0);
    } else if (p.more.contains(x, y)) {
        scroll(1, 0);
    } else if (p.track.contains(x, y)) {
        if (!p.enabled) return true;
        int at = vertical ? y : x;
        int start = vertical ? p.thumb.y : p.thumb.x;
        int length = vertical ? p.thumb.h : p.thumb.w;
        if (at < start) {
            scroll(0, -1);
        } else if (at >= start + length) {
            scroll(0, 1);
        } else {
            pressed_ = vertical ? Part::VerticalThumb : Part::HorizontalThumb;
            grab_ = at - start;
        }
    } else {
        return false;
    }
    return true;
}

DebugView::Result DebugView::press(int x, int y) {
    Result r;
    if (L::kClearButton.contains(x, y)) {
        pressed_ = Part::ClearButton;
    } else if (L::kCloseButton.contains(x, y)) {
        pressed_ = Part::CloseButton;
    } else if (!press_bar(vertical(), true, x, y) && !press_bar(horizontal(), false, x, y)) {
        return r;
    }
    r.redraw = true;
    return r;
}

DebugView::Result DebugView::release(int x, int y) {
    Result r;
    if (pressed_ == Part::None) return r;
    // A button acts when the press and the release are both on it.
    if (pressed_ == Part::ClearButton && L::kClearButton.contains(x, y)) r.action = Action::Clear;
    if (pressed_ == Part::CloseButton && L::kCloseButton.contains(x, y)) r.action = Action::Close;
    if (r.action == Action::Clear) log_.clear();
    pressed_ = Part::None;
    r.redraw = true;
    return r;
}

DebugView::Result DebugView::motion(int x, int y) {
    Result r;
    bool is_vertical = pressed_ == Part::VerticalThumb;
    if (!is_vertical && pressed_ != Part::HorizontalThumb) return r;
    // The thumb follows the pointer; the position follows the thumb.
    ScrollBarParts p = is_vertical ? vertical() : horizontal();
    int track = is_vertical ? p.track.h - p.thumb.h : p.track.w - p.thumb.w;
    int start = (is_vertical ? y - p.track.y : x - p.track.x) - grab_;
    if (track <= 0) return r;
    int64_t maximum = is_vertical ? int64_t(log_.max_top()) : log_.max_left();
    int64_t position = (int64_t(std::clamp(start, 0, track)) * maximum + track / 2) / track;
    size_t top = log_.top();
    int left = log_.left();
    if (is_vertical)
        log_.set_top(position);
    else
        log_.set_left(position);
    r.redraw = top != log_.top() || left != log_.left();
    return r;
}

DebugView::Result DebugView::wheel(int delta) {
    Result r;
    size_t top = log_.top();
    // A notch turned away from the user scrolls up.
    log_.scroll_lines(-int64_t(delta) * L::kWheelLines / 120);
    r.redraw = top != log_.top();
    return r;
}

DebugView::Result DebugView::key(int key, bool alt) {
    Result r;
    if (alt && key == kClearKey) {
        log_.clear();
        r.action = Action::Clear;
        r.redraw = true;
        return r;
    }
    if (alt && key == kCloseKey) {
        r.action = Action::Close;
        return r;
    }
    size_t top = log_.top();
    int left = log_.left();
    switch (key) {
        case kKeyUp:
            log_.scroll_lines(-1);
            break;
        case kKeyDown:
            log_.scroll_lines(1);
            break;
        case kKeyPageUp:
            log_.scroll_pages(-1);
            break;
        case kKeyPageDown:
            log_.scroll_pages(1);
            break;
        case kKeyHome:
            log_.set_top(0);
            break;
        case kKeyEnd:
            log_.set_top(int64_t(log_.size()));
            break;
        case kKeyLeft:
            log_.set_left(left - L::kColumnStep);
            break;
        case kKeyRight:
            log_.set_left(left + L::kColumnStep);
            break;
        default:
            break;
    }
    r.redraw = top != log_.top() || left != log_.left();
    return r;
}

void DebugView::draw(uint32_t* pixels, int width, int height) const {
    Canvas c{pixels, width, height};
    c.fill({0, 0, width, height}, kFaceColour);
    c.frame(L::kList, kListBorder);
    c.fill(L::kInside, kListColour);

    Canvas lines = c;
    lines.clip = L::kLines;
    int text_y = (row_height_ - font_.cell_height()) / 2;
    // Whole rows and the part of one more, as a list without integral height.
    for (size_t row = 0; int(row) * row_height_ < L::kLines.h; ++row) {
        size_t i = log_.top() + row;
        if (i >= log_.size()) break;
        lines.text(font_, log_.line(i), L::kLines.x + L::kTextIndent - log_.left(),
                   L::kLines.y + int(row) * row_height_ + text_y, L::kLines.x + L::kLines.w,
                   kTextColour);
    }

    draw_scroll_bar(c, vertical(), true, pressed_ == Part::VerticalThumb);
    draw_scroll_bar(c, horizontal(), false, pressed_ == Part::HorizontalThumb);
    c.fill({L::kVerticalBar.x, L::kHorizontalBar.y, L::kScrollBar, L::kScrollBar}, kFaceColour);

    draw_button(c, font_, L::kClearButton, kClearLabel, pressed_ == Part::ClearButton);
    draw_button(c, font_, L::kCloseButton, kCloseLabel, pressed_ == Part::CloseButton);
}

}  // namespace tob
