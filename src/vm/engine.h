// The script engine: script memory, the machine, the trap table and
// dispatcher, program loading, and the table of script threads. The shell
// owns one; tests make their own.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/command_queue.h"
#include "vm/interpreter.h"
#include "vm/script_memory.h"
#include "vm/trap.h"
#include "vm/vm_context.h"

namespace tob {

inline constexpr int kThreadSlots = 32;
inline constexpr int kContextStackDepth = 32;
inline constexpr uint32_t kMinimumThreadStack = 1024;

// Compiles a ".c" source into [base, base + size); base 0 measures only.
// Returns code + data size on success. Errors are reported by the compiler.
using ProgramCompiler = std::function<std::optional<uint32_t>(std::string_view cp932_path,
                                                              ScriptAddr base, uint32_t size)>;

struct ScriptThread {
    std::thread handle;
    std::atomic<bool> in_use{false};  // the slot has a thread (the handle)
    std::atomic<bool> ended{false};   // the thread procedure has returned
    std::atomic<uint32_t> run{0};
    std::atomic<int32_t> suspend{0};
    std::atomic<uint32_t> wake_time{0};
    std::array<VmContext*, kContextStackDepth> contexts{};
    std::atomic<int32_t> top{-1};
};

class ScriptEngine final : private LiveCode, private StopListener {
  public:
    explicit ScriptEngine(uint64_t memory_span = ScriptMemory::kMaxSpan);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    ScriptMemory& memory() { return memory_; }
    Machine& machine() { return machine_; }
    TrapTable& traps() { return traps_; }
    TrapDispatcher& dispatcher() { return dispatcher_; }
    bool stopped() const { return machine_.stop.load(std::memory_order_relaxed) != 0; }
    // The script address of the stop word: a copy of the stop flag that
    // plug-ins read, and write to stop every thread. 0 before initialisation.
    ScriptAddr stop_word() const { return machine_.stop_word.load(); }

    // --- configuration by the shell ---
    void set_compiler(ProgramCompiler compiler) { compiler_ = std::move(compiler); }
    void set_sizes(uint32_t program_size, uint32_t stack_size);
    // Called on a thread whose program ended with `exit` (the window closes).
    void set_exit_handler(std::function<void()> handler) { on_exit_ = std::move(handler); }
    // The window thread's command queue; stop-all-threads drains it while waiting.
    void set_window_queue(CommandQueue* queue) { window_queue_ = queue; }
    // Work run by engine initialisation and shutdown (each family's reset).
    void add_init_hook(std::function<void()> hook) { init_hooks_.push_back(std::move(hook)); }
    void add_shutdown_hook(std::function<void()> hook) {
        shutdown_hooks_.push_back(std::move(hook));
    }

    // --- the shared external data area (extern variables) ---
    bool allocate_external_area(uint32_t size);
    void free_external_area();
    ScriptAddr external_base() const { return external_base_; }
    uint32_t external_size() const { return external_size_; }

    // --- program images ---
    VmContext* create_context(uint32_t program_size, uint32_t stack_size);
    VmContext* clone_context(const VmContext& parent, uint32_t stack_size);
    void release_context(VmContext* ctx);
    // Compiles a ".c" file into a new context; nullptr on failure.
    VmContext* load_program(std::string_view cp932_path, uint32_t program_size,
                            uint32_t stack_size);
    VmContext* load_program(std::string_view cp932_path) {
        return load_program(cp932_path, program_size_, stack_size_);
    }
    // Whether `addr` lies inside a live program area.
    bool in_live_program(ScriptAddr addr) const;
    bool code_alive(uint32_t addr) const override { return in_live_program(addr); }

    // --- script threads ---
    // Starts a thread on `ctx` (the thread owns it from then on); slot or -1.
    int start_thread(VmContext* ctx, bool start_suspended = false);
    // Runs the loaded main program on a new thread; false (and the context is
    // released) when no thread could be started.
    bool run_program(std::string_view cp932_path);
    // Asks thread n to end. With `held_trap_lock` (the caller is another
    // script thread) waits for it to end with that lock released, then frees
    // the slot; without, only marks it (a thread ending itself).
    bool end_thread(uint32_t n, std::mutex* held_trap_lock);
    // Run for every thread `thd_begin` starts (per-thread state of families).
    std::vector<std::function<void(int slot)>>& thread_start_hooks() { return thread_start_hooks_; }
    void stop_all_threads();
    void reset_thread_table();
    int running_threads() const { return running_.load(); }
    // True while any slot holds a thread that has not ended.
    bool any_thread_alive() const;
    ScriptThread& thread(int slot) { return threads_[size_t(slot)]; }
    bool valid_thread(uint32_t n) const;

