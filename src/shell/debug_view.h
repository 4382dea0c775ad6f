// The debug output window as the engine draws it: a dialog of fixed size with
// a list of lines (vertical and horizontal scroll bars) and the buttons
// "クリア(&C)" and "閉じる(&X)"; what clicks, drags, the wheel and keys do.
// No window system involved: the host shows the frame and feeds the events.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text_raster.h"
#include "shell/canvas.h"
#include "shell/debug_log.h"

namespace tob {

// Where things are, in pixels (the dialog's layout at 1.5 pixels per dialog
// unit, as a 9-point font gives).
struct DebugLayout {
    static constexpr int kWidth = 297, kHeight = 195;
    static constexpr PixelRect kList{7, 7, 280, 145};
    static constexpr PixelRect kClearButton{153, 162, 60, 22};
    static constexpr PixelRect kCloseButton{225, 162, 60, 22};
    static constexpr int kScrollBar = 17;  // thickness of a scroll bar
    static constexpr int kMinThumb = 8;
    static constexpr int kTextIndent = 2;   // left of a line's text
    static constexpr int kColumnStep = 8;   // pixels per horizontal arrow click
    static constexpr int kWheelLines = 3;   // lines per wheel notch
    static constexpr int kFontHeight = 12;  // 9 points

    // Inside the list's border: the lines, and the two scroll bars.
    static constexpr PixelRect kInside{kList.x + 1, kList.y + 1, kList.w - 2, kList.h - 2};
    static constexpr PixelRect kLines{kInside.x, kInside.y, kInside.w - kScrollBar,
                                      kInside.h - kScrollBar};
    static constexpr PixelRect kVerticalBar{kLines.x + kLines.w, kInside.y, kScrollBar, kLines.h};
    static constexpr PixelRect kHorizontalBar{kInside.x, kLines.y + kLines.h, kLines.w, kScrollBar};
};

// The parts of one scroll bar: the two arrows, the track between them and the
// thumb on it. `enabled` is false when there is nothing to scroll.
struct ScrollBarParts {
    PixelRect less, more, track, thumb;
    bool enabled = false;
};
ScrollBarParts scroll_bar_parts(PixelRect bar, bool vertical, int64_t position, int64_t maximum,
                                int64_t page);

class DebugView {
  public:
    enum class Action { None, Clear, Close };
    struct Result {
        bool redraw = false;
        Action action = Action::None;
    };

    explicit DebugView(const platform::Font& font);

    // A text as `log_out` sent it (CP932): one line, measured with the font.
    void add_text(std::string_view cp932);
    void clear() { log_.clear(); }
    const DebugLog& log() const { return log_; }
    int row_height() const { return row_height_; }

    // Pointer events in window coordinates; `wheel` in units of 120 a notch.
    Result press(int x, int y);
    Result release(int x, int y);
    Result motion(int x, int y);
    Result wheel(int delta);
    // Keys (virtual-key codes): arrows, PageUp/PageDown and Home/End scroll,
    // Alt with a button's letter presses it.
    Result key(int key, bool alt);

    void draw(uint32_t* pixels, int width, int height) const;

  private:
    enum class Part { None, ClearButton, CloseButton, VerticalThumb, HorizontalThumb };
    ScrollBarParts vertical() const;
    ScrollBarParts horizontal() const;
    // Scrolls one bar for a press at (x, y) on it; false when not on it.
    bool press_bar(const ScrollBarParts& parts, bool vertical, int x, int y);

    const platform::Font& font_;
    DebugLog log_;
    int row_height_;
    Part pressed_ = Part::None;
    int grab_ = 0;  // where in the thumb it was grabbed
};

// The text a line shows: UTF-8, without a trailing line break, other control
// characters as spaces.
std::string debug_line_text(std::string_view cp932);

}  // namespace tob
