// The crc16, crc32, log_clear and log_out built-ins.
#include "runtime/crc.h"
#include "runtime/debug_output.h"
#include "runtime/format.h"
#include "runtime/runtime.h"
#include "vm/trap.h"

namespace tob {
namespace {

// The debug window command's text buffer, terminator included.
constexpr size_t kLogBufferSize = 4096;

template <uint32_t (*Crc)(std::span<const uint8_t>)>
uint32_t crc_of(TrapCall& call) {
    int32_t n = call.integer(1);
    if (n < 1) return Crc({});
    const uint8_t* p = call.pointer(0, uint32_t(n));
    return p ? Crc({p, size_t(n)}) : call.info().fail;
}

constexpr TrapHandler builtin_crc16 = crc_of<crc16>;
constexpr TrapHandler builtin_crc32 = crc_of<crc32>;

uint32_t builtin_log_clear(TrapCall&) {
    return debug_output_clear() ? 1 : 0;
}

uint32_t builtin_log_out(TrapCall& call) {
    auto text = format_call(call, 0, kLogBufferSize - 1);
    if (!text) return 0;
    // The text ends at its first terminator, as the window would show it.
    return debug_output_write(std::string_view(text->c_str())) ? 1 : 0;
}

constexpr TrapBinding kBindings[] = {
    {"crc16", builtin_crc16},
    {"crc32", builtin_crc32},
    {"log_clear", builtin_log_clear},
    {"log_out", builtin_log_out},
};

}  // namespace

std::span<const TrapBinding> crc_log_builtins() {
    return kBindings;
}

void init_crc_log() {}
void shutdown_crc_log() {}

}  // namespace tob
