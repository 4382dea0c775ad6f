// Directives and macros: define with and without parameters, pasting, include,
// trap, asm blocks and comment lines, and the limits on nesting.
#include <gtest/gtest.h>

#include "front_end_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

struct TokenCase {
    const char* name;
    const char* source;
    const char* tokens;
};

void expect_tokens(const TokenCase& c) {
    Scan s = scan(c.source);
    EXPECT_EQ(s.outcome, FrontEnd::Outcome::SourceEnded) << c.name << "\n" << s.messages;
    EXPECT_EQ(joined(s), c.tokens) << c.name;
}

struct ErrorCase {
    const char* name;
    const char* source;
    int error;
};

void expect_error(const ErrorCase& c) {
    Scan s = scan(c.source);
    EXPECT_EQ(error_number(s), c.error) << c.name << "\n" << s.messages;
}

}  // namespace

TEST(Macros, ExpandAsWritten) {
    const TokenCase cases[] = {
        {"object macro", "#define N 10\nN*2;", "10 * 2 ;"},
        {"empty body", "#define E\nE x;", "x ;"},
        {"body keeps its blanks", "#define T int  x\nT;", "int x ;"},
        {"character after the name is dropped", "#define P+1\nP;", "1 ;"},
        {"prefix match of the keyword", "#defineX 5\nX;", "5 ;"},
        {"parameters", "#define SQ(x) ((x)*(x))\nSQ(a+1);", "( ( a + 1 ) * ( a + 1 ) ) ;"},
        {"argument up to the semicolon", "#define SQ(x) ((x)*(x))\nSQ a+1;",
         "( ( a + 1 ) * ( a + 1 ) ) ;"},
        {"parameter names ignore case", "#define F(X) x+X\nF(3);", "3 + 3 ;"},
        {"nested parentheses stay in one argument", "#define F(a,b) a-b\nF((1,2),3);",
         "( 1 , 2 ) - 3 ;"},
        {"commas between parameters are optional", "#define F(a b) b-a\nF(1,2);", "2 - 1 ;"},
        {"arguments are not expanded before substitution", "#define N 4\n#define F(a) a\nF(N);",
         "4 ;"},
        {"argument spans lines", "#define F(a,b) b a\nF(1,\n2);", "2 1 ;"},
        {"backslash continues a body with parameters", "#define F(a) a+\\\n1\nF(2);", "2 + 1 ;"},
        {"pasting", "#define CAT(b) foo##b\nCAT(bar);", "foobar ;"},
        {"a parameter on the left of ## is pasted to, not expanded first",
         "#define CAT(a,b) a##b\nCAT(foo,bar);", "CAT_0bar ;"},
        {"pasting a parameter between text", "#define W(p) x##p##y\nW(mid);", "xmidy ;"},
        {"pasting at the end of the body", "#define W(p) x##p\nW(1) z;", "x1 z ;"},
        {"zero parameters behave like no parameters", "#define F() 7\nF();", "7 ( ) ;"},
        {"macros expand inside macros", "#define A B+1\n#define B 2\nA;", "2 + 1 ;"},
        {"redefining a macro defines its expansion, here with an empty body",
         "#define A B\n#define A 2\nB;", ";"},
        {"directive after a block comment", "/* a\n*/\n#define Q 3\nQ;", "3 ;"},
    };
    for (const auto& c : cases) expect_tokens(c);
}

TEST(Macros, RejectWhatCannotBeDefinedOrExpanded) {
    std::string many_params = "#define F(";
    for (int i = 0; i < 256; ++i) many_params += "p" + std::to_string(i) + ",";
    many_params += ") 1\n";
    std::string long_argument = "#define F(a) a\nF(";
    for (int i = 0; i < 400; ++i) long_argument += std::string(60, 'x') + "\n";
    long_argument += ");";
    const ErrorCase cases[] = {
        {"keyword", "#define int 3\n", 4},
        {"number", "#define 3 4\n", 4},
        {"macro expanding to a number", "#define A 1\n#define A 2\n", 4},
        {"parameter that is no name", "#define F(1) x\n", 12},
        {"parameter macro already exists", "#define F_0 1\n#define F(a) a\n", 12},
        {"more than 255 parameters", many_params.c_str(), 4},
        {"backslash does not continue a body without parameters", "#define G 1\\\nG;", 12},
        {"pasting a name that is no macro", "#define F(a) a##zz\nF(1);", 12},
        {"pasting a macro with parameters", "#define G(x) x\n#define F(a) a##G\nF(1);", 4},
        {"self reference", "#define A A\nA;", 7},
        // The argument names the parameter itself: each expansion ends its own
        // text, so depth never grows; the count of expansions stops it.
        {"argument that is its own parameter", "#define F(x) x\nF(F_0);", 7},
        {"argument buffer", long_argument.c_str(), 20},
    };
    for (const auto& c : cases) expect_error(c);
}

TEST(Macros, NestingIsBoundedAtSixteen) {
    auto chain = [](int n) {
        std::string s;
        for (int i = 1; i < n; ++i)
            s += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
        s += "#define M" + std::to_string(n) + " x\nM1;";
        return s;
    };
    Scan ok = scan(chain(16));
    EXPECT_EQ(joined(ok), "x ;") << ok.messages;
    EXPECT_EQ(error_number(scan(chain(17))), 7);
}