    // Pause and resume every script thread (deactivation, full-screen switch).
    void pause_threads() {
        pause_count_.fetch_add(1);
        notice(machine_);
    }
    void resume_threads();
    // Threads sleep 1 ms between slices while inactive; while active they
    // give up the processor only when that can help another thread (see
    // `between_slices`).
    void set_active(bool active) {
        active_ = active;
        wake_waiters();
    }
    // Makes every wait of the thread table (sleeping, suspended and paused
    // threads, thd_end, stop-all-threads) look at its condition again. Call
    // after changing what a wait depends on.
    void wake_waiters();
    // Script threads that want the processor now: not sleeping, suspended or
    // paused (tests and diagnostics).
    int runnable_threads() const { return runnable_.load(std::memory_order_relaxed); }

    // --- engine initialisation and shutdown ---
    void initialise();
    void shutdown();

    // Outcome of the main program for the headless runner.
    struct Outcome {
        bool finished = false;  // main returned normally
        bool failed = false;    // a run-time error or a failed built-in check
        bool exited = false;    // a script called `exit`
        uint32_t result = 0;    // main's return value
    };
    Outcome outcome() const;

  private:
    // `main_program`: the thread of the program the engine was asked to run,
    // whose end gives the run's outcome.
    int start_thread(VmContext* ctx, bool start_suspended, bool main_program);
    void thread_procedure(int slot);
    // A raised stop flag ends every wait.
    void machine_stopped() override { wake_waiters(); }
    // When a waiting thread looks again at its condition at the latest: the
    // stop word may be written from outside without waking anybody.
    static constexpr uint32_t kLongestWaitMs = 250;
    // The generation `wait_for_change` compares against; read it before
    // looking at the condition that decides to wait.
    uint64_t wait_generation() const { return wait_generation_.load(); }
    // Blocks until `wake_waiters` runs after `seen` was read, or `ms` pass.
    void wait_for_change(uint64_t seen, uint32_t ms);
    // The host-level pause between two slices of a running thread.
    struct SliceClock;
    void between_slices(SliceClock& clock);
    class RunOnGate;
    // Stops the machine when the stop word was set from outside; true then.
    bool poll_stop_word();
    void release_context_stack(ScriptThread& t);
    uint32_t adjust_refcount(ScriptAddr addr, int delta);

    ScriptMemory memory_;
    Machine machine_;
    TrapTable traps_;
    TrapDispatcher dispatcher_;
    ProgramCompiler compiler_;
    uint32_t program_size_ = 0;
    uint32_t stack_size_ = 64 << 10;
    std::function<void()> on_exit_;
    CommandQueue* window_queue_ = nullptr;
    std::vector<std::function<void()>> init_hooks_, shutdown_hooks_;
    std::vector<std::function<void(int)>> thread_start_hooks_;

    ScriptAddr external_base_ = 0;
    uint32_t external_size_ = 0;

    mutable std::mutex refcount_mutex_;
    std::vector<std::pair<ScriptAddr, uint32_t>>
        live_programs_;  // base, size; under refcount_mutex_

    std::array<ScriptThread, kThreadSlots> threads_;
    std::mutex threads_mutex_;  // start/reap/stop of slots
    std::atomic<int> running_{0};
    std::atomic<int> runnable_{0};  // running threads not blocked in a wait of their own
    std::atomic<int> pause_count_{0};
    std::atomic<bool> active_{true};
    const int cores_;

    std::mutex wait_mutex_;
    std::condition_variable wait_cv_;
    std::atomic<uint64_t> wait_generation_{0};  // changed under wait_mutex_

    std::atomic<bool> exit_requested_{false};
    std::atomic<bool> stopping_all_{false};
    std::atomic<bool> stopped_by_word_{false};
    mutable std::mutex outcome_mutex_;
    Outcome outcome_;
    bool main_started_ = false;
    int main_slot_ = -1;
};

// The thread and program built-ins: jump, call, exit, setjmp, longjmp,
// thd_begin, thd_end, thd_suspend, thd_resume, sleep.
std::span<const TrapBinding> thread_builtins();

}  // namespace tob
