// The debug output window of a window session with `DebugMode`: a second
// window the engine draws itself. `log_out` and `log_clear` hand their texts
// to an inbox that the window thread empties; F8 shows or hides the window.
#include <algorithm>

#include "media/media.h"
#include "platform/system_info.h"
#include "runtime/debug_output.h"
#include "shell/engine_host.h"
#include "shell/window_state.h"

namespace tob {
namespace {

constexpr const char* kDebugCaption = "Debug Output";
constexpr const char* kDebugFace = "ＭＳ Ｐゴシック";
constexpr int kGap = 8;  // between the main window and this one

}  // namespace

bool EngineHost::start_debug_window() {
    if (!window_ || options_.headless) return false;
    platform::WindowSpec spec;
    spec.title_utf8 = kDebugCaption;
    spec.width = DebugLayout::kWidth;
    spec.height = DebugLayout::kHeight;
    spec.tool = true;
    debug_window_ = platform::create_window(spec);
    if (!debug_window_) return false;
    platform::FontRequest request;
    request.face_utf8 = kDebugFace;
    request.cell_height = DebugLayout::kFontHeight;
    debug_font_ = platform::Font::open(request);
    debug_view_ = std::make_unique<DebugView>(*debug_font_);
    debug_frame_.assign(size_t(DebugLayout::kWidth) * DebugLayout::kHeight, 0);

    // Script threads only queue their texts; the first of a batch wakes the
    // window thread.
    DebugOutput out;
    out.write = [this](std::string_view text) {
        if (debug_inbox_.push_text(text)) queue_.post([this] { flush_debug_output(); });
    };
    out.clear = [this] {
        if (debug_inbox_.push_clear()) queue_.post([this] { flush_debug_output(); });
    };
    set_debug_output(std::move(out));

    // Beside the main window on the right, else on its left, else over it.
    int x = 0, y = 0, w = 0, h = 0;
    window_->position(x, y);
    window_->client_size(w, h);
    int desktop = platform::desktop_mode().width;
    int left = x + w + kGap;
    if (left + DebugLayout::kWidth > desktop) left = x - kGap - DebugLayout::kWidth;
    if (left < 0) left = x + w - DebugLayout::kWidth;
    debug_window_->move_to(std::max(left, 0), y);
    show_debug_window(true);
    window_->raise();  // the game keeps the keyboard
    return true;
}

void EngineHost::stop_debug_window() {
    // The output was taken away first: no script thread can still reach us.
    debug_inbox_.take();
    debug_window_.reset();
    debug_view_.reset();
    debug_font_.reset();
}

void EngineHost::flush_debug_output() {
    if (!debug_view_) return;
    std::vector<DebugInbox::Entry> entries = debug_inbox_.take();
    if (entries.empty()) return;
    for (DebugInbox::Entry& e : entries) {
        if (e.clear)
            debug_view_->clear();
        else
            debug_view_->add_text(e.text);
    }
    draw_debug_window();
}

void EngineHost::toggle_debug_window() {
    if (!debug_window_) {
        debug_visible_ = !debug_visible_;
        return;
    }
    show_debug_window(!debug_window_->visible());
}

void EngineHost::show_debug_window(bool shown) {
    if (!debug_window_) return;
    debug_window_->set_visible(shown);
    if (shown) draw_debug_window();
}

void EngineHost::draw_debug_window() {
    if (!debug_window_ || !debug_view_ || !debug_window_->visible()) return;
    debug_view_->draw(debug_frame_.data(), DebugLayout::kWidth, DebugLayout::kHeight);
    debug_window_->present(debug_frame_.data(), DebugLayout::kWidth, DebugLayout::kHeight);
}

void EngineHost::debug_window_event(const platform::WindowEvent& e) {
    using E = platform::WindowEvent;
    DebugView::Result r;
    switch (e.type) {
        case E::Close:
            show_debug_window(false);
            return;
        case E::Exposed:
            draw_debug_window();
            return;
        case E::FocusGained:
        case E::FocusLost:
            set_focus(true, e.type == E::FocusGained);
            return;
        case E::KeyDown:
            // F8 here works as in the main window.
            if (e.key == kVirtualKeyF8) {
                toggle_debug_window();
                return;
            }
            r = debug_view_->key(e.key, e.alt);
            break;
        case E::MouseDown:
            if (e.button == kLeftButton) r = debug_view_->press(e.x, e.y);
            break;
        case E::MouseUp:
            if (e.button == kLeftButton) r = debug_view_->release(e.x, e.y);
            break;
        case E::MouseMove:
            r = debug_view_->motion(e.x, e.y);
            break;
        case E::Wheel:
            r = debug_view_->wheel(e.wheel);
            break;
        default:
            return;  // typed text and the rest are not the scripts'
    }
    if (r.action == DebugView::Action::Close) {
        show_debug_window(false);
        return;
    }
    if (r.redraw || r.action != DebugView::Action::None) draw_debug_window();
}

}  // namespace tob
