// Recorded input for headless runs (`engine --events FILE`): a text file of
// timed events, one a line, read here into a list the window thread feeds
// into the event queue when each is due. The format is in the README.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tob::platform {

struct ScriptedEvent {
    enum Kind {
        KeyDown,
        KeyUp,
        KeyRepeat,
        Text,
        MouseMove,
        MouseDown,
        MouseUp,
        DoubleClick,
        Wheel,
        FocusLost,
        FocusGained,
        JoyAttach,
        JoyDetach,
        JoyAxis,
        JoyButton,
        JoyHat,
    };
    uint32_t time_ms = 0;  // wall time since the main script started
    Kind kind = KeyDown;
    int scancode = 0;  // keys (SDL numbering)
    std::string text;  // UTF-8
    int x = 0, y = 0;  // mouse position in window pixels; Wheel: y notches
    int button = 0;    // SDL's button number: 1 left, 2 middle, 3 right, 4 and 5 extra
    int joystick = 0;  // joysticks: the number of its attach line, from 0
    int index = 0;     // axis, button or hat number
    int value = 0;
    // JoyAttach: a game controller (fixed layout) or a plain joystick.
    bool controller = false;
    int axes = 0, buttons = 0, hats = 0;
};

struct EventScript {
    std::vector<ScriptedEvent> events;
    std::string error;  // empty when the whole text was read; else "line N: why"
};

// Reads the file's text. Any wrong line fails the whole script.
EventScript parse_event_script(std::string_view text);

}  // namespace tob::platform
