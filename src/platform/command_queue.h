// Synchronous commands for the window thread. A script thread that needs a
// window-owned device sends a closure; the window thread runs it and the
// sender gets its 32-bit result. Commands from the window thread itself run
// inline, and once the queue is closed every send returns 0 at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tob {

class CommandQueue {
  public:
    // Makes the calling thread the owner and opens the queue.
    void open_on_this_thread();
    // Closes the queue: pending and later sends return 0.
    void close();
    bool is_open() const;
    bool on_owner_thread() const;

    // Runs `command` on the owner thread and returns its result; blocks until
    // then. 0 when the queue is not open.
    uint32_t send(std::function<uint32_t()> command);
    // Queues `command` without waiting; dropped when the queue is not open.
    void post(std::function<void()> command);

    // Owner thread: runs every queued command; returns how many ran.
    size_t drain();
    // Owner thread: waits until a command arrives or `timeout_ms` passes,
    // then drains. Returns how many ran.
    size_t wait_and_drain(uint32_t timeout_ms);

    // Called (from any thread) whenever a command is queued, so the owner's
    // event loop can wake up.
    void set_wakeup(std::function<void()> wake);

  private:
    struct Pending {
        std::function<uint32_t()> command;
        uint32_t result = 0;
        bool done = false;
    };
    struct Entry {
        std::function<uint32_t()> command;
        Pending* pending = nullptr;  // null for posted commands
    };

    mutable std::mutex mutex_;
    std::condition_variable done_cv_;
    std::condition_variable queued_cv_;
    std::deque<Entry> queue_;
    std::thread::id owner_;
    bool open_ = false;
    std::function<void()> wake_;
};

}  // namespace tob
