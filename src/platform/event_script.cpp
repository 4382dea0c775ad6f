// The events file: "TIME VERB ARGUMENTS" lines, checked completely before
// anything is fed, so that a mistake stops the run before it starts.
#include "platform/event_script.h"

#include <SDL_scancode.h>

#include <array>
#include <charconv>
#include <optional>

#include "platform/keys.h"

namespace tob::platform {
namespace {

using Kind = ScriptedEvent::Kind;

// Limits that keep a file's numbers within what the devices can carry.
constexpr int kMaxCoordinate = 1 << 20;
constexpr int kMaxWheel = 1000;
constexpr int kMaxAxes = 32, kMaxButtons = 64, kMaxHats = 8;
constexpr int kMaxJoysticks = 64;
// A game controller's layout: the left and right stick, two triggers; the
// buttons in SDL's controller order (A, B, X, Y, Back, Guide, Start, the two
// sticks, the two shoulders, the d-pad up, down, left, right).
constexpr int kControllerAxes = 6, kControllerButtons = 15;

struct Verb {
    std::string_view name;
    Kind kind;
};
constexpr Verb kVerbs[] = {
    {"key-down", Kind::KeyDown},
    {"key-up", Kind::KeyUp},
    {"key-repeat", Kind::KeyRepeat},
    {"text", Kind::Text},
    {"mouse-move", Kind::MouseMove},
    {"mouse-down", Kind::MouseDown},
    {"mouse-up", Kind::MouseUp},
    {"double-click", Kind::DoubleClick},
    {"wheel", Kind::Wheel},
    {"focus-lost", Kind::FocusLost},
    {"focus-gained", Kind::FocusGained},
    {"joy-attach", Kind::JoyAttach},
    {"joy-detach", Kind::JoyDetach},
    {"joy-axis", Kind::JoyAxis},
    {"joy-button", Kind::JoyButton},
    {"joy-hat", Kind::JoyHat},
};

struct ButtonName {
    std::string_view name;
    int number;
};
constexpr ButtonName kButtons[] = {{"left", 1}, {"middle", 2}, {"right", 3}, {"x1", 4}, {"x2", 5}};

bool is_space(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && (is_space(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Splits off the next word.
std::string_view next_word(std::string_view& s) {
    s = trim(s);
    size_t n = 0;
    while (n < s.size() && !is_space(s[n])) ++n;
    std::string_view w = s.substr(0, n);
    s.remove_prefix(n);
    return w;
}

std::optional<int> number(std::string_view w, int low, int high) {
    int v = 0;
    const char* first = w.data();
    if (!w.empty() && w.front() == '+') ++first;
    auto [end, ec] = std::from_chars(first, w.data() + w.size(), v);
    if (w.empty() || ec != std::errc() || end != w.data() + w.size() || v < low || v > high)
        return std::nullopt;
    return v;
}

bool valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = uint8_t(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || c == 0 || c == 0xC0 || c == 0xC1 || c > 0xF4 ||
            i + size_t(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((uint8_t(s[i + size_t(k)]) & 0xC0) != 0x80) return false;
        i += size_t(extra) + 1;
    }
    return true;
}

bool valid_hat(int v) {
    // Centred, the four directions and the four diagonals.
    for (int ok : {0, 1, 2, 4, 8, 3, 6, 12, 9})
        if (v == ok) return true;
    return false;
}

class Reader {
  public:
    EventScript read(std::string_view text) {
        EventScript out;
        int line_no = 0;
        while (!text.empty()) {
            size_t nl = text.find('\n');
            std::string_view line = text.substr(0, nl);
            text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
            ++line_no;
            line = trim(line);
            if (line.empty() || line.front() == '#') continue;
            ScriptedEvent e;
            std::string why = parse_line(line, e);
            if (!why.empty()) {
                out.error = "line " + std::to_string(line_no) + ": " + why;
                out.events.clear();
                return out;
            }
            out.events.push_back(std::move(e));
        }
        return out;
    }

  private:
    struct Joystick {
        bool attached = true;
        int axes = 0, buttons = 0, hats = 0;
    };

    std::string parse_line(std::string_view rest, ScriptedEvent& e) {
        std::string_view time_word = next_word(rest);
        auto time = number(time_word, 0, INT32_MAX);
        if (!time)
            return "the time '" + std::string(time_word) + "' is not a number of milliseconds";
        if (uint32_t(*time) < last_time_) return "the times must not go backwards";
        last_time_ = uint32_t(*time);
        e.time_ms = uint32_t(*time);
        std::string_view verb = next_word(rest);
        const Verb* found = nullptr;
        for (const Verb& v : kVerbs)
            if (v.name == verb) found = &v;
        if (!found) return "unknown event '" + std::string(verb) + "'";
        e.kind = found->kind;
        std::string why = parse_arguments(rest, e);
        if (!why.empty()) return std::string(verb) + ": " + why;
        return {};
    }

    std::string parse_arguments(std::string_view rest, ScriptedEvent& e) {
        switch (e.kind) {
            case Kind::KeyDown:
            case Kind::KeyUp:
            case Kind::KeyRepeat: {
                std::string name(trim(rest));
                int sc = scancode_from_name(name);
                if (sc == SDL_SCANCODE_UNKNOWN) return "unknown key '" + name + "'";
                e.scancode = sc;
                return {};
            }
            case Kind::Text:
                e.text = std::string(trim(rest));
                if (e.text.empty()) return "no text";
                if (!valid_utf8(e.text)) return "the text is not UTF-8";
                return {};
            case Kind::MouseMove:
                return point(rest, e);
            case Kind::MouseDown:
            case Kind::MouseUp:
            case Kind::DoubleClick: {
                std::string_view b = next_word(rest);
                for (const ButtonName& n : kButtons)
                    if (n.name == b) e.button = n.number;
                if (!e.button) return "unknown button '" + std::string(b) + "'";
                return point(rest, e);
            }
            case Kind::Wheel: {
                auto n = number(next_word(rest), -kMaxWheel, kMaxWheel);
                if (!n) return "needs a number of notches";
                e.y = *n;
                return end(rest);
            }
            case Kind::FocusLost:
            case Kind::FocusGained:
                return end(rest);
            case Kind::JoyAttach:
                return attach(rest, e);
            case Kind::JoyDetach:
            case Kind::JoyAxis:
            case Kind::JoyButton:
            case Kind::JoyHat:
                return joystick_event(rest, e);
        }
        return "unknown event";
    }

    static std::string end(std::string_view rest) {
        return trim(rest).empty() ? std::string() : "too many arguments";
    }

    static std::string point(std::string_view rest, ScriptedEvent& e) {
        auto x = number(next_word(rest), -kMaxCoordinate, kMaxCoordinate);
        auto y = number(next_word(rest), -kMaxCoordinate, kMaxCoordinate);
        if (!x || !y) return "needs the pointer's x and y";
        e.x = *x;
        e.y = *y;
        return end(rest);
    }

    std::string attach(std::string_view rest, ScriptedEvent& e) {
        if (int(joysticks_.size()) >= kMaxJoysticks) return "too many joysticks";
        std::string_view kind = next_word(rest);
        if (kind == "controller") {
            e.controller = true;
            e.axes = kControllerAxes;
            e.buttons = kControllerButtons;
        } else if (kind == "joystick") {
            auto axes = number(next_word(rest), 0, kMaxAxes);
            auto buttons = number(next_word(rest), 0, kMaxButtons);
            auto hats = number(next_word(rest), 0, kMaxHats);
            if (!axes || !buttons || !hats)
                return "a joystick needs its numbers of axes (0.." + std::to_string(kMaxAxes) +
                       "), buttons (0.." + std::to_string(kMaxButtons) + ") and hats (0.." +
                       std::to_string(kMaxHats) + ")";
            e.axes = *axes;
            e.buttons = *buttons;
            e.hats = *hats;
        } else {
            return "'controller' or 'joystick AXES BUTTONS HATS'";
        }
        e.joystick = int(joysticks_.size());
        joysticks_.push_back({true, e.axes, e.buttons, e.hats});
        return end(rest);
    }

    std::string joystick_event(std::string_view rest, ScriptedEvent& e) {
        auto n = number(next_word(rest), 0, kMaxJoysticks - 1);
        if (!n || *n >= int(joysticks_.size()))
            return "no such joystick (count the joy-attach lines from 0)";
        Joystick& j = joysticks_[size_t(*n)];
        if (!j.attached) return "joystick " + std::to_string(*n) + " was detached";
        e.joystick = *n;
        if (e.kind == Kind::JoyDetach) {
            j.attached = false;
            return end(rest);
        }
        int limit = e.kind == Kind::JoyAxis     ? j.axes
                    : e.kind == Kind::JoyButton ? j.buttons
                                                : j.hats;
        auto index = number(next_word(rest), 0, limit - 1);
        if (!index)
            return "the joystick has no such " + std::string(e.kind == Kind::JoyAxis     ? "axis"
                                                             : e.kind == Kind::JoyButton ? "button"
                                                                                         : "hat");
        e.index = *index;
        std::optional<int> value;
        std::string_view v = next_word(rest);
        if (e.kind == Kind::JoyAxis) {
            value = number(v, -32768, 32767);
            if (!value) return "an axis value is -32768..32767";
        } else if (e.kind == Kind::JoyButton) {
            value = number(v, 0, 1);
            if (!value) return "a button is 0 (up) or 1 (down)";
        } else {
            value = number(v, 0, 15);
            if (!value || !valid_hat(*value))
                return "a hat is 0 (centred) or 1 up, 2 right, 4 down, 8 left, or two neighbours "
                       "added";
        }
        e.value = *value;
        return end(rest);
    }

    uint32_t last_time_ = 0;
    std::vector<Joystick> joysticks_;
};

}  // namespace

EventScript parse_event_script(std::string_view text) {
    return Reader().read(text);
}

}  // namespace tob::platform
