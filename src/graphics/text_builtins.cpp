// The text built-ins: font_list, font_use, font_set, font_get, gtext, gtextf.
#include <algorithm>
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/text.h"
#include "runtime/format.h"
#include "vm/trap.h"

namespace tob::gfx {
namespace {

uint32_t caller_thread(TrapCall& call) {
    return call.caller().thread_index;
}

uint32_t builtin_font_list(TrapCall& call) {
    int32_t count = call.integer(1);
    if (count <= 0) return 0;
    uint64_t bytes = uint64_t(count) * kFaceFieldBytes;
    uint8_t* buf = bytes <= UINT32_MAX ? call.pointer(0, uint32_t(bytes)) : nullptr;
    if (!buf) return 0;
    std::vector<std::string> names = offered_faces();
    uint32_t n = uint32_t(std::min<size_t>(names.size(), size_t(count)));
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* field = buf + size_t(i) * kFaceFieldBytes;
        std::memset(field, 0, kFaceFieldBytes);
        std::memcpy(field, names[i].data(), std::min<size_t>(names[i].size(), kFaceNameBytes));
    }
    return n;
}

uint32_t builtin_font_use(TrapCall& call) {
    uint32_t thread = caller_thread(call);
    if (thread < kTextThreads) text_state().use(thread, uint8_t(call.word(0)));
    return 1;
}

uint32_t builtin_font_set(TrapCall& call) {
    uint32_t slot = call.word(0);
    uint8_t* rec = call.pointer(1, kFontRecordBytes);
    if (slot >= kFontSlots || !rec) return 0;
    std::memcpy(text_state().record(slot).data(), rec, kFontRecordBytes);
    return 1;
}

uint32_t builtin_font_get(TrapCall& call) {
    uint32_t slot = call.word(0);
    uint8_t* rec = call.pointer(1, kFontRecordBytes);
    if (slot >= kFontSlots || !rec) return 0;
    std::memcpy(rec, text_state().record(slot).data(), kFontRecordBytes);
    return 1;
}

uint32_t builtin_gtext(TrapCall& call) {
    auto text = call.string(4);
    if (!text) return 0;
    return draw_text(call.word(0), call.integer(1), call.integer(2), call.word(3), *text,
                     caller_thread(call));
}

uint32_t builtin_gtextf(TrapCall& call) {
    auto text = format_call(call, 4, kFormattedTextBytes);
    if (!text) return 0;
    return draw_text(call.word(0), call.integer(1), call.integer(2), call.word(3), *text,
                     caller_thread(call));
}

constexpr TrapBinding kBindings[] = {
    {"font_list", builtin_font_list}, {"font_use", builtin_font_use},
    {"font_set", builtin_font_set},   {"font_get", builtin_font_get},
    {"gtext", builtin_gtext},         {"gtextf", builtin_gtextf},
};

}  // namespace

std::span<const TrapBinding> text_builtins() {
    return kBindings;
}

void init_text() {
    text_state().reset();
}

void shutdown_text() {
    text_state().reset();
}

}  // namespace tob::gfx
