#include "vm/script_memory.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

using namespace tob;

TEST(ScriptMemory, AddressesAreNonNullAlignedZeroedAndBelow2G) {
    ScriptMemory mem;
    ASSERT_TRUE(mem.ok());
    ScriptAddr a = mem.allocate(100);
    ScriptAddr b = mem.allocate(1);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_GE(a, ScriptMemory::kLowGuard);
    EXPECT_LT(uint64_t(b) + 16, 1ull << 31);
    EXPECT_EQ(a % ScriptMemory::kAlignment, 0u);
    EXPECT_EQ(mem.block_size(a), 112u);
    for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(*mem.host(a + i), 0);
    // Freed memory comes back zeroed.
    std::memset(mem.host(a, 100), 0xAB, 100);
    ASSERT_TRUE(mem.free(a));
    ScriptAddr c = mem.allocate(100);
    EXPECT_EQ(c, a);
    for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(*mem.host(c + i), 0);
}

TEST(ScriptMemory, TranslationRejectsEverythingOutsideTheSpace) {
    ScriptMemory mem(4 << 20);
    ScriptAddr a = mem.allocate(64);
    EXPECT_EQ(mem.host(0), nullptr);
    EXPECT_EQ(mem.host(ScriptMemory::kLowGuard - 1, 1), nullptr);
    EXPECT_EQ(mem.host(ScriptMemory::kLowGuard - 4, 8), nullptr);
    EXPECT_EQ(mem.host(0xFFFFFFFC, 4), nullptr);
    EXPECT_EQ(mem.host(mem.limit() - 3, 4), nullptr);
    EXPECT_NE(mem.host(mem.limit() - 4, 4), nullptr);
    EXPECT_NE(mem.host(a, 64), nullptr);
    uint32_t v = 0;
    EXPECT_FALSE(mem.read32(8, v));
    EXPECT_TRUE(mem.write32(a, 0x11223344));
    EXPECT_EQ(*mem.host(a), 0x44);
    EXPECT_TRUE(mem.read32(a, v));
    EXPECT_EQ(v, 0x11223344u);
}

TEST(ScriptMemory, StringsAreBoundedByTheSpaceAndTheLimit) {
    ScriptMemory mem(4 << 20);
    ScriptAddr a = mem.allocate(16);
    std::memcpy(mem.host(a, 6), "hello", 6);
    EXPECT_EQ(mem.c_string(a).value(), "hello");
    EXPECT_FALSE(mem.c_string(a, 4).has_value());
    EXPECT_TRUE(mem.c_string(a, 5).has_value());
    EXPECT_FALSE(mem.c_string(0).has_value());
    // A string running into the end of the space has no terminator.
    ScriptAddr end = mem.limit() - 2;
    std::memset(mem.host(end, 2), 'x', 2);
    EXPECT_FALSE(mem.c_string(end).has_value());
}

TEST(ScriptMemory, ExhaustionIsAnOrdinaryFailureAndFreeAllReleasesAKind) {
    ScriptMemory mem(8 << 20);
    std::vector<ScriptAddr> heap;
    for (ScriptAddr a; (a = mem.allocate(1 << 20, BlockKind::ScriptHeap)) != 0;) heap.push_back(a);
    EXPECT_GE(heap.size(), 6u);
    EXPECT_EQ(mem.allocate(1 << 20), 0u);
    EXPECT_EQ(mem.allocate(0xFFFFFFFF), 0u);
    EXPECT_FALSE(mem.free(12345));
    EXPECT_FALSE(mem.free(0));
    mem.free_all(BlockKind::ScriptHeap);
    EXPECT_EQ(mem.block_count(BlockKind::ScriptHeap), 0u);
    EXPECT_NE(mem.allocate(6 << 20), 0u);
}

TEST(ScriptMemory, ConcurrentAllocationNeverHandsOutOverlappingBlocks) {
    ScriptMemory mem(256 << 20);
    constexpr int kThreads = 4;
    std::vector<std::vector<std::pair<ScriptAddr, uint32_t>>> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            std::vector<std::pair<ScriptAddr, uint32_t>> live;
            for (int i = 0; i < 2000; ++i) {
                if (!live.empty() && rng() % 3 == 0) {
                    size_t k = rng() % live.size();
                    ASSERT_TRUE(mem.free(live[k].first));
                    live.erase(live.begin() + long(k));
                } else {
                    uint32_t size = 1 + rng() % 5000;
                    ScriptAddr a = mem.allocate(size, BlockKind::ScriptHeap);
                    ASSERT_NE(a, 0u);
                    uint8_t* p = mem.host(a, size);
                    for (uint32_t j = 0; j < size; ++j) ASSERT_EQ(p[j], 0);
                    std::memset(p, t + 1, size);
                    live.push_back({a, size});
                }
            }
            got[size_t(t)] = live;
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t)
        for (auto [a, size] : got[size_t(t)])
            for (uint32_t j = 0; j < size; ++j) ASSERT_EQ(*mem.host(a + j), t + 1);
}

TEST(ScriptMemory, ReleaseObserversSeeTheBytesBeforeTheyAreCleared) {
    ScriptMemory mem(4 << 20);
    ScriptAddr a = mem.allocate(32, BlockKind::ScriptHeap);
    ScriptAddr b = mem.allocate(32, BlockKind::ScriptHeap);
    std::memcpy(mem.host(a, 4), "abc", 4);
    std::vector<std::string> seen;
    int id = mem.add_release_observer([&](ScriptAddr addr, uint32_t size) {
        seen.push_back(std::to_string(addr == a) +
                       reinterpret_cast<const char*>(mem.host(addr, size)));
    });
    mem.free(a);
    mem.free_all(BlockKind::ScriptHeap);
    mem.remove_release_observer(id);
    mem.free(mem.allocate(8));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "1abc");
    EXPECT_EQ(seen[1], "0");
    EXPECT_EQ(*mem.host(a), 0);
    (void)b;
}
