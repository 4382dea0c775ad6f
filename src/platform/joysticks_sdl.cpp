// The joystick table on SDL's joystick and game-controller interfaces.
#include <SDL.h>

#include <algorithm>

#include "platform/joysticks.h"

namespace tob::platform {
namespace {

// Controller buttons in the order scripts see them as bits 0..9.
constexpr SDL_GameControllerButton kControllerButtons[] = {
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
};

}  // namespace

void JoystickTable::attach(int device_index) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device_index);
    if (id < 0) return;
    for (const Slot& s : slots_)
        if (s.instance_id == id) return;  // already here (reported twice)
    Slot* slot = nullptr;
    for (Slot& s : slots_)
        if (s.instance_id < 0) {
            slot = &s;
            break;
        }
    if (!slot) {
        if (int(slots_.size()) >= capacity_) return;
        slot = &slots_.emplace_back();
    }
    if (SDL_IsGameController(device_index)) {
        SDL_GameController* c = SDL_GameControllerOpen(device_index);
        if (c) {
            slot->controller = c;
            slot->joystick = SDL_GameControllerGetJoystick(c);
        }
    }
    if (!slot->joystick) slot->joystick = SDL_JoystickOpen(device_index);
    if (!slot->joystick) {
        if (slot == &slots_.back()) slots_.pop_back();
        return;
    }
    slot->instance_id = id;
}

void JoystickTable::close(Slot& s) {
    if (s.controller)
        SDL_GameControllerClose(static_cast<SDL_GameController*>(s.controller));
    else if (s.joystick)
        SDL_JoystickClose(static_cast<SDL_Joystick*>(s.joystick));
    s = Slot{};
}

void JoystickTable::detach(int instance_id) {
    for (Slot& s : slots_)
        if (s.instance_id == instance_id) close(s);
}

void JoystickTable::close_all() {
    for (Slot& s : slots_) close(s);
    slots_.clear();
}

std::optional<JoystickReading> JoystickTable::read(int slot) const {
    if (slot < 0 || slot >= int(slots_.size()) || slots_[size_t(slot)].instance_id < 0)
        return std::nullopt;
    const Slot& s = slots_[size_t(slot)];
    JoystickReading r;
    if (s.controller) {
        auto* c = static_cast<SDL_GameController*>(s.controller);
        r.x = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
        r.y = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
        auto held = [c](SDL_GameControllerButton b) {
            return SDL_GameControllerGetButton(c, b) != 0;
        };
        r.pad_x = held(SDL_CONTROLLER_BUTTON_DPAD_RIGHT) - held(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
        r.pad_y = held(SDL_CONTROLLER_BUTTON_DPAD_DOWN) - held(SDL_CONTROLLER_BUTTON_DPAD_UP);
        for (size_t i = 0; i < std::size(kControllerButtons); ++i)
            if (held(kControllerButtons[i])) r.buttons |= 1u << i;
        return r;
    }
    auto* j = static_cast<SDL_Joystick*>(s.joystick);
    r.x = SDL_JoystickNumAxes(j) > 0 ? SDL_JoystickGetAxis(j, 0) : 0;
    r.y = SDL_JoystickNumAxes(j) > 1 ? SDL_JoystickGetAxis(j, 1) : 0;
    int buttons = std::min(SDL_JoystickNumButtons(j), 32);
    for (int i = 0; i < buttons; ++i)
        if (SDL_JoystickGetButton(j, i)) r.buttons |= 1u << i;
    return r;
}

}  // namespace tob::platform
