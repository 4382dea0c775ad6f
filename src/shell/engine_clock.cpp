#include "shell/engine_clock.h"

#include <sys/time.h>

#include <ctime>

#include "platform/platform.h"
#include "vm/trap.h"

namespace tob {

EngineClock::EngineClock(TimeSource source) : source_(std::move(source)) {}

uint32_t EngineClock::source() const {
    return source_ ? source_() : platform::tick_count();
}

void EngineClock::reset() {
    std::lock_guard lock(mutex_);
    paused_total_ = 0;
    pause_depth_ = 0;
}

uint32_t EngineClock::now() const {
    std::lock_guard lock(mutex_);
    uint32_t t = pause_depth_ > 0 ? pause_start_ : source();
    return t - paused_total_;
}

void EngineClock::pause() {
    std::lock_guard lock(mutex_);
    if (pause_depth_++ == 0) pause_start_ = source();
}

void EngineClock::resume() {
    std::lock_guard lock(mutex_);
    if (pause_depth_ == 0) return;
    if (--pause_depth_ == 0) paused_total_ += source() - pause_start_;
}

bool EngineClock::paused() const {
    std::lock_guard lock(mutex_);
    return pause_depth_ > 0;
}

uint32_t EngineClock::get_count(uint32_t n) const {
    if (n >= uint32_t(kCounters)) return 0;
    uint32_t t = now();
    std::lock_guard lock(mutex_);
    return t - counters_[n];
}

uint32_t EngineClock::set_count(uint32_t n, uint32_t value) {
    if (n >= uint32_t(kCounters)) return 0;
    uint32_t t = now();
    std::lock_guard lock(mutex_);
    counters_[n] = t - value;
    return 1;
}

uint32_t EngineClock::fps() {
    uint32_t t = now();
    std::lock_guard lock(mutex_);
    if (t - fps_rollover_ >= 1000) {
        fps_last_ = fps_count_;
        fps_count_ = 0;
        fps_rollover_ = t;
        return fps_last_;
    }
    ++fps_count_;
    return fps_last_;
}

EngineClock& engine_clock() {
    static EngineClock clock;
    return clock;
}

namespace {

uint32_t trap_getcount(TrapCall& call) {
    return engine_clock().get_count(call.word(0));
}
uint32_t trap_setcount(TrapCall& call) {
    return engine_clock().set_count(call.word(0), call.word(1));
}
uint32_t trap_fps(TrapCall&) {
    return engine_clock().fps();
}

// Fills the 16-byte local-time record: year, month, day of week, day, hour,
// minute, second, milliseconds, each 16 bits.
uint32_t trap_gettime(TrapCall& call) {
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
    {"getcount", trap_getcount},
    {"setcount", trap_setcount},
    {"gettime", trap_gettime},
    {"fps", trap_fps},
};

}  // namespace

std::span<const TrapBinding> clock_trap_bindings() {
    return kBindings;
}

}  // namespace tob
