// The window-state block plug-ins read and the answer to their query.
#include "shell/plugin_query.h"

#include "platform/byte_order.h"
#include "base/settings.h"
#include "shell/window_state.h"

namespace tob {

WindowStateValues current_window_state() {
    const WindowState& w = window_state();
    const Settings& s = settings();
    WindowStateValues v{};
    v[kWordActive] = uint32_t(w.active.load());
    v[kWordAppActive] = uint32_t(w.app_active.load());
    v[kWordGlobalFocus] = uint32_t(s.global_focus.load());
    v[kWordGlobalSound] = uint32_t(s.global_sound.load());
    v[kWordScreenWidth] = uint32_t(s.width);
    v[kWordScreenHeight] = uint32_t(s.height);
    v[kWordScreenDepth] = uint32_t(s.depth);
    v[kWordClientWidth] = uint32_t(w.client_width.load());
    v[kWordClientHeight] = uint32_t(w.client_height.load());
    return v;
}

bool WindowStateBlock::allocate(ScriptMemory& memory) {
    release();
    address_ = memory.allocate(kWindowStateWords * 4, BlockKind::Engine);
    if (!address_) return false;
    memory_ = &memory;
    fresh_ = true;
    return true;
}

void WindowStateBlock::release() {
    if (memory_ && address_) memory_->free(address_);
    memory_ = nullptr;
    address_ = 0;
}

void WindowStateBlock::update(const WindowStateValues& values) {
    if (!memory_) return;
    for (size_t i = 0; i < kWindowStateWords; ++i)
        if (fresh_ || written_[i] != values[i])
            memory_->store_shared32(address_ + uint32_t(4 * i), values[i]);
    written_ = values;
    fresh_ = false;
}

uint32_t answer_plugin_query(ScriptMemory& memory, ScriptAddr out, const PluginAnswer& a) {
    if (out == 0) return 0;
    uint8_t bytes[kPluginAnswerBytes];
    const uint32_t words[] = {a.stop_word, a.window_state, a.instance, a.window,
                              a.width,     a.height,       a.depth};
    for (size_t i = 0; i < std::size(words); ++i) store_le32(bytes + 4 * i, words[i]);
    memory.copy_in(out, bytes, kPluginAnswerBytes);  // an invalid range writes nothing
    return 0;
}

}  // namespace tob
