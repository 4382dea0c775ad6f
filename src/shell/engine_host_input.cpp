// The window thread's side of the input devices: the hooks the input
// built-ins reach the window through, the cursor (shown, confined, moved) in
// logical coordinates, the pointer outside the window, and recorded events.
#include <algorithm>

#include "graphics/pages.h"
#include "media/media.h"
#include "shell/engine_host.h"
#include "base/settings.h"
#include "shell/window_state.h"

namespace tob {
namespace {

int scale(int v, int to, int from) {
    return from > 0 ? int(int64_t(v) * to / from) : v;
}

}  // namespace

void EngineHost::start_input() {
    const Settings& s = settings();
    InputState& in = input_state();
    in.set_mode(s.input);
    InputHooks& h = input_hooks();
    h.send = [this](uint32_t message, uint32_t wparam, uint32_t lparam) {
        return send_window_command(message, wparam, lparam);
    };
    h.pointer_view = [] {
        const WindowState& w = window_state();
        PointerView v;
        v.active = w.app_active.load() != 0;
        v.client_width = w.client_width.load();
        v.client_height = w.client_height.load();
        v.width = settings().width;
        v.height = settings().height;
        v.menu_offset = w.menu_bar_offset.load();
        return v;
    };
    h.show_cursor = [this](bool shown) {
        queue_.send([this, shown] {
            if (window_) window_->show_cursor(shown);
            return 0u;
        });
    };
    h.clip_cursor = [this](std::optional<std::array<int32_t, 4>> r) {
        queue_.send([this, r] {
            if (!window_) return 0u;
            if (!r) {
                window_->confine_mouse(nullptr);
                return 0u;
            }
            int left = 0, top = 0, right = 0, bottom = 0;
            logical_to_window((*r)[0], (*r)[1], left, top);
            logical_to_window((*r)[2], (*r)[3], right, bottom);
            int rect[4] = {left, top, std::max(right - left, 1), std::max(bottom - top, 1)};
            window_->confine_mouse(rect);
            return 0u;
        });
    };
    h.set_cursor_pos = [this](int32_t x, int32_t y) {
        queue_.send([this, x, y] {
            if (!window_) return 0u;
            int wx = 0, wy = 0;
            logical_to_window(x, y, wx, wy);
            // Headless there is no cursor to move: the pointer is where the
            // last event (or this call) put it.
            if (!options_.headless) window_->warp_mouse(wx, wy);
            int ww = 0, wh = 0;
            window_->client_size(ww, wh);
            input_state().set_pointer(wx, wy - bar_pixels(wh));
            return 0u;
        });
    };
    if (!options_.events.empty())
        feeder_ = std::make_unique<platform::EventFeeder>(options_.events);
}

void EngineHost::stop_input() {
    input_hooks() = {};
    feeder_.reset();
    input_state().close_joysticks();
}

void EngineHost::logical_to_window(int32_t x, int32_t y, int& wx, int& wy) const {
    const Settings& s = settings();
    const WindowState& w = window_state();
    int ww = 0, wh = 0;
    window_->client_size(ww, wh);
    wx = scale(x, w.client_width.load(), s.width);
    wy = scale(y - w.menu_bar_offset.load(), w.client_height.load(), s.height) + bar_pixels(wh);
}

void EngineHost::poll_input() {
    if (!window_) return;
    if (feeder_) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - script_start_);
        feeder_->feed(uint32_t(std::clamp<int64_t>(elapsed.count(), 0, INT32_MAX)), window_->id());
    }
    // Over the window the events tell where the pointer is; elsewhere the
    // desktop's cursor does.
    if (!options_.headless && !window_->has_mouse()) {
        int mx = 0, my = 0, wx = 0, wy = 0, ww = 0, wh = 0;
        window_->desktop_mouse(mx, my);
        window_->position(wx, wy);
        window_->client_size(ww, wh);
        input_state().set_pointer(mx - wx, my - wy - bar_pixels(wh));
    }
}

}  // namespace tob
