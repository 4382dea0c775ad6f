// What plug-in libraries learn from the window (window command 1224): the
// stop word, a block of window state kept current in script memory, tokens
// for the instance and the window, and the screen size.
#pragma once

#include <array>
#include <cstdint>

#include "vm/script_memory.h"

namespace tob {

inline constexpr uint32_t kPluginQueryCommand = 1224;
inline constexpr uint32_t kInstanceToken = 1;

// The window-state block: nine consecutive 32-bit words in script memory.
enum WindowStateWord : size_t {
    kWordActive,
    kWordAppActive,
    kWordGlobalFocus,
    kWordGlobalSound,
    kWordScreenWidth,
    kWordScreenHeight,
    kWordScreenDepth,
    kWordClientWidth,
    kWordClientHeight,
    kWindowStateWords
};
using WindowStateValues = std::array<uint32_t, kWindowStateWords>;

// The values as the window and the settings have them now.
WindowStateValues current_window_state();

// The block's place in script memory, allocated at engine initialisation and
// freed at shutdown; written only on the window thread.
class WindowStateBlock {
  public:
    // False when script memory is exhausted (plug-ins then get address 0).
    bool allocate(ScriptMemory& memory);
    void release();
    ScriptAddr address() const { return address_; }
    // Writes the words whose values changed.
    void update(const WindowStateValues& values);

  private:
    ScriptMemory* memory_ = nullptr;
    ScriptAddr address_ = 0;
    WindowStateValues written_{};
    bool fresh_ = true;  // nothing written yet
};

// The seven words command 1224 fills.
struct PluginAnswer {
    ScriptAddr stop_word = 0;
    ScriptAddr window_state = 0;
    uint32_t instance = kInstanceToken;
    uint32_t window = 0;  // the window's token
    uint32_t width = 0, height = 0, depth = 0;
};
inline constexpr uint32_t kPluginAnswerBytes = 7 * 4;

// Writes the answer at `out` when the whole of it lies in script memory
// (nothing otherwise, and nothing for 0). The command's result: always 0.
uint32_t answer_plugin_query(ScriptMemory& memory, ScriptAddr out, const PluginAnswer& answer);

}  // namespace tob
