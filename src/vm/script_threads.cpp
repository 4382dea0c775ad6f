// Script threads: the 32-slot table, the thread procedure that runs
// interpreter slices, stopping every thread, and engine initialisation.
//
// Nothing here polls: a thread that sleeps, is suspended or paused, and
// everybody waiting for threads to end, blocks on one condition that every
// change of those states signals (`wake_waiters`). Between slices a running
// thread gives up the processor only when that can help someone.
#include <chrono>

#include "platform/platform.h"
#include "vm/engine.h"

namespace tob {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A thread that ran this long without giving up the processor yields once.
constexpr auto kYieldInterval = std::chrono::milliseconds(1);
// Slices between two looks at the clock: a slice is at most 255 instructions,
// so this is well under a millisecond, and reading the clock stays rare.
constexpr uint32_t kSlicesPerClockRead = 64;
// At most this many slices after pure built-in calls begin without the gate.
constexpr uint32_t kQuickSlices = 16;

int processor_count() {
    unsigned n = std::thread::hardware_concurrency();
    return n ? int(n) : 1;
}

}  // namespace

struct ScriptEngine::SliceClock {
    uint32_t slices = 0;
    SteadyClock::time_point last_yield = SteadyClock::now();
};

// Lets a slice of a running thread go on into the next one (also after a
// built-in call) while the thread procedure would do nothing between the two
// but start it: same context, no stop, end, sleep, suspension or pause, and
// no host-level yield due (see `between_slices`, which this leaves the clock to).
// The stop word is left to the loop too, which looks at it at least every
// kSlicesPerClockRead slices.
class ScriptEngine::RunOnGate final : public SliceGate {
  public:
    RunOnGate(ScriptEngine& engine, ScriptThread& thread, SliceClock& clock)
        : engine_(engine),
          thread_(thread),
          clock_(clock),
          seen_(engine.machine_.attention.load() - 1) {}

    bool next_slice() override {
        ScriptEngine& e = engine_;
        // Nothing looked at below has changed since it last said yes.
        const uint32_t attention = e.machine_.attention.load(std::memory_order_acquire);
        if (attention == seen_ && clock_.slices + 1 < kSlicesPerClockRead) {
            ++clock_.slices;
            return true;
        }
        if (e.stopped() || thread_.run.load() == 0 || thread_.wake_time.load() != 0 ||
            thread_.suspend.load() >= 1 || e.pause_count_.load() != 0)
            return false;
        if (!e.active_.load(std::memory_order_relaxed) || e.dispatcher_.lock_waiters() > 0 ||
            e.runnable_.load(std::memory_order_relaxed) > e.cores_)
            return false;
        if (clock_.slices + 1 >= kSlicesPerClockRead) return false;
        ++clock_.slices;
        seen_ = attention;
        return true;
    }

    // Slices after pure built-in calls may begin a few at a time: a change
    // that should end the run (another thread waiting, a pause) is then seen
    // a few slices later, well within a microsecond. The stop flag is looked
    // at before each.
    uint32_t quick_slices() override {
        const uint32_t n = std::min(kQuickSlices, kSlicesPerClockRead - 1 - clock_.slices);
        clock_.slices += n;
        return n;
    }

    // Built-ins that replace the running context (`call`, `jump`, `longjmp`
    // across a call) change the top of the thread's stack: the loop takes over.
    bool after_call(const VmContext& ctx) override {
        const int top = thread_.top.load();
        return top >= 0 && thread_.contexts[size_t(top)] == &ctx && next_slice();
    }

  private:
    ScriptEngine& engine_;
    ScriptThread& thread_;
    SliceClock& clock_;
    uint32_t seen_ = 0;  // the attention word when next_slice last looked (and said yes)
};

ScriptEngine::ScriptEngine(uint64_t memory_span)
    : memory_(memory_span), dispatcher_(machine_, traps_), cores_(processor_count()) {
    machine_.memory = &memory_;
    machine_.live_code = this;
    machine_.stop_listener = this;
    dispatcher_.engine = this;
    traps_.bind_all(thread_builtins());
}

ScriptEngine::~ScriptEngine() {
    stop_all_threads();
    shutdown();
    free_external_area();
}

void ScriptEngine::set_sizes(uint32_t program_size, uint32_t stack_size) {
    program_size_ = program_size;
    stack_size_ = stack_size;
}

bool ScriptEngine::valid_thread(uint32_t n) const {
    return !stopped() && n < uint32_t(kThreadSlots) && threads_[n].in_use;
}

bool ScriptEngine::any_thread_alive() const {
    for (const ScriptThread& t : threads_)
        if (t.in_use && !t.ended.load()) return true;
    return false;
}

int ScriptEngine::start_thread(VmContext* ctx, bool start_suspended) {
    return start_thread(ctx, start_suspended, false);
}

