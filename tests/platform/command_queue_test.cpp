#include "platform/command_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tob;

TEST(CommandQueue, SendRunsOnTheOwnerThreadInOrderAndReturnsTheResult) {
    CommandQueue q;
    q.open_on_this_thread();
    std::thread::id owner = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<bool> finished{false};
    std::thread sender([&] {
        for (int i = 0; i < 50; ++i) {
            uint32_t r = q.send([&, i] {
                EXPECT_EQ(std::this_thread::get_id(), owner);
                order.push_back(i);
                return uint32_t(i * 3);
            });
            EXPECT_EQ(r, uint32_t(i * 3));
        }
        finished = true;
    });
    while (!finished) q.wait_and_drain(5);
    sender.join();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[size_t(i)], i);
}

TEST(CommandQueue, OwnerSendsInlineAndClosedQueuesAnswerZero) {
    CommandQueue q;
    EXPECT_EQ(q.send([] { return 5u; }), 0u);  // not open yet
    q.open_on_this_thread();
    EXPECT_EQ(q.send([] { return 7u; }), 7u);  // inline on the owner
    int posted = 0;
    q.post([&] { ++posted; });
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(q.drain(), 1u);
    EXPECT_EQ(posted, 1);

    // A sender blocked when the queue closes gets 0 and is released.
    std::atomic<uint32_t> result{99};
    std::thread sender([&] { result = q.send([] { return 1u; }); });
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (result != 99) break;
        q.close();
    }
    sender.join();
    EXPECT_EQ(result.load(), 0u);
    EXPECT_EQ(q.send([] { return 3u; }), 0u);
    q.post([&] { ++posted; });
    EXPECT_EQ(q.drain(), 0u);
}

TEST(CommandQueue, WakeupIsCalledForEveryQueuedCommand) {
    CommandQueue q;
    q.open_on_this_thread();
    std::atomic<int> wakes{0};
    q.set_wakeup([&] { ++wakes; });
    std::thread sender([&] { q.send([] { return 0u; }); });
    while (q.drain() == 0) std::this_thread::yield();
    sender.join();
    q.post([] {});
    EXPECT_EQ(wakes.load(), 2);
}
