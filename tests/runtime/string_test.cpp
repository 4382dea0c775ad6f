// The memory and string built-ins through the trap dispatcher: CP932 texts with
// 0x5C trail bytes and katakana, overlapping copies, negative lengths, bad pointers.
#include <gtest/gtest.h>

#include "runtime/mbstring.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

using namespace tob;
using tob::test::CallSite;

namespace {

// "表" (0x95 0x5C) and "ソ" (0x83 0x5C) end in the byte of '\', "ア" (0x83
// 0x41) in the byte of 'A'; 0xB1 is the single-byte katakana "ｱ".
constexpr std::string_view kHyou = "\x95\x5c";
constexpr std::string_view kSo = "\x83\x5c";
constexpr std::string_view kA = "\x83\x41";

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (auto p : parts) s += p;
    return s;
}

struct Strings : ::testing::Test {
    CallSite site;
    Strings() { site.table.bind_all(string_builtins()); }
    uint32_t call(std::string_view name, std::vector<uint32_t> args) {
        return site.call(name, args);
    }
    ScriptAddr str(std::string_view s, uint32_t cap = 0) { return site.string(s, cap); }
};

}  // namespace

TEST_F(Strings, MemoryBlocks) {
    ScriptAddr a = str("abc"), b = str("abd");
    EXPECT_EQ(call("memcmp", {a, b, 3}), uint32_t(-1));
    EXPECT_EQ(call("memcmp", {b, a, 3}), 1u);
    EXPECT_EQ(call("memcmp", {a, b, 2}), 0u);
    EXPECT_EQ(call("memcmp", {str("\xff"), str("\x01"), 1}), 1u);  // bytes are unsigned

    // Overlapping copies behave like memmove, in both built-ins and both directions.
    ScriptAddr buf = str("abcdef");
    EXPECT_EQ(call("memcpy", {buf + 1, buf, 4}), 1u);
    EXPECT_EQ(site.read(buf), "aabcdf");
    EXPECT_EQ(call("memmove", {buf, buf + 2, 4}), 1u);
    EXPECT_EQ(site.read(buf), "bcdfdf");
    EXPECT_EQ(call("memset", {buf, 'x', 2}), 1u);
    EXPECT_EQ(site.read(buf), "xxdfdf");

    ScriptAddr x = str("1234"), y = str("abcd");
    EXPECT_EQ(call("memswap", {x, y, 3}), 1u);
    EXPECT_EQ(site.read(x), "abc4");
    EXPECT_EQ(site.read(y), "123d");

    // Negative or zero lengths do nothing, even with bad pointers.
    for (const char* name : {"memcpy", "memmove", "memset", "memswap"})
        EXPECT_EQ(call(name, {0, 0, uint32_t(-5)}), 1u) << name;
    EXPECT_EQ(site.read(x), "abc4");
    // A range that leaves script memory fails.
    EXPECT_EQ(call("memcpy", {x, 0x7FFFFFF0, 4}), 0u);
    EXPECT_EQ(call("memset", {0x1000, 0, 4}), 0u);
    EXPECT_EQ(call("memswap", {x, y, 0x7FFFFFFF}), 0u);
}

TEST_F(Strings, CharactersAreCountedCutAndFoundWholly) {
    std::string two = cat({kHyou, kSo, "a"});
    ScriptAddr s = str(two);
    EXPECT_EQ(call("mbslen", {s}), 3u);
    EXPECT_EQ(call("strlen", {s}), 5u);
    EXPECT_EQ(call("mbslen", {str("a\x83")}), 2u);  // a lead byte right before the end

    ScriptAddr dst = str("", 32);
    struct Cut {
        int32_t start, count;
        std::string expected;
    } cuts[] = {{1, 1, std::string(kSo)},
                {0, 2, cat({kHyou, kSo})},
                {2, 9, "a"},
                {3, 1, ""},
                {9, 9, ""},
                {-3, 1, std::string(kHyou)},
                {0, -1, ""}};
    for (const Cut& c : cuts) {
        EXPECT_EQ(call("mbscut", {dst, s, uint32_t(c.start), uint32_t(c.count)}), dst);
        EXPECT_EQ(site.read(dst), c.expected) << c.start << "," << c.count;
    }

    // '\' (0x5C) is found as a character, never as a trail byte; strchr finds bytes.
    ScriptAddr path = str(cat({kSo, "\\", kHyou}));
    EXPECT_EQ(call("mbschr", {path, '\\'}), path + 2);
    EXPECT_EQ(call("strchr", {path, '\\'}), path + 1);
    EXPECT_EQ(call("mbschr", {path, 0x955C}), path + 3);
    EXPECT_EQ(call("mbschr", {path, 0x5C95}), 0u);
    EXPECT_EQ(call("mbschr", {path, 0}), path + 5);
    EXPECT_EQ(call("strchr", {path, 'z'}), 0u);
    ScriptAddr lone = str(kHyou.substr(0, 1));  // a lone lead byte is a character of its own
    EXPECT_EQ(call("mbschr", {lone, 0x95}), lone);
    EXPECT_EQ(call("mbschr", {lone, 0x955C}), 0u);
}

