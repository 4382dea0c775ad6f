#include "media/window_thread.h"

#include <atomic>

#include "media/media.h"
#include "platform/command_queue.h"

namespace tob {
namespace {

// Set on the window thread, read by script threads and the CD drive's worker.
std::atomic<CommandQueue*> media_queue{nullptr};

}  // namespace

void set_media_command_queue(CommandQueue* queue) {
    media_queue.store(queue);
}

namespace media {

uint32_t run_on_window_thread(std::function<uint32_t()> command) {
    CommandQueue* q = media_queue.load();
    return q ? q->send(std::move(command)) : command();
}

void post_to_window_thread(std::function<void()> work) {
    if (CommandQueue* q = media_queue.load()) q->post(std::move(work));
}

uint32_t send_to_window_thread(WindowCommand handler, ScriptMemory& memory, uint32_t message,
                               uint32_t wparam, uint32_t lparam) {
    return run_on_window_thread([=, &memory] { return handler(memory, message, wparam, lparam); });
}

}  // namespace media
}  // namespace tob
