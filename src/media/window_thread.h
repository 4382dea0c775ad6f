// The window thread as the media families reach it: their built-ins run as
// window commands there, and the CD drive posts its ticks and track ends.
#pragma once

#include <cstdint>
#include <functional>

namespace tob {
class ScriptMemory;
}

namespace tob::media {

// Runs `command` on the window thread and returns its result; without a
// queue (tests, tools) it runs here and now.
uint32_t run_on_window_thread(std::function<uint32_t()> command);
// Queues `work` for the window thread without waiting (dropped without a
// queue).
void post_to_window_thread(std::function<void()> work);

// A family's window command: what its built-ins and plug-ins' messages run.
using WindowCommand = uint32_t (*)(ScriptMemory& memory, uint32_t message, uint32_t wparam,
                                   uint32_t lparam);
// Runs `handler(memory, message, wparam, lparam)` on the window thread.
uint32_t send_to_window_thread(WindowCommand handler, ScriptMemory& memory, uint32_t message,
                               uint32_t wparam, uint32_t lparam);

}  // namespace tob::media
