// What the SDL window, the headless window and the event feeder share.
#pragma once

#include <SDL_events.h>
#include <SDL_keyboard.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

namespace tob::platform {

// SDL events in the neutral form.
class EventTranslator {
  public:
    virtual ~EventTranslator() = default;
    // False for events the engine does not look at (and parts of a drop).
    bool translate(const SDL_Event& ev, WindowEvent& e);

  protected:
    // The event type of wake-ups (0: they do not come as SDL events).
    Uint32 wake_event_ = 0;
    // The modifier keys held now.
    virtual SDL_Keymod modifiers() const = 0;
    // The client size of window `id`; false when there is no such window.
    virtual bool window_size(Uint32 id, int& w, int& h) const = 0;

  private:
    bool dropping_ = false;
    std::vector<std::string> dropped_;
};

// A window that nobody sees, without SDL: no display, no events but the
// scripted ones and wake-ups (and the joysticks' once SDL runs for them).
std::unique_ptr<Window> create_headless_window(const WindowSpec& spec);
// While a headless main window is open, scripted events go to its queue
// rather than SDL's.
bool headless_queue_active();
void post_headless_event(const SDL_Event& ev);

}  // namespace tob::platform
