// Regular expressions: the dialect case by case, the matcher against the plain
// recursive walk on random patterns, the work and size bounds, and the slots
// of the built-ins.
#include "runtime/regex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "runtime/regex_reference.h"
#include "runtime/regex_table.h"
#include "runtime/runtime.h"
#include "support/call_site.h"

namespace tob::regex {
namespace {

// "start:text|group1|group2..." with "~" for a group that took no part; "NO"
// without a match.
std::string render(const std::optional<Match>& m, std::string_view s) {
    if (!m) return "NO";
    std::string out =
        std::to_string(m->start) + ":" + std::string(s.substr(m->start, m->end - m->start));
    for (auto& g : m->groups)
        out += "|" + (g ? std::string(s.substr(g->first, g->second - g->first)) : std::string("~"));
    return out;
}

std::string run(std::string_view pattern, std::string_view subject, bool icase = false,
                Strategy strategy = Strategy::Automatic) {
    auto a = compile(pattern);
    if (!a) return "TOO BIG";
    return render(search(*a, subject, icase, nullptr, strategy), subject);
}

struct Case {
    const char* pattern;
    const char* subject;
    const char* expect;
    bool icase = false;
};

// 亜 88 9F, 唖 88 A0, 院 89 40, あ 82 A0, ア 83 41, Ａ 82 60, ａ 82 81.
const Case kCases[] = {
    // examples
    {"a*?b", "aab", "0:aab"},
    {"(a)(b)", "xab", "1:ab|a|b"},
    {"^b", "a\nb", "2:b"},
    {"a$", "a\r\n", "0:a"},
    {"a$b", "ab", "NO"},
    {"[^0-9]", "12x", "2:x"},
    {"\\d+", "ab12", "2:12"},
    {"AB", "ab", "0:ab", true},
    {"ab", "AB", "0:AB", true},
    {"AB", "ab", "NO"},
    {"\x82\x60", "\x82\x81", "NO", true},
    {"a{0,2}", "aa", "0:aa"},
    {"a{0,2}?", "aa", "0:"},
    // token priority and lazy forms
    {"a*?", "aa", "0:"},
    {"a+?", "aa", "0:a"},
    {"a??b", "ab", "0:ab"},
    {"a??", "a", "0:"},
    {"a{2}", "aaa", "0:aa"},
    {"a{2,}", "aaaa", "0:aaaa"},
    {"a{2,}", "a", "NO"},
    {"a{1,2}", "aaa", "0:aa"},
    {"a{1,2}?", "aaa", "0:a"},
    {"a{2,}?", "aaaa", "0:aa"},
    {"a{0}b", "ab", "1:b"},
    // escapes outside classes
    {"\\d", "x5", "1:5"},
    {"\\D", "5x", "1:x"},
    {"\\s", "a b", "1: "},
    {"\\S", " a", "1:a"},
    {"\\w+", "--ab_9--", "2:ab_9"},
    {"\\W", "ab-", "2:-"},
    {"\\n", "a\nb", "1:\n"},
    {"\\N\\R\\T", "\n\r\t", "0:\n\r\t"},
    {"\\.\\*\\\\", "a.*\\", "1:.*\\"},
    {"\\x41", "zA", "1:A"},
    {"\\x4", "a\x04", "1:\x04"},
    {"\\x414", "A4", "0:A4"},
    {"a\\x", "a", "NO"},
    {"\\\x88\x9F", "x\x88\x9F", "1:\x88\x9F"},
    // escapes and members inside classes
    {"[\\d]+", "ab12", "2:12"},
    {"[\\D]", "1a", "1:a"},
    {"[^\\d]", "1a", "1:a"},
    {"[\\s]", "a\tb", "1:\t"},
    {"[\\]]", "a]", "1:]"},
    {"[]a]+", "]a]", "0:]a]"},
    {"[^]a]", "]ab", "2:b"},
    {"[a-]+", "x-a", "1:-a"},
    {"[\\x41-\\x43]+", "ABCD", "0:ABC"},
    {"[a-\\d]+", "-a5b", "0:-a5"},
    {".", "\x88\x9F", "0:\x88\x9F"},
    {"a.b",
     "a\x88\x9F"
     "b",
     "0:a\x88\x9F"
     "b"},
    // double-byte characters and their classes
    {"@", "\x89\x40", "NO"},
    {"@", "\x89\x40@", "2:@"},
    {"[\x88\x9F]", "\x88\xA0", "NO"},
    {"[\x88\x9F-\x88\xA0]", "\x88\xA0", "0:\x88\xA0"},
    {"[\x82\xA0-\x88\x9F]", "\x83\x41", "0:\x83\x41"},
    {"[^\x88\x9F]", "\x88\x9F\x88\xA0", "2:\x88\xA0"},
    {"\\x88", "a\x88", "1:\x88"},
    {"a\x88", "a\x88", "0:a\x88"},
    // truncation
    {"ab[cd", "xab", "1:ab"},
    {"ab{2", "abb", "0:ab"},
    {"a{x}", "a{x}", "0:a"},
    {"a{,3}", "aaaa", "0:aaa"},
    {"ab\\", "ab\\", "0:ab"},
    {"*a", "xa", "0:"},
    {"a**", "aaa", "0:aaa"},
    {"(+", "x", "0:|"},
    {"a]", "xa]", "1:a]"},
    {"}", "}", "0:}"},
    {"a{3,1}", "aaaa", "0:aaa"},
    {"ab)cd", "abcd", "0:ab"},
    // alternation order, captures
    {"(a|ab)c", "abc", "0:abc|ab"},
    {"(ab|a)bc", "abc", "0:abc|a"},
    {"a|ab", "ab", "0:a"},
    {"(a|b)*", "ab", "0:ab|b"},
    {"(a)|b", "b", "0:b|~"},
    {"(a)*b", "b", "0:b|~"},
    {"(a|(b))+", "ba", "0:ba|a|b"},
    // anchors
    {"^a|b", "xb", "NO"},
    {"(^a)", "a", "NO"},
    {"(a$)", "a", "NO"},
    {"^", "abc", "0:"},
    {"^b", "a\r\n\r\nb", "5:b"},
    {"a.*$", "ab\ncd", "0:ab"},
    {"a.*", "ab\ncd", "0:ab\ncd"},
    {"b|a$", "ba", "1:a"},
    // empty subjects and empty loops
    {"", "", "NO"},
    {"a*", "", "NO"},
    {"(a*)*b", "aab", "0:aab|aa"},
    {"(|a)*b", "aab", "0:aab|a"},
};

TEST(Regex, Dialect) {
    for (const Case& c : kCases)
        for (Strategy st : {Strategy::Backtrack, Strategy::Simulate})
            EXPECT_EQ(run(c.pattern, c.subject, c.icase, st), c.expect)
                << "pattern " << c.pattern << " on " << c.subject
                << (st == Strategy::Simulate ? " (simulated)" : "");
}

// Random patterns over a small alphabet against random subjects: the matcher
// (both strategies) and the plain walk agree wherever the walk finishes.
class PatternMaker {
  public:
    explicit PatternMaker(uint32_t seed) : rng_(seed) {}
    std::string pattern() { return alternation(0); }
    std::string subject() {
        static const char* kChars[] = {"a", "b", "\x88\x9F", "\x88\xA0", "\r", "\n"};
        std::string s;
        int n = pick(10);
        for (int i = 0; i < n; ++i) s += kChars[pick(6)];
        return s;
    }

