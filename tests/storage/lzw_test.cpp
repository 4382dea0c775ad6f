// The LZW codec: golden output of the compressor (from an independent
// implementation of the format), round trips across every width and a reset,
// and malformed streams.
#include "storage/lzw.h"

#include <gtest/gtest.h>

#include "storage_test_support.h"

using namespace tob;
using namespace tob::test;

namespace {

uint64_t fnv1a(std::span<const uint8_t> b) {
    uint64_t h = 0xcbf29ce484222325;
    for (uint8_t x : b) h = (h ^ x) * 0x100000001b3;
    return h;
}

// 16 letters in a pseudo-random order: enough new strings to widen to 15 bits
// and reset the dictionary several times.
std::vector<uint8_t> varied(size_t n) {
    std::vector<uint8_t> out;
    uint32_t x = 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245 + 12345;
        out.push_back(uint8_t('a' + (x >> 16) % 16));
    }
    return out;
}

// Writes a compressed stream code by code, for streams the compressor never makes.
class CodeWriter {
  public:
    explicit CodeWriter(uint32_t declared) {
        put(0x746F6200, 32);
        put(declared, 32);
    }
    CodeWriter& put(uint32_t v, int width) {
        for (int i = width - 1; i >= 0; --i) {
            if (bits_ % 8 == 0) out_.push_back(0);
            out_.back() |= uint8_t((v >> i & 1) << (7 - bits_ % 8));
            ++bits_;
        }
        return *this;
    }
    std::vector<uint8_t> bytes() const { return out_; }

  private:
    std::vector<uint8_t> out_;
    size_t bits_ = 0;
};

std::vector<uint8_t> hex(std::string_view s) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        out.push_back(uint8_t(std::stoi(std::string(s.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

}  // namespace

TEST(Lzw, CompressorGoldenOutput) {
    EXPECT_EQ(lzw_compress(bytes("A")), hex("746f62000000000120c000"));
    EXPECT_EQ(lzw_compress(bytes("TOBEORNOTTOBEORTOBEORNOT")),
              hex("746f6200000000182a13c8445279489c4f2a40e0b078641a110a8000"));
    EXPECT_EQ(lzw_compress({}), hex("746f620000000000"));

    // Every width from 9 to 15 bits and several dictionary resets.
    auto v = lzw_compress(varied(400000));
    EXPECT_EQ(v.size(), 233181u);
    EXPECT_EQ(fnv1a(v), 0xea1d397da329eea9u);
    // One byte repeated: strings grow by one byte each, the dictionary never fills.
    auto r = lzw_compress(std::vector<uint8_t>(1000000, 'x'));
    EXPECT_EQ(r.size(), 1829u);
    EXPECT_EQ(fnv1a(r), 0x8cfa266470314946u);
}

TEST(Lzw, RoundTrips) {
    std::vector<std::vector<uint8_t>> inputs = {
        bytes("A"),
        bytes("abababababababababab"),  // codes that name the entry being defined
        std::vector<uint8_t>(1000000, 'x'),
        varied(400000),
        {},
    };
    std::vector<uint8_t> all_bytes;
    for (int i = 0; i < 256 * 64; ++i) all_bytes.push_back(uint8_t(i * 7 + i / 256));
    inputs.push_back(all_bytes);
    for (const auto& in : inputs) {
        auto out = lzw_expand(lzw_compress(in));
        EXPECT_EQ(out.error, LzwError::kNone) << in.size();
        EXPECT_TRUE(out.data == in) << in.size();
    }
    // The stream may end without its end code once every byte is out.
    auto cut = lzw_compress(bytes("A"));
    cut.resize(10);  // 'A' (9 bits) complete, end code cut
    EXPECT_EQ(lzw_expand(cut).data, bytes("A"));
}

TEST(Lzw, MalformedStreamsFail) {
    auto truncated = lzw_compress(varied(5000));
    truncated.resize(truncated.size() / 2);
    auto too_wide = CodeWriter(1).put('a', 9);
    for (int w = 9; w <= 15; ++w) too_wide.put(257, w);
    // Literals only, widening on time but never resetting: the dictionary overflows.
    CodeWriter no_reset(40000);
    no_reset.put('a', 9);
    for (uint32_t next = 259, width = 9, limit = 511; next <= 32768; ++next) {
        no_reset.put('a', int(width));
        if (next + 1 > limit && width < 15) {
            no_reset.put(257, int(width));
            ++width;
            limit = limit * 2 + 1;
        }
    }
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        LzwError error;
    } cases[] = {
        {"no magic", bytes("toc\0\0\0\0\1"), LzwError::kNotCompressed},
        {"header cut", bytes(std::string_view("tob\0\0\0", 6)), LzwError::kTruncated},
        {"first code is widen", CodeWriter(1).put(257, 9).bytes(), LzwError::kBadCode},
        {"first code is a dictionary code", CodeWriter(1).put(300, 9).bytes(), LzwError::kBadCode},
        {"first code after reset not a literal",
         CodeWriter(2).put('a', 9).put(258, 9).put(259, 9).bytes(), LzwError::kBadCode},
        {"code beyond the next free one", CodeWriter(3).put('a', 9).put(260, 9).bytes(),
         LzwError::kBadCode},
        {"widened past 15 bits", too_wide.bytes(), LzwError::kTooWide},
        {"dictionary overflow", no_reset.bytes(), LzwError::kTableFull},
        {"more data than declared", CodeWriter(1).put('a', 9).put('b', 9).put(256, 9).bytes(),
         LzwError::kTooLong},
        {"less data than declared", CodeWriter(2).put('a', 9).put(256, 9).bytes(),
         LzwError::kTruncated},
        {"huge declared size, tiny stream", CodeWriter(0xFFFFFFFF).put('a', 9).bytes(),
         LzwError::kTruncated},
        {"stream cut in the middle", truncated, LzwError::kTruncated},
    };
    for (const auto& c : cases) {
        auto r = lzw_expand(c.stream);
        EXPECT_EQ(r.error, c.error) << c.what;
        EXPECT_TRUE(r.data.empty()) << c.what;
    }
}
