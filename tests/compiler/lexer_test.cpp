// Literals and escapes, operators, and nested comments.
#include <gtest/gtest.h>

#include "front_end_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

struct Case {
    const char* source;
    const char* tokens;
};

void expect_all(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        Scan s = scan(c.source);
        EXPECT_EQ(s.outcome, FrontEnd::Outcome::SourceEnded) << c.source << "\n" << s.messages;
        EXPECT_EQ(joined(s), c.tokens) << c.source;
    }
}

}  // namespace

TEST(Literals, Numbers) {
    expect_all({
        {"0x1F 0XfF", "31 255"},
        {"0b101 0B11", "5 3"},
        {"012", "12"},
        {"0x;", "0 ;"},
        {"0xg", "0 g"},
        {"0b2", "0 2"},
        {"1.5", "f:1.5"},
        {"2f 2F", "f:2 f:2"},
        {"3.f", "f:3"},
        {"0.25f", "f:0.25"},
        {"1e5", "1 e5"},
        {".5", ". 5"},
        {"4294967297", "1"},
        {"4294967295.5", "f:-1.5"},  // the integer part is taken as signed
        {"0x10f", "271"},
        {"0b1f", "f:1"},
    });
}

TEST(Literals, CharacterConstants) {
    expect_all({
        {"'a' '\\n' '\\t' '\\r' '\\b' '\\f'", "97 10 9 13 8 12"},
        {"'\\65' '\\065' '\\x41' '\\0'", "65 53 65 0"},
        {"'\\400' '\\x' '\\xff'", "144 0 255"},
        {"'\\\\' '\\'' '\\\"' '\\a'", "92 39 34 97"},
        {"'\x82\xA0'", "33440"},    // Shift-JIS pair: lead * 256 + trail
        {"'\x95\\'", "38236"},      // a trail byte equal to a backslash
        {"'\\\x82\xA0'", "33440"},  // a backslash never splits a pair
        {"1.5 'a'", "f:1.5 97"},    // still an integer after a float
        {"'\\\nq'", "113"},         // backslash-newline continues
    });
}

TEST(Literals, StringsAndEscapes) {
    expect_all({
        {"\"a\\tb\\n\"", "\"a\\x09b\\x0A\""},
        {"\"\\101\\x41\\0101\"", "\"eAA\""},
        {"\"\x95\\\"", "\"\\x95\\\""},
        {"\"ab\" \"cd\"", "\"abcd\""},
        {"\"ab\" /* between */ \"cd\" \"\" \"e\"", "\"abcde\""},
        {"\"ab\\\ncd\"", "\"abcd\""},
        {"\"\"", "\"\""},
    });
    Scan s = scan("\"ab\" \"cd\"");
    ASSERT_EQ(s.tokens.size(), 1u);
}

TEST(Literals, JoinedStringsStayWholeWhenTheHeapGrows) {
    // Dialogue-heavy scripts need more than one heap chunk of strings.
    std::string source;
    std::string line(3000, 'w');
    for (int i = 0; i < 100; ++i) source += "\"" + line + "\"\n";
    Scan s = scan(source);
    ASSERT_EQ(s.outcome, FrontEnd::Outcome::SourceEnded) << s.messages;
    ASSERT_EQ(s.tokens.size(), 1u);
    EXPECT_EQ(s.tokens[0].size(), 100u * 3000u + 2);
}

TEST(Literals, ForbiddenCharacters) {
    for (const char* source : {"#", "$", "@", "`", "\\", "\xA1", "\xDF", "\x01", "\x7F", "\xFD"}) {
        Scan s = scan(std::string("x ") + source + "\n");
        EXPECT_EQ(error_number(s), 12) << int(uint8_t(source[0]));
    }
    Scan nul = scan(std::string("x \0 y", 5));
    EXPECT_EQ(error_number(nul), 12);
}

TEST(Operators, AreReadGreedily) {
    expect_all({
        {">>= >> >= > <<= << <= <", ">>= >> >= > <<= << <= <"},
        {"-> -- -= - ++ += +", "-> -- -= - ++ += +"},
        {"&& &= & || |= | == = != ! ^= ^ ~", "&& &= & || |= | == = != ! ^= ^ ~"},
        {"? : ; , . ( ) [ ] { } * *= / /= % %=", "? : ; , . ( ) [ ] { } * *= / /= % %="},
        {"a>>=b", "a >>= b"},
        {"a--->b", "a -- -> b"},
        {"x+++y", "x ++ + y"},
    });
}

TEST(Comments, NestAndHideDirectives) {
    expect_all({
        {"a // b\nc", "a c"},
        {"a /* b */ c", "a c"},
        {"/* a /* b */ still */ x", "x"},
        {"/* a */* b", "* b"},
        {"/* **/ x", "x"},
        {"/*/ x */ y", "y"},
        {"/* one\n#define X\n#two\n*/ X", "X"},
        {"/* a /* b\n */ c */ d", "d"},
    });
    // A comment left open at the end of the source ends it.
    EXPECT_EQ(scan("x /* never closed").outcome, FrontEnd::Outcome::SourceEnded);
}