int ScriptEngine::start_thread(VmContext* ctx, bool start_suspended, bool main_program) {
    if (stopped() || !ctx) return -1;
    std::lock_guard lock(threads_mutex_);
    // Reap slots whose threads have ended.
    for (ScriptThread& t : threads_) {
        if (t.in_use && t.ended.load()) {
            if (t.handle.joinable()) t.handle.join();
            t.in_use = false;
        }
    }
    int slot = -1;
    for (int i = 0; i < kThreadSlots; ++i)
        if (!threads_[size_t(i)].in_use) {
            slot = i;
            break;
        }
    if (slot < 0) return -1;
    ScriptThread& t = threads_[size_t(slot)];
    ctx->thread_index = uint32_t(slot);
    t.contexts.fill(nullptr);
    t.contexts[0] = ctx;
    t.top = 0;
    t.run = 1;
    t.suspend = start_suspended ? 1 : 0;
    t.wake_time = 0;  // a reused slot never inherits an old wake time
    t.ended = false;
    t.in_use = true;
    if (main_program) {
        // Before the thread runs: a short program may end at once.
        std::lock_guard outcome_lock(outcome_mutex_);
        main_started_ = true;
        main_slot_ = slot;
        outcome_ = {};
    }
    t.handle = std::thread([this, slot] { thread_procedure(slot); });
    return slot;
}

bool ScriptEngine::run_program(std::string_view path) {
    VmContext* ctx = load_program(path);
    if (!ctx) return false;
    if (start_thread(ctx, false, true) < 0) {
        release_context(ctx);
        return false;
    }
    return true;
}

void ScriptEngine::release_context_stack(ScriptThread& t) {
    for (int i = t.top.load(); i >= 0; --i) {
        release_context(t.contexts[size_t(i)]);
        t.contexts[size_t(i)] = nullptr;
    }
    t.top = -1;
}

void ScriptEngine::wake_waiters() {
    notice(machine_);
    {
        std::lock_guard lock(wait_mutex_);
        wait_generation_.fetch_add(1);
    }
    wait_cv_.notify_all();
}

void ScriptEngine::wait_for_change(uint64_t seen, uint32_t ms) {
    std::unique_lock lock(wait_mutex_);
    wait_cv_.wait_for(lock, std::chrono::milliseconds(std::min(ms, kLongestWaitMs)),
                      [&] { return wait_generation_.load() != seen; });
}

