// The window thread's menu bar: a strip above the picture (or over it in full
// screen when the menu hides itself), pointer events routed to it first, the
// chosen commands carried out, and the frame composed with it.
#include <algorithm>

#include "base/settings.h"
#include "graphics/pages.h"
#include "media/media.h"
#include "shell/engine_host.h"
#include "shell/menu_model.h"
#include "shell/window_state.h"

namespace tob {
namespace {

// The menu the window is created with until the script builds its own.
constexpr int32_t kPlaceholderId = 40005;
constexpr const char* kMenuFace = "ＭＳ Ｐゴシック";

int scale(int v, int to, int from) {
    return from > 0 ? int(int64_t(v) * to / from) : v;
}

}  // namespace

void EngineHost::start_menu() {
    if (settings().menu <= 0) return;
    platform::FontRequest request;
    request.face_utf8 = kMenuFace;
    request.cell_height = MenuMetrics::kFontHeight;
    menu_font_ = platform::Font::open(request);
    menu_view_ = std::make_unique<MenuView>(*menu_font_);
    // WM_INITMENU: the radio pair shows the screen mode when the menu opens;
    // the view takes the bar as it is now, checks and all.
    menu_view_->on_activate([](MenuBar& bar) {
        MenuState& m = menu_state();
        std::lock_guard lock(m.mutex);
        check_screen_mode(m.bar, window_state().full_screen.load() != 0);
        bar = m.bar;
    });
    {
        MenuState& m = menu_state();
        std::lock_guard lock(m.mutex);
        if (m.bar.menus.empty()) {
            MenuItem placeholder;
            placeholder.id = kPlaceholderId;
            placeholder.text = " ";
            m.bar.menus.push_back({placeholder});
        }
        ++m.redraws;
    }
    menu_attached_ = true;
    refresh_menu();
}

int EngineHost::frame_height() const {
    const gfx::PageState& ps = gfx::page_state();
    bool strip = menu_view_ && menu_attached_ && !window_state().full_screen.load();
    return ps.screen_height + (strip ? MenuMetrics::kBarHeight : 0);
}

int EngineHost::bar_pixels(int window_height) const {
    if (!menu_view_ || !menu_attached_) return 0;
    return scale(MenuMetrics::kBarHeight, window_height, frame_height());
}

void EngineHost::refresh_menu() {
    if (!menu_view_) return;
    MenuBar bar;
    {
        MenuState& m = menu_state();
        std::lock_guard lock(m.mutex);
        if (m.redraws == menu_redraws_seen_) return;
        menu_redraws_seen_ = m.redraws;
        bar = m.bar;
    }
    menu_view_->set_bar(std::move(bar), gfx::page_state().screen_width, frame_height());
    present(std::nullopt);
}

void EngineHost::update_client_size() {
    if (!window_) return;
    int w = 0, h = 0;
    window_->client_size(w, h);
    h -= bar_pixels(h);
    window_state().client_width = w;
    window_state().client_height = h;
    gfx::page_state().client_width = w;
    gfx::page_state().client_height = h;
}

void EngineHost::set_menu_attached(bool attached) {
    if (!menu_view_) return;
    menu_attached_ = attached;
    if (!attached) menu_view_->close();
    // Over the full screen the bar covers the picture's top rows; the
    // picture and the mouse keep their places through the offset.
    bool over = attached && window_state().full_screen.load();
    int32_t offset = over ? MenuMetrics::kBarHeight : 0;
    window_state().menu_bar_offset = offset;
    gfx::page_state().offset_y = offset;
    menu_view_->set_frame(gfx::page_state().screen_width, frame_height());
    update_client_size();
}

bool EngineHost::menu_handles(platform::WindowEvent& e) {
    using E = platform::WindowEvent;
    if (!menu_view_ || !window_) return false;
    if (e.type == E::KeyDown || e.type == E::KeyUp || e.type == E::Text || e.type == E::FocusLost)
        return menu_handles_key(e);
    if (e.type != E::MouseMove && e.type != E::MouseDown && e.type != E::MouseUp) return false;
    int ww = 0, wh = 0;
    window_->client_size(ww, wh);
    int fx = scale(e.x, gfx::page_state().screen_width, ww);
    int fy = scale(e.y, frame_height(), wh);

    // A menu that hides itself in full screen shows while the pointer is at
    // the top edge, and hides again once it leaves the bar.
    if (window_state().full_screen.load() && settings().auto_hide_menu && e.type == E::MouseMove) {
        if (!menu_attached_ && fy <= 0) {
            set_menu_attached(true);
            present(std::nullopt);
        } else if (menu_attached_ && fy >= MenuMetrics::kBarHeight && !menu_view_->is_open() &&
                   menu_view_->open_bar_item() < 0) {
            set_menu_attached(false);
            present(std::nullopt);
        }
    }
    if (!menu_attached_) return false;

    MenuView::Result r;
    if (e.type == E::MouseMove)
        r = menu_view_->motion(fx, fy);
    else if (e.button == kLeftButton)
        r = e.type == E::MouseDown ? menu_view_->press(fx, fy) : menu_view_->release(fx, fy);
    else
        r.consumed = menu_view_->is_open();
    // The bar itself is not part of the client area.
    if (fy < MenuMetrics::kBarHeight) r.consumed = true;
    if (r.redraw) present(std::nullopt);
    if (r.command) run_menu(*r.command);
    if (r.consumed) return true;
    e.y -= bar_pixels(wh);
    return false;
}

bool EngineHost::menu_handles_key(const platform::WindowEvent& e) {
    using E = platform::WindowEvent;
    if (e.type == E::FocusLost) {
        // Leaving the window leaves the menu; an Alt held then is forgotten.
        menu_view_->reset_keys();
        if (menu_view_->has_keyboard()) {
            menu_view_->close();
            present(std::nullopt);
        }
        return false;
    }
    // The characters of keys the menu took (Alt with a letter) are not typed.
    if (e.type == E::Text) return menu_view_->has_keyboard() || menu_swallows_text_;
    bool had_keyboard = menu_view_->has_keyboard();
    MenuView::Result r =
        e.type == E::KeyDown ? menu_view_->key_down(e.key, e.alt) : menu_view_->key_up(e.key);
    if (e.type == E::KeyDown) menu_swallows_text_ = r.consumed;
    // A menu hidden over the full screen shows itself when the keyboard
    // enters it.
    if (!had_keyboard && menu_view_->has_keyboard() && !menu_attached_) set_menu_attached(true);
    if (r.redraw) present(std::nullopt);
    if (r.command) run_menu(*r.command);
    return r.consumed;
}

void EngineHost::run_menu(int32_t id) {
    MenuActions actions;
    actions.close = [this] { close_requested_ = true; };
    actions.restart = [this] { restart(); };
    actions.set_full_screen = [this](bool on) { switch_fullscreen(on); };
    run_menu_command(id, window_state().full_screen.load() != 0, actions);
}

void EngineHost::restart() {
    close_media();
    engine_->stop_all_threads();
    engine_->initialise();
    if (screen_page_failed_) {  // reported; no game can run without it
        close_requested_ = true;
        return;
    }
    queue_.post([this] { engine_->run_program(settings().main_script); });
}

const gfx::Frame& EngineHost::compose() {
    // The view page, then the video stretched to its rectangle, then the
    // menu bar and its popups.
    const gfx::Frame* picture = &frame_;
    if (media_layer_visible() && !frame_.pixels.empty()) {
        if (video_frame_.width != frame_.width || video_frame_.height != frame_.height)
            video_frame_.resize(frame_.width, frame_.height);
        std::copy(frame_.pixels.begin(), frame_.pixels.end(), video_frame_.pixels.begin());
        const gfx::PaintSettings s = gfx::page_state().paint_settings();
        draw_media(video_frame_.pixels.data(), video_frame_.width, video_frame_.height,
                   s.stretched ? 0 : s.offset_x, s.stretched ? 0 : s.offset_y);
        picture = &video_frame_;
    }
    if (!menu_view_) return *picture;
    int w = picture->width, h = frame_height();
    if (client_frame_.width != w || client_frame_.height != h) client_frame_.resize(w, h);
    int top = menu_attached_ ? MenuMetrics::kBarHeight : 0;
    int rows = std::clamp(std::min(h - top, picture->height), 0, h);
    std::copy_n(picture->pixels.begin(), size_t(rows) * size_t(w),
                client_frame_.pixels.begin() + ptrdiff_t(std::min(top, h)) * w);
    if (menu_attached_) menu_view_->draw_bar(client_frame_.pixels.data(), w, h);
    menu_view_->draw_popups(client_frame_.pixels.data(), w, h);
    return client_frame_;
}

}  // namespace tob
