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

}  // namespace tob