TEST(Directives, CommentLinesAsmAndErrors) {
    const TokenCase cases[] = {
        {"comment line", "# anything at all\nx;", "x ;"},
        {"directive lines inside a block comment", "/*\n#bogus\n*/ x;", "x ;"},
        {"asm block produces no tokens", "#asm\n\tmovl r0, $1\n#endasm\nx;", "x ;"},
        {"trap leaves the rest of its line", "#trap int f();", "int f ( ) ;"},
    };
    for (const auto& c : cases) expect_tokens(c);
    const ErrorCase errors[] = {
        {"hash and newline", "#\n", 4},
        {"unknown directive", "#pragma once\n", 4},
        {"comment line needs a blank", "#\tx\n", 4},
        {"asm inside asm", "#asm\n#asm\n", 4},
        {"endasm without asm", "#endasm\n", 4},
        {"hash in the middle of a line", "x # y;", 12},
    };
    for (const auto& c : errors) expect_error(c);
}

TEST(Directives, TrapNumbersCountInSourceOrder) {
    Scan s = scan("#trap\nint a();\n#trap int b();\n");
    EXPECT_EQ(joined(s), "int a ( ) ; int b ( ) ;");
    EXPECT_EQ(s.pending_trap, 1);
}

TEST(Directives, AsmLinesGoToTheListing) {
    ScanOptions o;
    o.listing = true;
    o.echo_source = true;
    Scan s = scan("x;\n#asm\n\tnop\n\n#endasm\ny;\n\n", o);
    EXPECT_EQ(joined(s), "x ; y ;");
    EXPECT_EQ(s.listing, "*\tx;\n\tnop\n*\ty;\n");
    o.echo_source = false;
    EXPECT_EQ(scan("x;\n#asm\n\tnop\n#endasm\n", o).listing, "\tnop\n");
}

TEST(Directives, DirectiveLinesInsideMacroArgumentsAreText) {
    // Lines read while arguments are collected are never directives, so a
    // definition cannot change the macro table in the middle of an expansion.
    Scan s = scan("#define F(a) a\nF(1\n#define Z 2\n);");
    EXPECT_EQ(error_number(s), 12);
}

TEST(Include, FilesAreReadOnceAndInPlace) {
    std::map<std::string, std::string> files = {
        {"dir\\main.c", "a;\n#include \"inc.h\"\nb;\n#include \"INC.H\"\n#include \"main.c\"\nc;"},
        {"dir\\inc.h", "i;\n#include \"inc.h\"\nj;"},
    };
    ScanOptions o;
    o.main = "dir\\main.c";
    Scan s = scan_files(files, o);
    EXPECT_EQ(s.outcome, FrontEnd::Outcome::SourceEnded) << s.messages;
    EXPECT_EQ(joined(s), "a ; i ; j ; b ; c ;");
}

TEST(Include, ErrorsNameTheRightFileAndLine) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        const char* messages;
    } cases[] = {
        {"missing file",
         {{"main.c", "x;\n#include \"none.h\"\n"}},
         "none.h(0) : ファイルのオープンに失敗しました。\n"},
        {"no quote",
         {{"main.c", "#include none.h\n"}},
         "main.c(1) : インクルードファイルの指定が間違ってます。\n#include n■one.h\n"},
        {"unterminated name",
         {{"main.c", "#include \"none.h\n"}},
         "main.c(1) : インクルードファイルの指定が間違ってます。\n#include \"none.h■\n"},
        {"line numbers go on after a file was read",
         {{"main.c", "#include \"a.h\"\nx;\n@"}, {"a.h", "1;\n2;\n3;\n"}},
         "main.c(3) : 文法エラー。\n@■\n"},
        {"line numbers go on after a file was skipped",
         {{"main.c", "#include \"a.h\"\n#include \"a.h\"\n\n@"}, {"a.h", "1;\n"}},
         "main.c(4) : 文法エラー。\n@■\n"},
        {"errors inside an included file",
         {{"main.c", "#include \"a.h\"\n"}, {"a.h", "x;\n  $"}},
         "a.h(2) : 文法エラー。\n  $■\n"},
    };
    for (const auto& c : cases) {
        Scan s = scan_files(c.files);
        EXPECT_EQ(s.messages, c.messages) << c.name;
    }
}

TEST(Include, NestingAndPathLengthAreBounded) {
    auto chain = [](int files) {
        std::map<std::string, std::string> m;
        for (int i = 0; i < files; ++i) {
            std::string name = i == 0 ? "main.c" : "f" + std::to_string(i) + ".h";
            m[name] = i + 1 < files ? "#include \"f" + std::to_string(i + 1) + ".h\"\n" : "x;\n";
        }
        return m;
    };
    Scan ok = scan_files(chain(16));  // the main file and 15 nested includes
    EXPECT_EQ(joined(ok), "x ;") << ok.messages;
    EXPECT_EQ(error_number(scan_files(chain(17))), 6);

    std::string long_name(300, 'n');
    Scan s = scan("#include \"" + long_name + "\"\n");
    EXPECT_EQ(error_number(s), 5);
}
