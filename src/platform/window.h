// The one top-level window, behind a small interface: events in a neutral
// form, presenting a frame, full screen, raising. Real windows are SDL's;
// headless runs get a window of their own that needs no SDL at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tob::platform {

struct WindowSpec {
    std::string title_utf8;
    bool borderless = false;  // an empty title makes a popup without a frame
    bool resizable = false;
    // With `resizable`: the smallest client size the user may drag it to.
    int min_width = 0, min_height = 0;
    int width = 640, height = 480;
    bool headless = false;
    // Presenting waits for the display's refresh (off: a frame is shown as
    // soon as it is painted).
    bool vsync = false;
    // A small tool window beside the main one (the debug output): created
    // hidden, after the main window, which must outlive it. Its events arrive
    // through the main window's `wait_event`.
    bool tool = false;
};

struct WindowEvent {
    enum Type {
        None,
        Quit,
        KeyDown,
        KeyUp,
        Text,
        MouseMove,
        MouseDown,
        MouseUp,
        Wheel,
        FocusGained,
        FocusLost,
        Resized,
        Minimized,
        Maximized,
        DropFile,
        Wakeup,
        Exposed,
        Close,       // the window's close button (Quit when it is the last window)
        JoyAdded,    // x: the host's device index
        JoyRemoved,  // x: the device's instance id
    };
    Type type = None;
    int key = 0;  // virtual-key code (Windows numbering: F8 = 119, Enter = 13; platform/keys.h)
    int scancode = 0;     // the key's place (USB usage number, as SDL numbers them)
    bool repeat = false;  // a key held down sends KeyDown again
    bool alt = false, shift = false, ctrl = false;
    // Lock states after the key (1 Caps Lock, 2 Num Lock, 4 Scroll Lock).
    int locks = 0;
    int x = 0, y = 0;      // client coordinates, or the new size for Resized
    int dx = 0, dy = 0;    // MouseMove: the motion since the last one
    bool outside = false;  // MouseMove: the pointer is outside the window (a held button)
    // MouseDown/MouseUp: the button (1 left, 2 right, 4 middle, 8 and 16 the
    // extra ones); MouseMove: the buttons held.
    int button = 0;
    bool double_click = false;
    int wheel = 0;                   // in the platform's units of 120 per notch
    std::string text;                // UTF-8 for Text
    std::vector<std::string> files;  // DropFile: every file of one drop, UTF-8 paths
    uint32_t window = 0;  // the token of the window it happened in; 0: none in particular
};

class Window {
  public:
    virtual ~Window() = default;
    // Waits up to `timeout_ms` for an event; false when none came.
    virtual bool wait_event(WindowEvent& e, uint32_t timeout_ms) = 0;
    // Wakes a waiting `wait_event` from any thread (it returns a Wakeup).
    virtual void wake() = 0;
    // Shows a frame of 0x00RRGGBB pixels, top row first, scaled to the window.
    virtual void present(const uint32_t* pixels, int width, int height) = 0;
    // Paints part of a width × height picture straight into the window's
    // picture memory, then shows the whole picture. `draw` gets the first
    // pixel of the region, the distance between its rows in pixels and the
    // region (x, y, w, h), and must write every pixel of it. The region is the
    // one asked for, or the whole picture when the window holds none of that
    // size yet; what lies outside it keeps what was painted before.
    using RegionPainter =
        std::function<void(uint32_t* pixels, ptrdiff_t pitch, int x, int y, int w, int h)>;
    virtual void present_region(int width, int height, int x, int y, int w, int h,
                                const RegionPainter& draw) = 0;
    virtual bool set_fullscreen(bool on) = 0;
    virtual bool fullscreen() const = 0;
    virtual void raise() = 0;
    // Back from maximized or minimized to the normal size.
    virtual void restore() = 0;
    virtual void client_size(int& width, int& height) const = 0;
    // The window's top-left corner and the mouse, in desktop coordinates.
    virtual void position(int& x, int& y) const = 0;
    virtual void move_to(int x, int y) = 0;
    virtual void desktop_mouse(int& x, int& y) const = 0;
    virtual void show_message(const std::string& caption, const std::string& text) = 0;
    // A modal box with buttons (code, label) left to right; returns the code
    // chosen, `escape_code` when it is closed otherwise. Icons: 0 none,
    // 1 error, 2 warning, 3 information.
    struct BoxButton {
        uint32_t code;
        std::string label;
    };
    virtual uint32_t ask(int icon, const std::string& caption, const std::string& text,
                         const std::vector<BoxButton>& buttons, uint32_t default_code,
                         uint32_t escape_code) = 0;
    virtual void set_title(const std::string& title_utf8) = 0;
    // The window's token: nonzero, unique among the process's windows.
    virtual uint32_t id() const = 0;
    virtual void set_visible(bool visible) = 0;
    virtual bool visible() const = 0;
    // The cursor: shown (the standard arrow) or hidden over the window.
    virtual void show_cursor(bool shown) = 0;
    // Confines the pointer to a rectangle of window pixels (x, y, width,
    // height); nullptr releases it.
    virtual void confine_mouse(const int* rect) = 0;
    virtual void warp_mouse(int x, int y) = 0;
    // True while the pointer is over this window.
    virtual bool has_mouse() const = 0;
};

// Creates the window (SDL, or the headless one); nullptr after printing why
// when it cannot.
std::unique_ptr<Window> create_window(const WindowSpec& spec);

// The single-instance rule: true when this process is the first; otherwise
// the first one is asked to raise its window and false is returned.
class InstanceLock {
  public:
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    bool first() const { return first_; }
    // In the first instance: true once when another instance asked to be
    // replaced by raising this window.
    bool raise_requested();

  private:
    bool first_ = false;
    int lock_fd_ = -1;
    int socket_fd_ = -1;
    std::string socket_path_;
};

}  // namespace tob::platform
