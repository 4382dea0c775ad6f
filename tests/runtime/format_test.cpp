// The formatter against the C library's snprintf where both define the result,
// and its own rules: words taken per conversion, never past the pushed ones,
// strings read through script memory, bounded output.
#include "runtime/format.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "runtime/runtime.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;

namespace {

template <typename... A>
std::string c_format(const char* fmt, A... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

std::vector<uint32_t> double_words(double d) {
    uint64_t bits = std::bit_cast<uint64_t>(d);
    return {uint32_t(bits), uint32_t(bits >> 32)};
}

struct Formatting : ::testing::Test {
    ScriptMemory mem{4 << 20};
    std::string run(std::string_view fmt, std::vector<uint32_t> words, size_t limit = 4095) {
        return format_words(fmt, words, mem, limit);
    }
};

}  // namespace

TEST_F(Formatting, IntegersMatchTheCLibrary) {
    const char* formats[] = {"%d",   "%i",    "%5d",      "%-5d|", "%05d", "%+d",  "% d",
                             "%.3d", "%8.3d", "%-+8.3d|", "%0+6d", "%hd",  "%hhd", "%.0d"};
    const int32_t values[] = {0, 1, -1, 42, -42, 32767, 40000, INT32_MAX, INT32_MIN};
    for (const char* f : formats)
        for (int32_t v : values) EXPECT_EQ(run(f, {uint32_t(v)}), c_format(f, v)) << f << " " << v;

    const char* unsigned_formats[] = {"%u",   "%x",    "%X",   "%o",  "%#x", "%#o",
                                      "%08X", "%#10x", "%.5u", "%hx", "%hhu"};
    const uint32_t uvalues[] = {0, 1, 255, 0xABCD, 0x80000000, 0xFFFFFFFF};
    for (const char* f : unsigned_formats)
        for (uint32_t v : uvalues) EXPECT_EQ(run(f, {v}), c_format(f, v)) << f << " " << v;

    // `l` keeps 32 bits, as the scripts' platform had it.
    EXPECT_EQ(run("%ld %lx", {uint32_t(-1), uint32_t(-1)}), "-1 ffffffff");
    // 64-bit conversions take two words, low word first.
    const int64_t wide[] = {0, -1, INT64_MIN, 0x123456789ALL};
    for (int64_t v : wide) {
        std::vector<uint32_t> w = {uint32_t(v), uint32_t(uint64_t(v) >> 32)};
        EXPECT_EQ(run("%lld", w), c_format("%lld", (long long)v));
        EXPECT_EQ(run("%I64x", w), c_format("%llx", (unsigned long long)v));
    }
}

TEST_F(Formatting, FloatsTakeTwoWordsAndMatchTheCLibrary) {
    const char* formats[] = {"%f", "%.2f", "%10.3f", "%-10.1f|", "%+f",  "%e",    "%.3E",
                             "%g", "%G",   "%#g",    "%010.2f",  "%.0f", "%#.0f", "%a"};
    const double values[] = {0.0, -0.0, 1.5, -2.25, 3.14159265358979, 1e-7, 123456789.0, 1e300};
    for (const char* f : formats)
        for (double v : values) EXPECT_EQ(run(f, double_words(v)), c_format(f, v)) << f << " " << v;
    std::vector<uint32_t> w = double_words(2.5);
    w.push_back(7);
    EXPECT_EQ(run("%.1f %d", w), "2.5 7");
}

TEST_F(Formatting, StarsStringsAndCharacters) {
    ScriptAddr s = mem.allocate(16);
    std::memcpy(mem.host(s, 6), "hello", 6);
    struct Case {
        const char* fmt;
        std::vector<uint32_t> words;
        std::string expected;
    } cases[] = {
        {"%*d|", {6, 42}, c_format("%*d|", 6, 42)},
        {"%*d|", {uint32_t(-6), 42}, c_format("%*d|", -6, 42)},
        {"%.*d", {4, 7}, c_format("%.*d", 4, 7)},
        {"%.*d", {uint32_t(-1), 7}, "7"},  // a negative precision counts as none
        {"%s", {s}, "hello"},
        {"[%8s]", {s}, c_format("[%8s]", "hello")},
        {"[%-8.3s]", {s}, c_format("[%-8.3s]", "hello")},
        {"[%.*s]", {2, s}, "[he]"},
        {"%c%c%3c", {'a', 0x162, 'z'}, c_format("%c%c%3c", 'a', 0x62, 'z')},
        {"100%%", {}, "100%"},
        {"%s", {0}, "(null)"},
        {"%s", {0x7FFFFFF0}, "(null)"},  // beyond script memory
        {"%.2s", {0}, "(n"},
        {"%p", {s}, c_format("%08X", s)},
        {"a%nb%d", {12345, 9}, "ab9"},  // %n consumes its word and writes nothing
        {"%y%d", {5}, "%y5"},           // an unknown conversion is copied
        {"tail %-", {1}, "tail %-"},    // a format that ends inside a conversion
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.fmt, c.words), c.expected) << c.fmt;
}

TEST_F(Formatting, NeverReadsPastThePushedWords) {
    // Missing words read as 0; a word after the span (here 0xEE) is never used.
    std::vector<uint32_t> backing = {7, 0xEE, 0xEE};
    std::span<const uint32_t> one(backing.data(), 1);
    EXPECT_EQ(format_words("%d %d %x", one, mem, 100), "7 0 0");
    EXPECT_EQ(format_words("%f", one, mem, 100),
              c_format("%f", std::bit_cast<double>(uint64_t(7))));
    EXPECT_EQ(format_words("%*d", {}, mem, 100), "0");
}

TEST_F(Formatting, OutputIsBoundedAndCutOnACharacterBoundary) {
    EXPECT_EQ(run("abcdef", {}, 4), "abcd");
    EXPECT_EQ(run("%2147483647d", {1}, 10), std::string(10, ' '));
    EXPECT_EQ(run("%99999999999999999999d", {1}, 10), std::string(10, ' '));
    EXPECT_EQ(run("%-2147483647d", {1}, 10), "1" + std::string(9, ' '));
    EXPECT_EQ(run("%.2147483647f", double_words(1.0), 8), "1.000000");
    // "ab" then the double-byte character 0x83 0x5C: a limit of 3 does not split it.
    EXPECT_EQ(run("ab\x83\x5c", {}, 3), "ab");
    EXPECT_EQ(run("ab%s", {0}, 3), "ab(");
    EXPECT_EQ(run(std::string(5000, 'x'), {}, 4095).size(), 4095u);
}

TEST(FormatBuiltins, SprintfUsesThePushedWordsAndCountsCharacters) {
    CallSite site;
    site.table.bind_all(string_builtins());
    ScriptAddr buf = site.string("", 64);
    // Two double-byte characters (the second with a 0x5C trail byte) and a number.
    ScriptAddr fmt = site.string("\x83\x4a\x95\x5c%d!");
    EXPECT_EQ(site.call("sprintf", {buf, fmt, 42}), 5u);
    EXPECT_EQ(site.read(buf),
              "\x83\x4a\x95\x5c"
              "42!");
    EXPECT_EQ(site.call("sprintf", {buf, site.string("%d-%d"), 1}), 3u);
    EXPECT_EQ(site.read(buf), "1-0");
    // A destination that is not script memory fails and writes nothing.
    EXPECT_EQ(site.call("sprintf", {0x40, fmt, 1}), 0u);
    EXPECT_EQ(site.call("sprintf", {buf, 0}), 0u);
}
