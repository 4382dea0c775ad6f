// Recorded events pushed into SDL's queue, or headless into the headless
// window's. Key events carry the modifiers the recorded keys left held, as a
// keyboard's would.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/event_feeder.h"
#include "platform/keys.h"
#include "platform/sdl_library.h"
#include "platform/window_internal.h"

namespace tob::platform {
namespace {

// The modifier a key holds, or the lock it toggles.
uint16_t modifier_of(SDL_Scancode sc) {
    switch (sc) {
        case SDL_SCANCODE_LSHIFT:
            return KMOD_LSHIFT;
        case SDL_SCANCODE_RSHIFT:
            return KMOD_RSHIFT;
        case SDL_SCANCODE_LCTRL:
            return KMOD_LCTRL;
        case SDL_SCANCODE_RCTRL:
            return KMOD_RCTRL;
        case SDL_SCANCODE_LALT:
            return KMOD_LALT;
        case SDL_SCANCODE_RALT:
            return KMOD_RALT;
        case SDL_SCANCODE_LGUI:
            return KMOD_LGUI;
        case SDL_SCANCODE_RGUI:
            return KMOD_RGUI;
        default:
            return 0;
    }
}

uint16_t lock_of(SDL_Scancode sc) {
    switch (sc) {
        case SDL_SCANCODE_CAPSLOCK:
            return KMOD_CAPS;
        case SDL_SCANCODE_NUMLOCKCLEAR:
            return KMOD_NUM;
        case SDL_SCANCODE_SCROLLLOCK:
            return KMOD_SCROLL;
        default:
            return 0;
    }
}

// Cuts UTF-8 text into pieces that fit a text event, never inside a character.
std::vector<std::string> text_pieces(const std::string& text) {
    constexpr size_t kMax = SDL_TEXTINPUTEVENT_TEXT_SIZE - 1;
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t n = std::min(kMax, text.size() - i);
        while (n > 0 && i + n < text.size() && (uint8_t(text[i + n]) & 0xC0) == 0x80) --n;
        if (n == 0) n = std::min(kMax, text.size() - i);
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

void post(SDL_Event& ev) {
    if (headless_queue_active())
        post_headless_event(ev);
    else
        SDL_PushEvent(&ev);
}

// The time stamp of an event (both queues stamp what they take anyway).
Uint32 now_ms() {
    return headless_queue_active() ? 0 : SDL_GetTicks();
}

}  // namespace

EventFeeder::EventFeeder(std::vector<ScriptedEvent> events) : events_(std::move(events)) {}

EventFeeder::~EventFeeder() {
    for (void* j : joysticks_)
        if (j) SDL_JoystickClose(static_cast<SDL_Joystick*>(j));
}

void EventFeeder::feed(uint32_t elapsed_ms, uint32_t window_id) {
    while (next_ < events_.size() && events_[next_].time_ms <= elapsed_ms)
        push(events_[next_++], window_id);
}

void EventFeeder::push(const ScriptedEvent& e, uint32_t window_id) {
    using K = ScriptedEvent::Kind;
    SDL_Event ev{};
    Uint32 now = now_ms();
    auto button_event = [&](Uint32 type, int clicks) {
        ev.type = type;
        ev.button.timestamp = now;
        ev.button.windowID = window_id;
        ev.button.button = Uint8(e.button);
        ev.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        ev.button.clicks = Uint8(clicks);
        ev.button.x = mouse_x_ = e.x;
        ev.button.y = mouse_y_ = e.y;
        if (type == SDL_MOUSEBUTTONDOWN)
            buttons_ |= SDL_BUTTON(e.button);
        else
            buttons_ &= ~SDL_BUTTON(e.button);
        post(ev);
    };
    auto window_event = [&](SDL_WindowEventID id) {
        ev.type = SDL_WINDOWEVENT;
        ev.window.timestamp = now;
        ev.window.windowID = window_id;
        ev.window.event = Uint8(id);
        post(ev);
    };
    switch (e.kind) {
        case K::KeyDown:
        case K::KeyUp:
        case K::KeyRepeat:
            key(e, window_id);
            break;
        case K::Text:
            for (const std::string& piece : text_pieces(e.text)) {
                SDL_Event t{};
                t.type = SDL_TEXTINPUT;
                t.text.timestamp = now;
                t.text.windowID = window_id;
                std::memcpy(t.text.text, piece.data(), piece.size());
                post(t);
            }
            break;
        case K::MouseMove:
            ev.type = SDL_MOUSEMOTION;
            ev.motion.timestamp = now;
            ev.motion.windowID = window_id;
            ev.motion.state = buttons_;
            ev.motion.x = e.x;
            ev.motion.y = e.y;
            ev.motion.xrel = e.x - mouse_x_;
            ev.motion.yrel = e.y - mouse_y_;
            mouse_x_ = e.x;
            mouse_y_ = e.y;
            post(ev);
            break;
        case K::MouseDown:
            button_event(SDL_MOUSEBUTTONDOWN, 1);
            break;
        case K::DoubleClick:
            button_event(SDL_MOUSEBUTTONDOWN, 2);
            break;
        case K::MouseUp:
            button_event(SDL_MOUSEBUTTONUP, 1);
            break;
        case K::Wheel:
            ev.type = SDL_MOUSEWHEEL;
            ev.wheel.timestamp = now;
            ev.wheel.windowID = window_id;
            ev.wheel.y = e.y;
            ev.wheel.preciseY = float(e.y);
            ev.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
            post(ev);
            break;
        case K::FocusLost:
            window_event(SDL_WINDOWEVENT_FOCUS_LOST);
            break;
        case K::FocusGained:
            window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
            break;
        case K::JoyAttach:
        case K::JoyDetach:
        case K::JoyAxis:
        case K::JoyButton:
        case K::JoyHat:
            joystick(e);
            break;
    }
}

void EventFeeder::key(const ScriptedEvent& e, uint32_t window_id) {
    auto sc = SDL_Scancode(e.scancode);
    bool down = e.kind != ScriptedEvent::KeyUp;
    bool repeat = e.kind == ScriptedEvent::KeyRepeat;
    if (uint16_t m = modifier_of(sc)) mods_ = down ? uint16_t(mods_ | m) : uint16_t(mods_ & ~m);
    if (uint16_t l = lock_of(sc); l && down && !repeat) mods_ ^= l;
    SDL_Event ev{};
    ev.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    ev.key.timestamp = now_ms();
    ev.key.windowID = window_id;
    ev.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    ev.key.repeat = repeat ? 1 : 0;
    ev.key.keysym.scancode = sc;
    // Headless there is no layout: the keys are SDL's own.
    ev.key.keysym.sym = headless_queue_active() ? default_key_code(sc) : SDL_GetKeyFromScancode(sc);
    ev.key.keysym.mod = mods_;
    post(ev);
}

void EventFeeder::joystick(const ScriptedEvent& e) {
    using K = ScriptedEvent::Kind;
    if (e.kind == K::JoyAttach) {
        if (size_t(e.joystick) >= joysticks_.size()) joysticks_.resize(size_t(e.joystick) + 1);
        joysticks_[size_t(e.joystick)] = nullptr;
        // Headless runs open SDL for the first scripted joystick.
        std::string why;
        if (!load_sdl(&why)) {
            std::fprintf(stderr, "engine: joysticks are not available: %s\n", why.c_str());
            return;
        }
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        if (!SDL_WasInit(SDL_INIT_JOYSTICK) &&
            SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0)
            std::fprintf(stderr, "engine: joysticks are not available: %s\n", SDL_GetError());
        int index = SDL_JoystickAttachVirtual(
            e.controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN, e.axes,
            e.buttons, e.hats);
        joysticks_[size_t(e.joystick)] = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        return;
    }
    if (size_t(e.joystick) >= joysticks_.size() || !joysticks_[size_t(e.joystick)]) return;
    auto* j = static_cast<SDL_Joystick*>(joysticks_[size_t(e.joystick)]);
    switch (e.kind) {
        case K::JoyDetach: {
            SDL_JoystickID id = SDL_JoystickInstanceID(j);
            SDL_JoystickClose(j);
            joysticks_[size_t(e.joystick)] = nullptr;
            for (int i = 0; i < SDL_NumJoysticks(); ++i)
                if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                    SDL_JoystickDetachVirtual(i);
                    break;
                }
            break;
        }
        case K::JoyAxis:
            SDL_JoystickSetVirtualAxis(j, e.index, Sint16(e.value));
            break;
        case K::JoyButton:
            SDL_JoystickSetVirtualButton(j, e.index, Uint8(e.value));
            break;
        case K::JoyHat:
            SDL_JoystickSetVirtualHat(j, e.index, Uint8(e.value));
            break;
        default:
            break;
    }
}

}  // namespace tob::platform
