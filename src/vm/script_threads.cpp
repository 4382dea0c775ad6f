// Script threads: the 32-slot table, the thread procedure that runs
// interpreter slices, stopping every thread, and engine initialisation.
#include <chrono>

#include "platform/platform.h"
#include "vm/engine.h"

namespace tob {
namespace {

void sleep_ms(uint32_t ms) {
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

ScriptEngine::ScriptEngine(uint64_t memory_span)
    : memory_(memory_span), dispatcher_(machine_, traps_) {
    machine_.memory = &memory_;
    machine_.live_code = this;
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

void ScriptEngine::thread_procedure(int slot) {
    ScriptThread& t = threads_[size_t(slot)];
    if (t.top < 0 || !t.contexts[size_t(t.top.load())]) {
        t.ended = true;
        return;
    }
    running_.fetch_add(1);
    std::this_thread::yield();
    while (!stopped()) {
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
            if (int32_t(wake - platform::tick_count()) > 0) {
                sleep_ms(1);
                continue;
            }
            t.wake_time = 0;
        }
        if (t.suspend.load() < 1 && pause_count_.load() == 0) {
            run_slice(machine_, *c);
            sleep_ms(active_ ? 0 : 1);
        } else {
            sleep_ms(1);  // suspended or paused: sleep, never spin
        }
    }
    if (stopped()) {
        std::lock_guard lock(outcome_mutex_);
        if (exit_requested_)
            outcome_.exited = true;
        else if (!stopping_all_ && !stopped_by_word_)
            outcome_.failed = true;
    }
    release_context_stack(t);
    running_.fetch_sub(1);
    t.ended = true;
}

bool ScriptEngine::end_thread(uint32_t n, std::mutex* held_trap_lock) {
    if (n >= uint32_t(kThreadSlots)) return false;
    ScriptThread& t = threads_[n];
    t.run = 0;
    if (!held_trap_lock) return true;
    // Never wait while holding the trap lock: the thread may be waiting for it.
    held_trap_lock->unlock();
    while (!t.ended.load()) sleep_ms(1);
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
        // blocked in so that they can finish.
        for (;;) {
            bool all_ended = true;
            for (const ScriptThread& t : threads_)
                if (t.in_use && !t.ended.load()) all_ended = false;
            if (all_ended) break;
            if (window_queue_ && window_queue_->on_owner_thread())
                window_queue_->wait_and_drain(1);
            else
                sleep_ms(1);
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
