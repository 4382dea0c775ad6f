// The window on SDL2: one window with a renderer and a streaming texture of
// the logical screen size; events translated to the neutral form. Headless
// runs have a window of their own (window_headless.cpp) and never open SDL.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/sdl_library.h"
#include "platform/system_info.h"
#include "platform/window.h"
#include "platform/window_internal.h"

namespace tob::platform {
namespace {

// A box this desktop cannot show (no message system, no fonts for it) still
// says its text, on standard error as a headless run does.
void print_unshown_box(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n(no message box: %s)\n", caption.c_str(), text.c_str(),
                 SDL_GetError());
    std::fflush(stderr);
}

class SdlWindow final : public Window, EventTranslator {
  public:
    ~SdlWindow() override {
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        if (owns_sdl_) SDL_Quit();
    }

    bool open(const WindowSpec& spec) {
        if (spec.tool) return open_tool(spec);
        std::string why;
        if (!load_sdl(&why)) {
            std::fprintf(stderr, "engine: cannot start the display: %s\n", why.c_str());
            return false;
        }
        owns_sdl_ = true;
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
            std::fprintf(stderr, "engine: cannot start the display: %s\n", SDL_GetError());
            return false;
        }
        // Joysticks are optional: without them the table stays empty. Their
        // input counts whichever window has the focus (the engine decides
        // what an inactive application reads).
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0)
            std::fprintf(stderr, "engine: joysticks are not available: %s\n", SDL_GetError());
        wake_event_ = SDL_RegisterEvents(1);
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
            set_desktop_mode({mode.w, mode.h, int(SDL_BITSPERPIXEL(mode.format))});
        Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI;
        if (spec.borderless) flags |= SDL_WINDOW_BORDERLESS;
        if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
        window_ = SDL_CreateWindow(spec.title_utf8.c_str(), SDL_WINDOWPOS_CENTERED,
                                   SDL_WINDOWPOS_CENTERED, spec.width, spec.height, flags);
        if (!window_) {
            std::fprintf(stderr, "engine: cannot create the window: %s\n", SDL_GetError());
            return false;
        }
        make_renderer(spec.vsync);
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
        if (!sdl_loaded() || !SDL_WasInit(SDL_INIT_VIDEO)) return false;
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_UTILITY | SDL_WINDOW_SKIP_TASKBAR;
        window_ = SDL_CreateWindow(spec.title_utf8.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                   SDL_WINDOWPOS_UNDEFINED, spec.width, spec.height, flags);
        if (!window_) {
            std::fprintf(stderr, "engine: cannot create the window '%s': %s\n",
                         spec.title_utf8.c_str(), SDL_GetError());
            return false;
        }
        make_renderer(spec.vsync);
        return true;
    }

    bool wait_event(WindowEvent& e, uint32_t timeout_ms) override {
        SDL_Event ev;
        while (SDL_WaitEventTimeout(&ev, int(timeout_ms))) {
            if (translate(ev, e)) return true;
            timeout_ms = 0;  // drain what is queued without waiting again
        }
        return false;
    }

    void wake() override {
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

    SDL_Keymod modifiers() const override { return SDL_GetModState(); }
    bool window_size(Uint32 id, int& w, int& h) const override {
        SDL_Window* in = SDL_GetWindowFromID(id);
        if (!in) return false;
        SDL_GetWindowSize(in, &w, &h);
        return true;
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int tex_w_ = 0, tex_h_ = 0;
    bool owns_sdl_ = false;  // the main window starts and ends SDL
};

}  // namespace

std::unique_ptr<Window> create_window(const WindowSpec& spec) {
    if (spec.headless) return create_headless_window(spec);
    auto w = std::make_unique<SdlWindow>();
    if (!w->open(spec)) return nullptr;
    return w;
}

}  // namespace tob::platform
