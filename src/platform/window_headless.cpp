// The headless window: shows nothing, and is what SDL's dummy video driver
// made of a hidden window (the same ids, positions on a 1024 × 768 desktop,
// no mouse), without SDL. Its events are the scripted ones, queued here,
// wake-ups, a quit on SIGINT or SIGTERM, and, once scripted joysticks have
// started SDL's joystick part, what SDL queues for them.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <mutex>

#include "platform/sdl_library.h"
#include "platform/window_internal.h"

namespace tob::platform {
namespace {

// The desktop of SDL's dummy video driver, which headless windows are
// placed on.
constexpr int kDesktopWidth = 1024, kDesktopHeight = 768;

std::atomic<bool> quit_signalled{false};

extern "C" void on_quit_signal(int) {
    quit_signalled.store(true);
}

// Scripted events, the open headless windows' sizes, the ids given out.
struct HeadlessState {
    std::mutex mutex;
    std::deque<SDL_Event> queue;
    bool active = false;  // a main window is open
    struct Entry {
        uint32_t id;
        int width, height;
    };
    std::vector<Entry> windows;
    uint32_t next_id = 1;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

HeadlessState& state() {
    static HeadlessState s;
    return s;
}

// As SDL does: a quit on SIGINT and SIGTERM, unless someone else handles them.
class QuitSignals {
  public:
    void install() {
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            struct sigaction now {};
            if (sigaction(kSignals[i], nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
            struct sigaction ours {};
            ours.sa_handler = on_quit_signal;
            sigemptyset(&ours.sa_mask);
            installed_[i] = sigaction(kSignals[i], &ours, nullptr) == 0;
        }
    }
    void remove() {
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            if (!installed_[i]) continue;
            struct sigaction now {};
            if (sigaction(kSignals[i], nullptr, &now) == 0 && now.sa_handler == on_quit_signal)
                std::signal(kSignals[i], SIG_DFL);
            installed_[i] = false;
        }
    }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
    bool installed_[2] = {false, false};
};

class HeadlessWindow final : public Window, EventTranslator {
  public:
    ~HeadlessWindow() override {
        HeadlessState& s = state();
        {
            std::lock_guard lock(s.mutex);
            std::erase_if(s.windows, [&](const HeadlessState::Entry& e) { return e.id == id_; });
            if (main_) {
                s.active = false;
                s.queue.clear();
            }
        }
        if (main_) {
            signals_.remove();
            // Scripted joysticks started SDL: the main window ends it, as
            // it would have started it.
            if (sdl_loaded()) SDL_Quit();
        }
    }

    void open(const WindowSpec& spec) {
        main_ = !spec.tool;
        width_ = spec.width;
        height_ = spec.height;
        // SDL places a window it is not told where to put in the middle.
        x_ = (kDesktopWidth - width_) / 2;
        y_ = (kDesktopHeight - height_) / 2;
        title_ = spec.title_utf8;
        HeadlessState& s = state();
        std::lock_guard lock(s.mutex);
        id_ = s.next_id++;
        s.windows.push_back({id_, width_, height_});
        if (main_) {
            s.active = true;
            quit_signalled.store(false);
            signals_.install();
        }
    }

    // Nobody waits for input: the window blocks on a condition that `wake`
    // signals, and looks at its queue before and after.
    bool wait_event(WindowEvent& e, uint32_t timeout_ms) override {
        if (next_event(e)) return true;
        {
            std::unique_lock lock(wake_mutex_);
            wake_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return woken_; });
            if (woken_) {
                woken_ = false;
                e = WindowEvent{};
                e.type = WindowEvent::Wakeup;
                return true;
            }
        }
        return next_event(e);
    }

    void wake() override {
        {
            std::lock_guard lock(wake_mutex_);
            woken_ = true;
        }
        wake_cv_.notify_one();
    }

    void present(const uint32_t*, int, int) override {}
    void present_region(int, int, int, int, int, int, const RegionPainter&) override {}
    bool set_fullscreen(bool) override { return false; }
    bool fullscreen() const override { return false; }
    void raise() override {}
    void restore() override {}
    void client_size(int& w, int& h) const override {
        w = width_;
        h = height_;
    }
    void position(int& x, int& y) const override {
        x = x_;
        y = y_;
    }
    void move_to(int x, int y) override {
        x_ = x;
        y_ = y;
    }
    // No pointer ever moves: it stays in the desktop's corner.
    void desktop_mouse(int& x, int& y) const override { x = y = 0; }
    void show_message(const std::string& caption, const std::string& text) override {
        say(caption, text);
    }
    uint32_t ask(int, const std::string& caption, const std::string& text,
                 const std::vector<BoxButton>&, uint32_t default_code, uint32_t) override {
        say(caption, text);
        return default_code;
    }
    void set_title(const std::string& title_utf8) override { title_ = title_utf8; }
    uint32_t id() const override { return id_; }
    void set_visible(bool visible) override { visible_ = visible; }
    bool visible() const override { return visible_; }
    void show_cursor(bool) override {}
    void confine_mouse(const int*) override {}
    void warp_mouse(int, int) override {}
    bool has_mouse() const override { return false; }

  private:
    static void say(const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "%s: %s\n(no message box: headless)\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
    }

    // The next event of the scripted queue, then a quit asked for by a
    // signal, then SDL's joystick events.
    bool next_event(WindowEvent& e) {
        HeadlessState& s = state();
        for (;;) {
            SDL_Event ev;
            {
                std::lock_guard lock(s.mutex);
                if (s.queue.empty()) break;
                ev = s.queue.front();
                s.queue.pop_front();
            }
            if (translate(ev, e)) return true;
        }
        if (quit_signalled.exchange(false)) {
            e = WindowEvent{};
            e.type = WindowEvent::Quit;
            return true;
        }
        if (sdl_loaded() && SDL_WasInit(SDL_INIT_JOYSTICK)) {
            SDL_Event ev;
            while (SDL_PollEvent(&ev))
                if (translate(ev, e)) return true;
        }
        return false;
    }

    // Headless keys go to the engine only as events: nothing holds a
    // modifier between them.
    SDL_Keymod modifiers() const override { return KMOD_NONE; }
    bool window_size(Uint32 id, int& w, int& h) const override {
        HeadlessState& s = state();
        std::lock_guard lock(s.mutex);
        for (const HeadlessState::Entry& e : s.windows)
            if (e.id == id) {
                w = e.width;
                h = e.height;
                return true;
            }
        return false;
    }

    bool main_ = false;
    uint32_t id_ = 0;
    int width_ = 0, height_ = 0, x_ = 0, y_ = 0;
    bool visible_ = false;
    std::string title_;
    QuitSignals signals_;
    std::mutex wake_mutex_;
    std::condition_variable wake_cv_;
    bool woken_ = false;
};

}  // namespace

std::unique_ptr<Window> create_headless_window(const WindowSpec& spec) {
    auto w = std::make_unique<HeadlessWindow>();
    w->open(spec);
    return w;
}

bool headless_queue_active() {
    HeadlessState& s = state();
    std::lock_guard lock(s.mutex);
    return s.active;
}

void post_headless_event(const SDL_Event& ev) {
    HeadlessState& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.active) return;
    SDL_Event stamped = ev;
    stamped.common.timestamp = Uint32(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - s.start)
                                          .count());
    s.queue.push_back(stamped);
}

}  // namespace tob::platform
