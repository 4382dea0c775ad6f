// Error messages and positions: the numbered message format with the echoed
// line and its position mark, missing-token messages, collection limits.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "front_end_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

TEST(Messages, NumberedErrorsEchoTheLineWithTheReadPosition) {
    struct Case {
        const char* name;
        std::string source;
        bool top_level;
        std::string messages;
    } cases[] = {
        {"mark behind the offending character", "x;\nint x = @;\n", true,
         "main.c(2) : 文法エラー。\nint x = @■;\n"},
        {"tabs advance to multiples of four", "\tx\t= $;", true,
         "main.c(1) : 文法エラー。\n    x   = $■;\n"},
        {"inside a macro: where the outermost expansion resumes",
         "#define IN @\n#define OUT IN\nint y = OUT;\n", true,
         "main.c(3) : 文法エラー。\nint y = OUT;■\n"},
        {"newline in a string", "s = \"abc\ndef\";", true,
         "main.c(1) : 文字列は一行内に記述してください。\ns = \"abc■\n"},
        {"character constant without its closing quote", "c = 'ab';", true,
         "main.c(1) : クォーテーションがありません。\nc = 'ab■';\n"},
        {"end of file inside a construct", "x = (", false,
         "main.c(2) : コンパイル途中で EOF が現れました。\n■\n"},
        {"carriage returns are dropped", "a;\r\n@\r\n", true, "main.c(2) : 文法エラー。\n@■\n"},
        {"a lead byte never takes the newline", "x\x82\n@", true, "main.c(2) : 文法エラー。\n@■\n"},
        {"the main file cannot be opened", "", true, ""},
    };
    for (const auto& c : cases) {
        ScanOptions o;
        o.top_level = c.top_level;
        Scan s = c.source.empty() ? scan_files({}, o) : scan(c.source, o);
        if (c.source.empty()) {
            EXPECT_EQ(s.messages, "main.c(0) : ファイルのオープンに失敗しました。\n") << c.name;
            continue;
        }
        EXPECT_EQ(s.outcome, FrontEnd::Outcome::Failed) << c.name;
        EXPECT_EQ(s.messages, c.messages) << c.name;
    }
}

TEST(Messages, DoubleByteLinesAreConvertedAndMeasuredInSourceBytes) {
    std::ifstream in(std::string(TOB_TEST_DATA) + "/data/japanese_error.c", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    ASSERT_FALSE(bytes.str().empty());
    Scan s = scan(bytes.str());
    // "あ" takes two columns, so the tab adds two blanks.
    EXPECT_EQ(s.messages, "main.c(2) : 文法エラー。\nあ  表 = @■;\n");
}

TEST(Messages, LineAndIdentifierLengthsAreBounded) {
    // 4094 bytes with the newline fit; one more does not.
    std::string fits = std::string(4092, 'a') + ";";
    EXPECT_EQ(scan(fits + "\n").outcome, FrontEnd::Outcome::SourceEnded);
    Scan s = scan(fits + "b;\n");
    EXPECT_EQ(error_number(s), 21);
    EXPECT_EQ(s.messages, "main.c(1) : 一行の長さが長すぎます。\n" + fits + "b■\n");

    // Pasting builds a name longer than any line: refused, not cut short.
    std::string paste =
        "#define C(b) " + std::string(3000, 'x') + "##b\nC(\n" + std::string(3000, 'y') + ");";
    EXPECT_EQ(error_number(scan(paste)), 21);
}

TEST(Messages, CollectionFollowsTheSwitchAndTheBufferSize) {
    ScanOptions quiet;
    quiet.collect = false;
    Scan s = scan("@", quiet);
    EXPECT_EQ(s.outcome, FrontEnd::Outcome::Failed);
    EXPECT_EQ(s.messages, "");

    FrontEndOptions o;
    o.source_path = "dir\\main.c";
    o.reader = memory_source_reader({{"dir\\main.c", "x"}});
    FrontEnd fe(o);
    fe.run([&] {
        fe.open_main();
        fe.diag.missing("')'");
        fe.diag.missing(kMissingIdentifier);
    });
    EXPECT_EQ(fe.diag.text(),
              "dir\\main.c(1) : ')' がありません\ndir\\main.c(1) : 識別子 がありません\n");
    for (int i = 0; i < 1000; ++i) fe.diag.missing(kMissingIdentifier);
    const std::string& text = fe.diag.text();
    EXPECT_LT(text.size(), Diagnostics::kBufferSize);
    EXPECT_GT(text.size(), Diagnostics::kBufferSize - 40);
    // Cut on a character boundary: the last character is complete.
    size_t start = text.size() - 1;
    while (start > 0 && (uint8_t(text[start]) & 0xC0) == 0x80) --start;
    uint8_t lead = uint8_t(text[start]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    EXPECT_EQ(text.size() - start, length);
    EXPECT_EQ(fe.diag.count(), 1002u);
}
