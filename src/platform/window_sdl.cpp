// The window on SDL2: one window with a renderer and a streaming texture of
// the logical screen size; events translated to the neutral form.
#include <SDL.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/keys.h"
#include "platform/system_info.h"
#include "platform/window.h"

namespace tob::platform {
namespace {

// A box this desktop cannot show (no message system, no fonts for it) still
// says its text, on standard error as a headless run does.
void print_unshown_box(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n(no message box: %s)\n", caption.c_str(), text.c_str(),
                 SDL_GetError());
    std::fflush(stderr);
}

int button_bit(uint8_t b) {
    switch (b) {
        case SDL_BUTTON_LEFT:
            return 1;
        case SDL_BUTTON_RIGHT:
            return 2;
        case SDL_BUTTON_MIDDLE:
            return 4;
        case SDL_BUTTON_X1:
            return 8;
        case SDL_BUTTON_X2:
            return 16;
        default:
            return 0;
    }
}

class SdlWindow final : public Window {
  public:
    ~SdlWindow() override {
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        if (owns_sdl_) SDL_Quit();
    }

    bool open(const WindowSpec& spec) {
        if (spec.tool) return open_tool(spec);
        owns_sdl_ = true;
        if (spec.headless) {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
            SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
        }
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
            std::fprintf(stderr, "engine: cannot start the display: %s\n", SDL_GetError());
            return false;
        }
        // Joysticks are optional: without them the table stays empty. Their
        // input counts whichever window has the focus (the engine decides
        // what an inactive application reads).
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        // Headless, like the display and sound, the machine's own joysticks
        // are not used: only the scripted ones, which start them when the
        // first is attached (looking for devices is a good part of start-up).
        if (!spec.headless && SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0)
            std::fprintf(stderr, "engine: joysticks are not available: %s\n", SDL_GetError());
        wake_event_ = SDL_RegisterEvents(1);
        SDL_DisplayMode mode;
        if (!spec.headless && SDL_GetDesktopDisplayMode(0, &mode) == 0)
            set_desktop_mode({mode.w, mode.h, int(SDL_BITSPERPIXEL(mode.format))});
        Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI;
        if (spec.borderless) flags |= SDL_WINDOW_BORDERLESS;
        if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
        if (spec.headless) flags = SDL_WINDOW_HIDDEN;
        window_ = SDL_CreateWindow(spec.title_utf8.c_str(), SDL_WINDOWPOS_CENTERED,
                                   SDL_WINDOWPOS_CENTERED, spec.width, spec.height, flags);
        if (!window_) {
            std::fprintf(stderr, "engine: cannot create the window: %s\n", SDL_GetError());
            return false;
        }
        headless_ = spec.headless;
        // Headless runs have no renderer: nothing is shown, nothing painted.
        if (!headless_) make_renderer(spec.vsync);
        // After the renderer: making one may recreate the native window,
        // which forgets its size hints.
        if (spec.resizable && spec.min_width > 0 && spec.min_height > 0)
            SDL_SetWindowMinimumSize(window_, spec.min_width, spec.min_height);
        SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
        SDL_StartTextInput();
        return true;
    }

    // A tool window: SDL is already running for the main window.
    bool open_tool(const WindowSpec& spec) {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_UTILITY | SDL_WINDOW_SKIP_TASKBAR;
        window_ = SDL_CreateWindow(spec.title_utf8.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                   SDL_WINDOWPOS_UNDEFINED, spec.width, spec.height, flags);
        if (!window_) {
            std::fprintf(stderr, "engine: cannot create the window '%s': %s\n",
                         spec.title_utf8.c_str(), SDL_GetError());
            return false;
        }
        headless_ = spec.headless;
        if (!headless_) make_renderer(spec.vsync);
        return true;
    }

    bool wait_event(WindowEvent& e, uint32_t timeout_ms) override {
        if (headless_) return wait_headless(e, timeout_ms);
        SDL_Event ev;
        while (SDL_WaitEventTimeout(&ev, int(timeout_ms))) {
            if (translate(ev, e)) return true;
            timeout_ms = 0;  // drain what is queued without waiting again
        }
        return false;
    }

