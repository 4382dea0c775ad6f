// Fuzz target: the events file of headless runs. Any text is either read into
// events that keep within the file format's limits, or refused with a reason
// and no events.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/event_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tob::platform::ScriptedEvent;
    auto script = tob::platform::parse_event_script(
        std::string_view(reinterpret_cast<const char*>(data), size));
    if (!script.error.empty()) {
        if (!script.events.empty()) std::abort();
        return 0;
    }
    uint32_t last = 0;
    for (const ScriptedEvent& e : script.events) {
        if (e.time_ms < last || e.time_ms > INT32_MAX) std::abort();
        last = e.time_ms;
        if (e.text.find('\0') != std::string::npos) std::abort();
        if (e.joystick < 0 || e.index < 0 || e.axes < 0 || e.buttons < 0 || e.hats < 0)
            std::abort();
        if (e.kind == ScriptedEvent::Text && e.text.empty()) std::abort();
    }
    return 0;
}
