// The clock built-ins: getcount, setcount, gettime, fps.
#include <sys/time.h>

#include <ctime>

#include "shell/engine_clock.h"
#include "vm/trap.h"

namespace tob {
namespace {

uint32_t builtin_getcount(TrapCall& call) {
    return engine_clock().get_count(call.word(0));
}
uint32_t builtin_setcount(TrapCall& call) {
    return engine_clock().set_count(call.word(0), call.word(1));
}
uint32_t builtin_fps(TrapCall&) {
    return engine_clock().fps();
}

// Fills the 16-byte local-time record: year, month, day of week, day, hour,
// minute, second, milliseconds, each 16 bits.
uint32_t builtin_gettime(TrapCall& call) {
    uint8_t* out = call.pointer(0, 16);
    if (!out) return 0;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &tm);
    const uint16_t fields[8] = {uint16_t(tm.tm_year + 1900), uint16_t(tm.tm_mon + 1),
                                uint16_t(tm.tm_wday),        uint16_t(tm.tm_mday),
                                uint16_t(tm.tm_hour),        uint16_t(tm.tm_min),
                                uint16_t(tm.tm_sec),         uint16_t(tv.tv_usec / 1000)};
    for (int i = 0; i < 8; ++i) {
        out[2 * i] = uint8_t(fields[i]);
        out[2 * i + 1] = uint8_t(fields[i] >> 8);
    }
    return 1;
}

constexpr TrapBinding kBindings[] = {
    {"getcount", builtin_getcount, TrapEffects::NoMemoryWrites},
    {"setcount", builtin_setcount},
    {"gettime", builtin_gettime},
    {"fps", builtin_fps},
};

}  // namespace

std::span<const TrapBinding> clock_builtins() {
    return kBindings;
}

}  // namespace tob