    void wake() override {
        if (headless_) {
            {
                std::lock_guard lock(wake_mutex_);
                woken_ = true;
            }
            wake_cv_.notify_one();
            return;
        }
        SDL_Event ev{};
        ev.type = wake_event_;
        SDL_PushEvent(&ev);
    }

    void present(const uint32_t* pixels, int width, int height) override {
        present_region(width, height, 0, 0, width, height,
                       [&](uint32_t* out, ptrdiff_t pitch, int, int, int, int) {
                           for (int y = 0; y < height; ++y)
                               std::memcpy(out + y * pitch, pixels + size_t(y) * size_t(width),
                                           size_t(width) * 4);
                       });
    }

    void present_region(int width, int height, int x, int y, int w, int h,
                        const RegionPainter& draw) override {
        if (!renderer_ || width <= 0 || height <= 0) return;
        if (!texture_ || width != tex_w_ || height != tex_h_) {
            if (texture_) SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                         SDL_TEXTUREACCESS_STREAMING, width, height);
            tex_w_ = width;
            tex_h_ = height;
            // A new texture holds nothing yet: it is painted whole.
            x = y = 0;
            w = width;
            h = height;
        }
        if (!texture_) return;
        SDL_Rect r{x, y, w, h};
        SDL_Rect all{0, 0, width, height};
        if (!SDL_IntersectRect(&r, &all, &r)) r = {0, 0, 0, 0};
        if (r.w > 0 && r.h > 0) {
            // Only the locked rectangle is written, and only it goes to the
            // display's memory; the rest of the texture keeps its pixels.
            void* memory = nullptr;
            int pitch = 0;
            if (SDL_LockTexture(texture_, &r, &memory, &pitch) != 0) return;
            draw(static_cast<uint32_t*>(memory), pitch / 4, r.x, r.y, r.w, r.h);
            SDL_UnlockTexture(texture_);
        }
        // The texture covers the whole target, but a clear tells the
        // renderer that the target's old pixels are not needed (tiled
        // renderers then need not read them back).
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    bool set_fullscreen(bool on) override {
        if (headless_) return false;
        return SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
    }
    bool fullscreen() const override {
        return (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    }
    void restore() override { SDL_RestoreWindow(window_); }
    void raise() override {
        // Only a minimized window is restored: a maximized one stays so.
        if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window_);
        SDL_RaiseWindow(window_);
    }
    void client_size(int& w, int& h) const override { SDL_GetWindowSize(window_, &w, &h); }
    void position(int& x, int& y) const override { SDL_GetWindowPosition(window_, &x, &y); }
    void move_to(int x, int y) override { SDL_SetWindowPosition(window_, x, y); }
    void desktop_mouse(int& x, int& y) const override { SDL_GetGlobalMouseState(&x, &y); }
    void show_message(const std::string& caption, const std::string& text) override {
        if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), text.c_str(),
                                     window_) != 0)
            print_unshown_box(caption, text);
    }
    uint32_t ask(int icon, const std::string& caption, const std::string& text,
                 const std::vector<BoxButton>& buttons, uint32_t default_code,
                 uint32_t escape_code) override {
        std::vector<SDL_MessageBoxButtonData> data;
        for (const BoxButton& b : buttons) {
            Uint32 flags = 0;
            if (b.code == default_code) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
            if (b.code == escape_code) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
            data.push_back({flags, int(b.code), b.label.c_str()});
        }
        static constexpr Uint32 kIcons[] = {0, SDL_MESSAGEBOX_ERROR, SDL_MESSAGEBOX_WARNING,
                                            SDL_MESSAGEBOX_INFORMATION};
        SDL_MessageBoxData box{};
        box.flags =
            (icon >= 0 && icon < 4 ? kIcons[icon] : 0) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
        box.window = window_;
        box.title = caption.c_str();
        box.message = text.c_str();
        box.numbuttons = int(data.size());
        box.buttons = data.data();
        int chosen = -1;
        if (SDL_ShowMessageBox(&box, &chosen) != 0) {
            print_unshown_box(caption, text);
            return default_code;
        }
        if (chosen < 0) return escape_code ? escape_code : default_code;
        return uint32_t(chosen);
    }
    void set_title(const std::string& title_utf8) override {
        SDL_SetWindowTitle(window_, title_utf8.c_str());
    }
    uint32_t id() const override { return SDL_GetWindowID(window_); }
    void set_visible(bool visible) override {
        if (visible)
            SDL_ShowWindow(window_);
        else
            SDL_HideWindow(window_);
    }
    bool visible() const override { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) != 0; }
    void show_cursor(bool shown) override { SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE); }
    void confine_mouse(const int* rect) override {
        if (!rect) {
            SDL_SetWindowMouseRect(window_, nullptr);
            return;
        }
        SDL_Rect r{rect[0], rect[1], rect[2], rect[3]};
        SDL_SetWindowMouseRect(window_, &r);
    }
    void warp_mouse(int x, int y) override { SDL_WarpMouseInWindow(window_, x, y); }
    bool has_mouse() const override { return SDL_GetMouseFocus() == window_; }

  private:
    // An accelerated renderer where there is one, else the software one;
    // waiting for the display's refresh only when asked.
    void make_renderer(bool vsync) {
        Uint32 wait = vsync ? SDL_RENDERER_PRESENTVSYNC : 0;
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | wait);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE | wait);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
    }

    // SDL's dummy video driver cannot block for events, and SDL then looks at
    // its queue every millisecond while it waits. A headless window has no
    // events but its wake-ups and what SDL queues itself (a quit on SIGINT),
    // so it blocks on a condition that `wake` signals and looks at SDL's
    // queue before and after.
    bool wait_headless(WindowEvent& e, uint32_t timeout_ms) {
        SDL_Event ev;
        while (SDL_PollEvent(&ev))
            if (translate(ev, e)) return true;
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
        while (SDL_PollEvent(&ev))
            if (translate(ev, e)) return true;
        return false;
    }

    bool translate(const SDL_Event& ev, WindowEvent& e) {
        e = WindowEvent{};
        SDL_Keymod mod = SDL_GetModState();
        e.alt = mod & KMOD_ALT;
        e.shift = mod & KMOD_SHIFT;
        e.ctrl = mod & KMOD_CTRL;
        if (ev.type == wake_event_) {
            e.type = WindowEvent::Wakeup;
            return true;
        }
        switch (ev.type) {
            case SDL_QUIT:
                e.type = WindowEvent::Quit;
                return true;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                e.window = ev.key.windowID;
                e.type = ev.type == SDL_KEYDOWN ? WindowEvent::KeyDown : WindowEvent::KeyUp;
                // The modifiers as they were with this key, not as they are now.
                e.alt = ev.key.keysym.mod & KMOD_ALT;
                e.shift = ev.key.keysym.mod & KMOD_SHIFT;
                e.ctrl = ev.key.keysym.mod & KMOD_CTRL;
                e.scancode = ev.key.keysym.scancode;
                e.key = virtual_key(e.scancode, ev.key.keysym.sym);
                e.repeat = ev.key.repeat != 0;
                e.locks = (ev.key.keysym.mod & KMOD_CAPS ? 1 : 0) |
                          (ev.key.keysym.mod & KMOD_NUM ? 2 : 0) |
                          (ev.key.keysym.mod & KMOD_SCROLL ? 4 : 0);
                return true;
            case SDL_TEXTINPUT:
                e.type = WindowEvent::Text;
                e.window = ev.text.windowID;
                e.text = ev.text.text;
                return true;
            case SDL_MOUSEMOTION:
                e.type = WindowEvent::MouseMove;
                e.window = ev.motion.windowID;
                e.x = ev.motion.x;
                e.y = ev.motion.y;
                e.dx = ev.motion.xrel;
                e.dy = ev.motion.yrel;
                e.button = (ev.motion.state & SDL_BUTTON_LMASK ? 1 : 0) |
                           (ev.motion.state & SDL_BUTTON_RMASK ? 2 : 0) |
                           (ev.motion.state & SDL_BUTTON_MMASK ? 4 : 0) |
                           (ev.motion.state & SDL_BUTTON_X1MASK ? 8 : 0) |
                           (ev.motion.state & SDL_BUTTON_X2MASK ? 16 : 0);
                {
                    // With a button held SDL keeps reporting the pointer
                    // past the window's edges.
                    int w = 0, h = 0;
                    if (SDL_Window* in = SDL_GetWindowFromID(ev.motion.windowID))
                        SDL_GetWindowSize(in, &w, &h);
                    e.outside = w > 0 && (e.x < 0 || e.y < 0 || e.x >= w || e.y >= h);
                }
                return true;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                e.type =
                    ev.type == SDL_MOUSEBUTTONDOWN ? WindowEvent::MouseDown : WindowEvent::MouseUp;
                e.window = ev.button.windowID;
                e.button = button_bit(ev.button.button);
                e.double_click = ev.button.clicks >= 2;
                e.x = ev.button.x;
                e.y = ev.button.y;
                return e.button != 0;
            case SDL_MOUSEWHEEL:
                e.type = WindowEvent::Wheel;
                e.window = ev.wheel.windowID;
                e.wheel = ev.wheel.y * 120;
                return true;
            // The files of one drop come one event each between a begin and a
            // complete event; they are handed over together, as one drop.
            case SDL_DROPBEGIN:
                dropping_ = true;
                dropped_.clear();
                return false;

            case SDL_JOYDEVICEADDED:
                e.type = WindowEvent::JoyAdded;
                e.x = ev.jdevice.which;
                return true;
            case SDL_JOYDEVICEREMOVED:
                e.type = WindowEvent::JoyRemoved;
                e.x = ev.jdevice.which;
                return true;
            case SDL_DROPFILE:
                dropped_.push_back(ev.drop.file ? ev.drop.file : "");
                SDL_free(ev.drop.file);
                if (dropping_) return false;
                [[fallthrough]];  // a file without a begin is a drop of its own
            case SDL_DROPCOMPLETE:
                dropping_ = false;
                if (dropped_.empty()) return false;
                e.type = WindowEvent::DropFile;
                e.window = ev.drop.windowID;
                e.files = std::move(dropped_);
                dropped_.clear();
                return true;
            case SDL_DROPTEXT:
                SDL_free(ev.drop.file);
                return false;
            case SDL_WINDOWEVENT:
                e.window = ev.window.windowID;
                switch (ev.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        e.type = WindowEvent::Close;
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        e.type = WindowEvent::FocusGained;
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        e.type = WindowEvent::FocusLost;
                        return true;
                    case SDL_WINDOWEVENT_MINIMIZED:
                        e.type = WindowEvent::Minimized;
                        return true;
                    case SDL_WINDOWEVENT_MAXIMIZED:
                        e.type = WindowEvent::Maximized;
                        return true;
                    case SDL_WINDOWEVENT_EXPOSED:
                        e.type = WindowEvent::Exposed;
                        return true;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        e.type = WindowEvent::Resized;
                        e.x = ev.window.data1;
                        e.y = ev.window.data2;
                        return true;
                    default:
                        return false;
                }
            default:
                return false;
        }
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int tex_w_ = 0, tex_h_ = 0;
    Uint32 wake_event_ = 0;
    bool headless_ = false;
    bool owns_sdl_ = false;  // the main window starts and ends SDL
    bool dropping_ = false;
    std::vector<std::string> dropped_;
    std::mutex wake_mutex_;  // headless wake-ups
    std::condition_variable wake_cv_;
    bool woken_ = false;
};

}  // namespace

std::unique_ptr<Window> create_window(const WindowSpec& spec) {
    auto w = std::make_unique<SdlWindow>();
    if (!w->open(spec)) return nullptr;
    return w;
}

}  // namespace tob::platform
