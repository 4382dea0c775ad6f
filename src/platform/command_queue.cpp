#include "platform/command_queue.h"

#include <chrono>

namespace tob {

void CommandQueue::open_on_this_thread() {
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
    open_ = true;
}

void CommandQueue::close() {
    std::deque<Entry> dropped;
    {
        std::lock_guard lock(mutex_);
        open_ = false;
        dropped.swap(queue_);
        for (Entry& e : dropped)
            if (e.pending) e.pending->done = true;  // result stays 0
    }
    done_cv_.notify_all();
}

bool CommandQueue::is_open() const {
    std::lock_guard lock(mutex_);
    return open_;
}

bool CommandQueue::on_owner_thread() const {
    std::lock_guard lock(mutex_);
    return owner_ == std::this_thread::get_id();
}

uint32_t CommandQueue::send(std::function<uint32_t()> command) {
    Pending pending;
    std::function<void()> wake;
    {
        std::unique_lock lock(mutex_);
        if (!open_) return 0;
        if (owner_ == std::this_thread::get_id()) {
            lock.unlock();
            return command();
        }
        pending.command = std::move(command);
        queue_.push_back(Entry{nullptr, &pending});
        wake = wake_;
    }
    queued_cv_.notify_all();
    if (wake) wake();
    std::unique_lock lock(mutex_);
    done_cv_.wait(lock, [&] { return pending.done; });
    return pending.result;
}

void CommandQueue::post(std::function<void()> command) {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        if (!open_) return;
        queue_.push_back(Entry{[c = std::move(command)] {
                                   c();
                                   return 0u;
                               },
                               nullptr});
        wake = wake_;
    }
    queued_cv_.notify_all();
    if (wake) wake();
}

size_t CommandQueue::drain() {
    size_t ran = 0;
    for (;;) {
        Entry e;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return ran;
            e = std::move(queue_.front());
            queue_.pop_front();
        }
        ++ran;
        if (!e.pending) {
            e.command();
            continue;
        }
        uint32_t result = e.pending->command();
        {
            std::lock_guard lock(mutex_);
            e.pending->result = result;
            e.pending->done = true;
        }
        done_cv_.notify_all();
    }
}

size_t CommandQueue::wait_and_drain(uint32_t timeout_ms) {
    {
        std::unique_lock lock(mutex_);
        queued_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return !queue_.empty(); });
    }
    return drain();
}

void CommandQueue::set_wakeup(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

}  // namespace tob