void ScriptEngine::between_slices(SliceClock& clock) {
    if (!active_.load(std::memory_order_relaxed)) {
        // Inactive: the scripts run slowly and leave the processor to others.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    // Another thread waits for the trap lock this one may take again at
    // once, or more script threads want to run than there are processors:
    // let them.
    if (dispatcher_.lock_waiters() > 0 || runnable_.load(std::memory_order_relaxed) > cores_) {
        std::this_thread::yield();
        clock.slices = 0;
        clock.last_yield = SteadyClock::now();
        return;
    }
    // Otherwise once a millisecond, so that no thread of the process waits long.
    if (++clock.slices < kSlicesPerClockRead) return;
    clock.slices = 0;
    SteadyClock::time_point now = SteadyClock::now();
    if (now - clock.last_yield < kYieldInterval) return;
    std::this_thread::yield();
    clock.last_yield = now;
}

void ScriptEngine::thread_procedure(int slot) {
    ScriptThread& t = threads_[size_t(slot)];
    if (t.top < 0 || !t.contexts[size_t(t.top.load())]) {
        t.ended = true;
        wake_waiters();
        return;
    }
    running_.fetch_add(1);
    runnable_.fetch_add(1);
    notice(machine_);
    SliceClock clock;
    RunOnGate gate(*this, t, clock);
    // Runnable no more while the wait lasts.
    auto wait = [&](uint64_t seen, uint32_t ms) {
        runnable_.fetch_sub(1);
        wait_for_change(seen, ms);
        runnable_.fetch_add(1);
        notice(machine_);
    };
    while (!stopped()) {
        // Read before the conditions: a change after this point ends the wait.
        uint64_t seen = wait_generation();
        if (poll_stop_word()) break;
        if (t.run.load() == 0) break;
        int top = t.top.load();
        VmContext* c = t.contexts[size_t(top)];
        if (c->state == uint8_t(ContextState::Failed)) {
            // Only `exit` gets here: errors stop the machine themselves.
            exit_requested_ = true;
            set_stop(machine_, 1);
            if (on_exit_) on_exit_();
            break;
        }
        if (c->state == uint8_t(ContextState::Finished)) {
            if (top == 0) {
                std::lock_guard lock(outcome_mutex_);
                if (main_started_ && slot == main_slot_) {
                    outcome_.finished = true;
                    outcome_.result = c->r[0];
                }
                break;
            }
            // A program run by `call` ended: its result becomes call's result.
            uint32_t result = c->r[0];
            release_context(c);
            t.contexts[size_t(top)] = nullptr;
            t.contexts[size_t(top - 1)]->r[0] = result;
            t.top = top - 1;
            continue;
        }
        uint32_t wake = t.wake_time.load();
        if (wake != 0) {
            int32_t left = int32_t(wake - platform::tick_count());
            if (left > 0) {
                wait(seen, uint32_t(left));
                continue;
            }
            t.wake_time = 0;
        }
        if (t.suspend.load() >= 1 || pause_count_.load() != 0) {
            wait(seen, kLongestWaitMs);
            continue;
        }
        run_slice(machine_, *c, &gate);
        between_slices(clock);
    }
    if (stopped()) {
        std::lock_guard lock(outcome_mutex_);
        if (exit_requested_)
            outcome_.exited = true;
        else if (!stopping_all_ && !stopped_by_word_)
            outcome_.failed = true;
    }
    release_context_stack(t);
    runnable_.fetch_sub(1);
    running_.fetch_sub(1);
    t.ended = true;
    // Whoever waits for threads to end: thd_end, stop-all-threads, and the
    // window thread, which ends a headless run with its last script thread.
    wake_waiters();
    if (window_queue_) window_queue_->post([] {});
}

bool ScriptEngine::end_thread(uint32_t n, std::mutex* held_trap_lock) {
    if (n >= uint32_t(kThreadSlots)) return false;
    ScriptThread& t = threads_[n];
    t.run = 0;
    wake_waiters();
    if (!held_trap_lock) return true;
    // Never wait while holding the trap lock: the thread may be waiting for it.
    held_trap_lock->unlock();
    for (;;) {
        uint64_t seen = wait_generation();
        if (t.ended.load()) break;
        wait_for_change(seen, kLongestWaitMs);
    }
    held_trap_lock->lock();
    std::lock_guard lock(threads_mutex_);
    if (t.in_use && t.handle.joinable()) t.handle.join();
    t.in_use = false;
    return true;
}

void ScriptEngine::resume_threads() {
    int now = pause_count_.load();
    while (now > 0 && !pause_count_.compare_exchange_weak(now, now - 1)) {
    }
    wake_waiters();
}

void ScriptEngine::stop_all_threads() {
    stopping_all_ = true;
    set_stop(machine_, 1);
    std::vector<std::thread> collected;
    {
        std::lock_guard lock(threads_mutex_);
        for (ScriptThread& t : threads_)
            if (t.in_use && t.handle.joinable()) collected.push_back(std::move(t.handle));
    }
    if (!collected.empty()) {
        // Wait for every thread, serving the window commands they may be
        // blocked in so that they can finish. An ending thread wakes both
        // waits below.
        bool on_window_thread = window_queue_ && window_queue_->on_owner_thread();
        for (;;) {
            uint64_t seen = wait_generation();
            bool all_ended = true;
            for (const ScriptThread& t : threads_)
                if (t.in_use && !t.ended.load()) all_ended = false;
            if (all_ended) break;
            if (on_window_thread)
                window_queue_->wait_and_drain(kLongestWaitMs);
            else
                wait_for_change(seen, kLongestWaitMs);
        }
        for (std::thread& th : collected) th.join();
    }
    reset_thread_table();
    stopping_all_ = false;
}

void ScriptEngine::reset_thread_table() {
    std::lock_guard lock(threads_mutex_);
    for (ScriptThread& t : threads_) {
        if (t.handle.joinable()) t.handle.join();
        t.in_use = false;
        t.ended = false;
        t.run = 0;
        t.suspend = 0;
        t.wake_time = 0;
        t.contexts.fill(nullptr);
        t.top = -1;
    }
    pause_count_ = 0;
    exit_requested_ = false;
    stopped_by_word_ = false;
    set_stop(machine_, 0);
    wake_waiters();
}

bool ScriptEngine::poll_stop_word() {
    if (stopped() || read_stop_word(machine_) == 0) return false;
    // Written by a plug-in: every thread stops, as stop-all-threads stops them.
    stopped_by_word_ = true;
    set_stop(machine_, 1);
    return true;
}

void ScriptEngine::initialise() {
    shutdown();
    // The stop word lives from initialisation to shutdown; it starts as the
    // stop flag is.
    ScriptAddr word = memory_.allocate(4, BlockKind::Engine);
    machine_.stop_word.store(word);
    set_stop(machine_, machine_.stop.load());
    for (auto& hook : init_hooks_) hook();
    machine_.trap_hook = nullptr;
    dispatcher_.install();
}

void ScriptEngine::shutdown() {
    for (auto it = shutdown_hooks_.rbegin(); it != shutdown_hooks_.rend(); ++it) (*it)();
    if (ScriptAddr word = machine_.stop_word.exchange(0)) memory_.free(word);
}

ScriptEngine::Outcome ScriptEngine::outcome() const {
    std::lock_guard lock(outcome_mutex_);
    return outcome_;
}

}  // namespace tob
