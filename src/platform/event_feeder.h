// Feeds a recorded event list (platform/event_script.h) into the window's
// event queue as each event falls due, so that it takes the same path as
// input from the devices. Joysticks are virtual devices of the host library.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/event_script.h"

namespace tob::platform {

class EventFeeder {
  public:
    explicit EventFeeder(std::vector<ScriptedEvent> events);
    ~EventFeeder();
    EventFeeder(const EventFeeder&) = delete;
    EventFeeder& operator=(const EventFeeder&) = delete;

    // Window thread: queues every event due at `elapsed_ms`, addressed to
    // window `window_id`.
    void feed(uint32_t elapsed_ms, uint32_t window_id);
    bool done() const { return next_ >= events_.size(); }

  private:
    void push(const ScriptedEvent& e, uint32_t window_id);
    void key(const ScriptedEvent& e, uint32_t window_id);
    void joystick(const ScriptedEvent& e);

    std::vector<ScriptedEvent> events_;
    size_t next_ = 0;
    uint16_t mods_ = 0;  // modifiers and locks, as the keys left them
    int mouse_x_ = 0, mouse_y_ = 0;
    uint32_t buttons_ = 0;          // SDL button mask
    std::vector<void*> joysticks_;  // SDL_Joystick*, by attach line
};

}  // namespace tob::platform