  private:
    int pick(int n) { return int(rng_() % uint32_t(n)); }
    std::string alternation(int depth) {
        std::string s = sequence(depth);
        while (pick(6) == 0) s += "|" + sequence(depth);
        return s;
    }
    std::string sequence(int depth) {
        std::string s;
        int n = pick(4);
        if (pick(10) == 0) s += "^";
        for (int i = 0; i < n; ++i) s += atom(depth) + repetition();
        if (pick(10) == 0) s += "$";
        return s;
    }
    std::string atom(int depth) {
        static const char* kAtoms[] = {"a",
                                       "b",
                                       "\x88\x9F",
                                       "\x88\xA0",
                                       "\\r",
                                       "\\n",
                                       ".",
                                       "[ab]",
                                       "[^a]",
                                       "[a-b]",
                                       "[\x88\x9F-\x88\xA0]",
                                       "[\x88\x9F]",
                                       "[\\d\\n]",
                                       "[^\\n]",
                                       "\\w",
                                       "\\s",
                                       "\\x61",
                                       "[\\r\\n]",
                                       "\r",
                                       "\n",
                                       "^",
                                       "$"};
        if (depth < 3 && pick(5) == 0) return "(" + alternation(depth + 1) + ")";
        return kAtoms[pick(22)];
    }
    std::string repetition() {
        static const char* kReps[] = {"*",   "+",     "?",    "*?",    "+?",   "??",
                                      "{2}", "{1,2}", "{0,}", "{1,}?", "{,2}", "{0,1}?"};
        return pick(3) == 0 ? kReps[pick(12)] : "";
    }
    std::mt19937 rng_;
};

TEST(Regex, AgreesWithThePlainWalk) {
    PatternMaker maker(20261207);
    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string pattern = maker.pattern();
        auto a = compile(pattern);
        ASSERT_TRUE(a) << pattern;
        for (int j = 0; j < 4; ++j) {
            std::string subject = maker.subject();
            bool icase = j & 1;
            std::string fast =
                render(search(*a, subject, icase, nullptr, Strategy::Backtrack), subject);
            std::string sim =
                render(search(*a, subject, icase, nullptr, Strategy::Simulate), subject);
            ASSERT_EQ(fast, sim) << "pattern " << pattern << " subject " << subject;
            auto ref = reference::search(*a, subject, icase);
            if (!ref.finished) continue;
            ++compared;
            ASSERT_EQ(fast, render(ref.match, subject))
                << "pattern " << pattern << " subject " << subject;
        }
    }
    EXPECT_GT(compared, 9000);
}

TEST(Regex, WorkGrowsLinearly) {
    const std::string as(10000, 'a');
    for (const char* p : {"(a*)*b", "(a|a)*b", "(a|aa)*c", "(|a)*b", "((a*)*)*$b"}) {
        auto a = compile(p);
        ASSERT_TRUE(a);
        for (Strategy st : {Strategy::Backtrack, Strategy::Simulate}) {
            MatchStats stats;
            EXPECT_FALSE(search(*a, as, false, &stats, st)) << p;
            EXPECT_LE(stats.steps, uint64_t(a->transitions.size()) * (as.size() + 1)) << p;
            EXPECT_LE(stats.pairs, uint64_t(a->state_count()) * (as.size() + 1)) << p;
        }
    }
}

TEST(Regex, SizeLimits) {
    EXPECT_TRUE(compile("a{1000}"));
    EXPECT_FALSE(compile("(a{1000}){1000}"));
    EXPECT_FALSE(compile("a{99999999999999999999}"));
    EXPECT_FALSE(compile("a{0,4294967297}"));
    EXPECT_TRUE(compile("a{4294967296,0}b{0}") == std::nullopt);
    EXPECT_TRUE(compile(std::string(1000, '(') + "a" + std::string(1000, ')')));
    EXPECT_FALSE(compile(std::string(1001, '(') + "a"));
    EXPECT_FALSE(compile(std::string(kMaxPatternBytes + 1, 'a')));
    EXPECT_FALSE(compile(std::string(kMaxTreeNodes + 10, '^')));
    // Many moves and few states.
    std::string wide = "(";
    for (int i = 0; i < 2000; ++i) wide += "a|";
    EXPECT_FALSE(compile(wide + "b){200}"));
    auto a = compile("a{1000}");
    EXPECT_EQ(render(search(*a, std::string(1001, 'a'), false), "").substr(0, 2), "0:");
}

TEST(Regex, BigBitmapsUseTheSimulation) {
    auto a = compile("(a|b)*c(d)e{0,20000}");
    ASSERT_TRUE(a);
    std::string s(10'000, 'a');
    s += "cd";
    MatchStats stats;
    auto m = search(*a, s, false, &stats);
    ASSERT_TRUE(m);
    EXPECT_TRUE(stats.simulated);
    EXPECT_EQ(m->start, 0u);
    EXPECT_EQ(m->end, s.size());
    EXPECT_EQ(m->groups[1], std::make_pair(uint32_t(s.size() - 1), uint32_t(s.size())));
}

// --- the built-ins ---

class RegexBuiltins : public ::testing::Test {
  protected:
    void SetUp() override {
        site.table.bind_all(regex_builtins());
        init_regex(site.mem);
        result_at = site.mem.allocate(4);
    }
    void TearDown() override { shutdown_regex(); }
    uint32_t stored() {
        uint32_t v = 0xDEAD;
        site.mem.read32(result_at, v);
        return v;
    }
    test::CallSite site;
    ScriptAddr result_at = 0;
};

TEST_F(RegexBuiltins, MatchResultIsABlockOfAddresses) {
    uint32_t nfa = site.call("nfa_compile", {site.string("(a)(b)(c)?")});
    ASSERT_NE(nfa, 0u);
    ScriptAddr subject = site.string("xab");
    EXPECT_EQ(site.call("rex_match", {nfa, subject, result_at, 0}), 4u);
    ScriptAddr block = stored();
    uint32_t w[8];
    for (int i = 0; i < 8; ++i) site.mem.read32(block + 4 * i, w[i]);
    EXPECT_EQ(w[0], subject + 1);
    EXPECT_EQ(w[1], subject + 3);
    EXPECT_EQ(w[2], subject + 1);
    EXPECT_EQ(w[3], subject + 2);
    EXPECT_EQ(w[4], subject + 2);
    EXPECT_EQ(w[5], subject + 3);
    EXPECT_EQ(w[6], 0u);
    EXPECT_EQ(w[7], 0u);
    EXPECT_EQ(site.call("rex_free", {block}), 1u);
    EXPECT_EQ(site.call("rex_free", {block}), 0u);
    // No match: 0 stored.
    EXPECT_EQ(site.call("rex_match", {nfa, site.string("zzz"), result_at, 0}), 0u);
    EXPECT_EQ(stored(), 0u);
    EXPECT_EQ(regex_table().result_count(), 0);
}

TEST_F(RegexBuiltins, BadArgumentsGiveZero) {
    uint32_t nfa = site.call("nfa_compile", {site.string("a")});
    ScriptAddr subject = site.string("a");
    site.mem.write32(result_at, 0xDEAD);
    EXPECT_EQ(site.call("nfa_compile", {0}), 0u);
    EXPECT_EQ(site.call("nfa_compile", {0x7FFFFFF0}), 0u);
    EXPECT_EQ(site.call("rex_match", {nfa + 1, subject, result_at, 0}), 0u);
    EXPECT_EQ(site.call("rex_match", {0xFFFFFFFF, subject, result_at, 0}), 0u);
    EXPECT_EQ(site.call("rex_match", {nfa, 0, result_at, 0}), 0u);
    EXPECT_EQ(site.call("rex_match", {nfa, subject, 0, 0}), 0u);
    EXPECT_EQ(site.call("rex_match", {nfa, subject, 0x7FFFFFF0, 0}), 0u);
    EXPECT_EQ(stored(), 0xDEADu);
    EXPECT_EQ(site.call("nfa_free", {nfa + 1}), 0u);
    EXPECT_EQ(site.call("nfa_free", {0}), 0u);
    EXPECT_EQ(site.call("rex_free", {subject}), 0u);
    EXPECT_EQ(site.call("rex_free", {0}), 0u);
    EXPECT_EQ(site.call("nfa_free", {nfa}), 1u);
    EXPECT_EQ(site.call("nfa_free", {nfa}), 0u);
    EXPECT_EQ(site.call("rex_match", {nfa, subject, result_at, 0}), 0u);
}

TEST_F(RegexBuiltins, SlotsRunOut) {
    ScriptAddr pattern = site.string("a");
    std::vector<uint32_t> handles;
    for (int i = 0; i < 32; ++i) handles.push_back(site.call("nfa_compile", {pattern}));
    for (uint32_t h : handles) EXPECT_NE(h, 0u);
    EXPECT_EQ(site.call("nfa_compile", {pattern}), 0u);
    EXPECT_EQ(site.call("nfa_free", {handles[5]}), 1u);
    EXPECT_EQ(site.call("nfa_compile", {pattern}), handles[5]);

    ScriptAddr subject = site.string("a");
    std::vector<uint32_t> results;
    for (int i = 0; i < 32; ++i) {
        ASSERT_EQ(site.call("rex_match", {handles[0], subject, result_at, 0}), 1u);
        results.push_back(stored());
    }
    site.mem.write32(result_at, 0xDEAD);
    EXPECT_EQ(site.call("rex_match", {handles[0], subject, result_at, 0}), 0u);
    EXPECT_EQ(stored(), 0xDEADu);
    EXPECT_EQ(site.call("rex_free", {results[7]}), 1u);
    EXPECT_EQ(site.call("rex_match", {handles[0], subject, result_at, 0}), 1u);
    // Shutdown and a new start free everything.
    size_t blocks = site.mem.block_count(BlockKind::Engine);
    shutdown_regex();
    EXPECT_EQ(site.mem.block_count(BlockKind::Engine), blocks - 32);
    init_regex(site.mem);
    EXPECT_EQ(site.call("nfa_free", {handles[0]}), 0u);
    EXPECT_EQ(site.call("rex_free", {results[0]}), 0u);
    EXPECT_EQ(regex_table().automaton_count(), 0);
}

}  // namespace
}  // namespace tob::regex
