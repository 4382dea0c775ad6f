// The engine clock: milliseconds that stand still while the engine is paused
// (deactivation, full-screen switch), with the 257 script counters of
// `getcount`/`setcount` and the frame counter of `fps`.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>

namespace tob {

struct TrapBinding;

class EngineClock {
  public:
    static constexpr int kCounters = 257;
    using TimeSource = std::function<uint32_t()>;

    explicit EngineClock(TimeSource source = nullptr);
    // Starts afresh (window creation): no paused time, no pause.
    void reset();
    uint32_t now() const;
    // Nested: the first pause freezes the clock, the last resume releases it.
    void pause();
    void resume();
    bool paused() const;

    uint32_t get_count(uint32_t n) const;
    uint32_t set_count(uint32_t n, uint32_t value);
    uint32_t fps();

  private:
    uint32_t source() const;

    TimeSource source_;
    mutable std::mutex mutex_;
    uint32_t paused_total_ = 0;
    uint32_t pause_start_ = 0;
    int pause_depth_ = 0;
    std::array<uint32_t, kCounters> counters_{};
    uint32_t fps_count_ = 0, fps_last_ = 0, fps_rollover_ = 0;
};

// The engine's clock (one per process).
EngineClock& engine_clock();

// getcount, setcount, gettime, fps.
std::span<const TrapBinding> clock_builtins();

}  // namespace tob