TEST_F(Strings, CaseChangesNeverTouchTrailBytes) {
    std::string mixed = cat({"aB", kA, "\xb1", "z", kHyou});
    ScriptAddr s = str(mixed + "\x83");  // ends in a lone lead byte
    EXPECT_EQ(call("mbsupr", {s}), s);
    EXPECT_EQ(site.read(s), cat({"AB", kA, "\xb1", "Z", kHyou, "\x83"}));
    EXPECT_EQ(call("mbslwr", {s}), s);
    EXPECT_EQ(site.read(s), cat({"ab", kA, "\xb1", "z", kHyou, "\x83"}));
    // The str family works byte by byte and returns 0.
    EXPECT_EQ(call("strlwr", {s}), 0u);
    EXPECT_EQ(site.read(s), cat({"ab", "\x83\x61", "\xb1", "z", kHyou, "\x83"}));
    EXPECT_EQ(call("strupr", {s}), 0u);
    EXPECT_EQ(site.read(s), cat({"AB", kA, "\xb1", "Z", kHyou, "\x83"}));
}

TEST_F(Strings, Comparisons) {
    struct Case {
        const char* name;
        std::string a, b;
        int expected;
    } cases[] = {
        {"strcmp", "abc", "abd", -1},
        {"strcmp", "abc", "abc", 0},
        {"strcmp", "abcd", "abc", 1},
        {"strcmpi", "HeLLo", "hello", 0},
        {"strcmpi", "a_", "AB", -1},
        {"strcmp", "\x81", "a", 1},
        {"mbscmp", cat({kA}), "a", 1},
        {"mbscmp", cat({kSo, "a"}), cat({kSo, "b"}), -1},
        {"mbscmpi", cat({"X", kA}), cat({"x", kA}), 0},
        // Trail bytes are not folded: "ア" (0x83 0x41) differs from 0x83 0x61.
        {"mbscmpi", cat({kA}), "\x83\x61", -1},
        {"mbscmp", "", "", 0},
        {"mbscmp", "", "a", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(int32_t(call(c.name, {str(c.a), str(c.b)})), c.expected)
            << c.name << " " << c.a << " / " << c.b;
    EXPECT_EQ(call("strcmp", {0, str("a")}), 0u);
}

TEST_F(Strings, CopiesAndAppends) {
    ScriptAddr dst = str("", 32);
    EXPECT_EQ(call("strcpy", {dst, str("abc")}), dst);
    EXPECT_EQ(call("strcat", {dst, str("de")}), dst);
    EXPECT_EQ(site.read(dst), "abcde");
    EXPECT_EQ(call("mbscat", {dst, dst}), dst);  // appending a string to itself
    EXPECT_EQ(site.read(dst), "abcdeabcde");
    EXPECT_EQ(call("mbscpy", {dst + 2, dst}), dst + 2);  // overlapping copy
    EXPECT_EQ(site.read(dst), "ababcdeabcde");
    EXPECT_EQ(call("strcpy", {dst, 0}), 0u);
    EXPECT_EQ(call("strcpy", {0x7FFFFFFF, dst}), 0u);

    struct Cut {
        int32_t start, count;
        const char* expected;
    } cuts[] = {{0, 2, "ab"}, {1, 9, "bc"}, {3, 1, ""}, {4, 1, ""}, {-1, 2, "ab"}, {1, -2, ""}};
    ScriptAddr abc = str("abc");
    for (const Cut& c : cuts) {
        EXPECT_EQ(call("strcut", {dst, abc, uint32_t(c.start), uint32_t(c.count)}), dst);
        EXPECT_EQ(site.read(dst), c.expected) << c.start << "," << c.count;
    }
}

TEST_F(Strings, NumberConversions) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {{"42", 42},
                 {"  -17xyz", -17},
                 {"\t+8", 8},
                 {"abc", 0},
                 {"", 0},
                 {"2147483647", INT32_MAX},
                 {"2147483648", INT32_MAX},
                 {"-2147483648", INT32_MIN},
                 {"-99999999999999999999", INT32_MIN},
                 {"- 5", 0}};
    for (const Case& c : cases) EXPECT_EQ(int32_t(call("atoi", {str(c.text)})), c.value) << c.text;

    ScriptAddr buf = str("", 64);
    EXPECT_EQ(call("ftoa", {buf, test::word(1.5f)}), 1u);
    EXPECT_EQ(site.read(buf), "1.500000");
    EXPECT_EQ(call("ftoa", {buf, test::word(-0.1f)}), 1u);
    EXPECT_EQ(site.read(buf), "-0.100000");  // the float widened to double
    EXPECT_EQ(call("ftoa", {buf, test::word(3.4028235e38f)}), 1u);
    EXPECT_EQ(site.read(buf), "340282346638528859811704183484516925440.000000");
    EXPECT_EQ(call("ftoa", {0, test::word(1.0f)}), 0u);
}

TEST(MbString, PrefixLengthKeepsCharactersWhole) {
    std::string s = cat({"a", kHyou, "b"});
    EXPECT_EQ(cp932_prefix_length(s, 0), 0u);
    EXPECT_EQ(cp932_prefix_length(s, 2), 1u);
    EXPECT_EQ(cp932_prefix_length(s, 3), 3u);
    EXPECT_EQ(cp932_prefix_length(s, 99), 4u);
}
