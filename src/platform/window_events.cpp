// SDL events in the neutral form, for the SDL window and the headless one.
#include <SDL.h>

#include "platform/keys.h"
#include "platform/window_internal.h"

namespace tob::platform {
namespace {

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

}  // namespace

bool EventTranslator::translate(const SDL_Event& ev, WindowEvent& e) {
    e = WindowEvent{};
    SDL_Keymod mod = modifiers();
    e.alt = mod & KMOD_ALT;
    e.shift = mod & KMOD_SHIFT;
    e.ctrl = mod & KMOD_CTRL;
    if (wake_event_ != 0 && ev.type == wake_event_) {
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
                if (!window_size(ev.motion.windowID, w, h)) w = h = 0;
                e.outside = w > 0 && (e.x < 0 || e.y < 0 || e.x >= w || e.y >= h);
            }
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            e.type = ev.type == SDL_MOUSEBUTTONDOWN ? WindowEvent::MouseDown : WindowEvent::MouseUp;
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

}  // namespace tob::platform
