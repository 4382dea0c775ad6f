// The window thread's side of a run: device start-up, the script engine with
// every built-in family bound, the loop that serves window commands, and
// device shutdown.
#pragma once

#include <memory>

#include "platform/command_queue.h"
#include "shell/app.h"
#include "vm/engine.h"

namespace tob {

class EngineHost {
public:
    explicit EngineHost(const LaunchOptions& options);
    ~EngineHost();
    // Starts the devices and the main script, runs the loop, shuts down.
    // Returns the exit status.
    int run();

    ScriptEngine& engine() { return *engine_; }
    CommandQueue& window_queue() { return queue_; }

private:
    void start_devices();
    void stop_devices();
    int exit_status(bool timed_out, bool loaded) const;

    LaunchOptions options_;
    CommandQueue queue_;
    std::unique_ptr<ScriptEngine> engine_;
    std::atomic<bool> close_requested_{false};
};

// Binds the built-in families the shell knows of to a trap table.
void bind_all_families(TrapTable& table);

}  // namespace tob
