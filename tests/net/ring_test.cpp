// The byte ring: pending and free arithmetic at every kind of wrap position,
// copies in two pieces, and the 8191-byte limit.
#include "net/ring.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace tob::net {
namespace {

// A ring whose indices both stand at `at`.
void move_to(Ring& r, uint32_t at) {
    std::vector<uint8_t> junk(Ring::kSize);
    r.clear();
    ASSERT_EQ(r.put(junk.data(), at % Ring::kSize), at % Ring::kSize);
    ASSERT_EQ(r.take(junk.data(), at % Ring::kSize), at % Ring::kSize);
}

TEST(Ring, ArithmeticAndTwoPieceCopies) {
    std::vector<uint8_t> data(Ring::kSize);
    std::iota(data.begin(), data.end(), uint8_t(1));
    for (uint32_t at : {0u, 1u, 100u, 4096u, 8000u, 8190u, 8191u}) {
        for (uint32_t len : {0u, 1u, 191u, 192u, 193u, 4096u, 8191u, 8192u, 10000u}) {
            Ring r;
            move_to(r, at);
            EXPECT_TRUE(r.empty());
            EXPECT_EQ(r.free_space(), 8191u);
            uint32_t want = std::min(len, 8191u);
            std::vector<uint8_t> in(len);
            for (uint32_t i = 0; i < len; ++i) in[i] = uint8_t(i * 7 + at);
            ASSERT_EQ(r.put(in.data(), len), want) << at << " " << len;
            EXPECT_EQ(r.pending(), want);
            EXPECT_EQ(r.free_space(), 8191u - want);
            std::vector<uint8_t> peeked(want), out(want);
            EXPECT_EQ(r.peek(peeked.data(), want), want);
            EXPECT_EQ(r.take(out.data(), len + 5), want);
            EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin())) << at << " " << len;
            EXPECT_EQ(peeked, out);
            EXPECT_TRUE(r.empty());
        }
    }
}

TEST(Ring, PartialTakesKeepOrder) {
    Ring r;
    move_to(r, 8000);
    std::vector<uint8_t> in(6000);
    std::iota(in.begin(), in.end(), uint8_t(0));
    ASSERT_EQ(r.put(in.data(), 3000), 3000u);
    std::vector<uint8_t> out(3000);
    ASSERT_EQ(r.take(out.data(), 150), 150u);
    ASSERT_EQ(r.put(in.data(), 6000), 5341u);
    EXPECT_EQ(r.pending(), 8191u);
    EXPECT_EQ(r.put(in.data(), 1), 0u);
    ASSERT_EQ(r.take(out.data() + 150, 2850), 2850u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin()));
}

}  // namespace
}  // namespace tob::net
