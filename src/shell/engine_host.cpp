#include "shell/engine_host.h"

#include <chrono>
#include <cstdio>

#include "shell/engine_clock.h"
#include "shell/error_report.h"
#include "shell/menu_model.h"
#include "shell/settings.h"
#include "shell/window_state.h"
#include "vm/system_values.h"

namespace tob {

void bind_all_families(TrapTable& table) {
    table.bind_all(thread_trap_bindings());
    table.bind_all({kSystemValueTraps, kSystemValueTrapCount});
    table.bind_all(clock_trap_bindings());
    table.bind_all(menu_trap_bindings());
}

EngineHost::EngineHost(const LaunchOptions& options)
    : options_(options), engine_(std::make_unique<ScriptEngine>()) {}

EngineHost::~EngineHost() {
    queue_.close();
    engine_.reset();
}

void EngineHost::start_devices() {
    const Settings& s = settings();
    queue_.open_on_this_thread();
    engine_clock().reset();
    {
        std::lock_guard lock(menu_state().mutex);
        menu_state().window_has_menu = s.menu > 0;
    }
    engine_->set_window_queue(&queue_);
    engine_->set_sizes(s.program_size, s.stack_size);
    engine_->set_exit_handler([this] { close_requested_ = true; });
    if (!engine_->allocate_external_area(s.heap_size))
        report_error(1, "The external data area of %u bytes could not be allocated",
                     unsigned(s.heap_size));
    bind_all_families(engine_->traps());
    engine_->dispatcher().set_check_arguments(s.debug_mode != 0);
    engine_->initialise();
    engine_->reset_thread_table();
}

void EngineHost::stop_devices() {
    engine_->stop_all_threads();
    engine_->shutdown();
    engine_->free_external_area();
    queue_.close();
}

int EngineHost::run() {
    start_devices();
    // The run-program message: compile the main script and start its thread.
    bool loaded = engine_->run_program(settings().main_script);

    using clock = std::chrono::steady_clock;
    auto deadline = options_.timeout_seconds
                        ? clock::now() + std::chrono::duration_cast<clock::duration>(
                                             std::chrono::duration<double>(*options_.timeout_seconds))
                        : clock::time_point::max();
    bool timed_out = false;
    while (loaded && !close_requested_) {
        queue_.wait_and_drain(5);
        if (!engine_->any_thread_alive()) break;
        if (clock::now() >= deadline) {
            timed_out = true;
            break;
        }
    }
    int status = exit_status(timed_out, loaded);
    stop_devices();
    std::fflush(stdout);
    return status;
}

int EngineHost::exit_status(bool timed_out, bool loaded) const {
    if (!loaded) return kExitCompileError;
    if (timed_out) return kExitTimeout;
    ScriptEngine::Outcome o = engine_->outcome();
    if (o.failed) return kExitRuntimeError;
    if (o.exited) return 0;
    return int(o.result & 0xFF);
}

}  // namespace tob
