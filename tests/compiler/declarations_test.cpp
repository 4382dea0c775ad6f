// Declarations: what compiles and what is refused with which message, global
// and static data with their initializers, extern variables, traps, and
// functions exported from one program to the next.
#include <gtest/gtest.h>

#include "program_support.h"

using namespace tob::compiler;
using namespace tob::compiler::testing;

namespace {

// The number of the numbered error in `messages`, or -1.
int error_number(const std::string& messages) {
    for (int n = 0; n < kMessageCount; ++n)
        if (messages.find(" : " + std::string(message_text(Msg(n))) + "。\n") != std::string::npos)
            return n;
    return -1;
}

}  // namespace

TEST(Declarations, RefusedWithTheirMessages) {
    struct Case {
        const char* source;
        int error;
    } cases[] = {
        {"int f(int a); int f(int a) { return a; } int main() { return 0; }", 8},
        {"int main() { { int a; } { int a; } return 0; }", 8},
        {"int x; int x; int main() { return 0; }", 8},
        {"int main() { return 10 / 0; }", 10},
        {"int main() { int x; x = 4; x %= 0; return x; }", 10},
        {"char s[4] = \"abc\"; int main() { return 0; }", 14},
        {"int main() { return 1 = 2; }", 13},
        {"int main() { return &3; }", 13},
        {"int main() { return nothing; }", 15},
        {"int a[x]; int main() { return 0; }", 15},
        {"int a[3 < 4]; int main() { return 0; }", 11},
        {"struct s { int a; }; int main() { struct s v; return v.b; }", 14},
        {"int main() { struct t *p; return 0; }", 15},
        {"struct s { int a; }; struct s v = 3; int main() { return 0; }", 14},
        {"int main() { float f; f++; return 0; }", 14},
        {"int main() { int *p; return p * 2; }", 14},
        {"int main() { break; }", 12},
        {"int f() { a: return 0; } int main() { goto a; }", 12},
        {"int main() { a: a: return 0; }", 14},
        {"int f() { return 0; } int f() { return 1; } int main() { return 0; }", 8},
        {"char *main() { return 0; }", 14},
        {"extern int e = 3; int main() { return 0; }", 8},
        {"int big[100]; extern int e[100]; int main() { return 0; }", 22},
        {"int main() { int v; v = 1; switch (v) { default: ; default: ; } return v; }", 12},
    };
    ProgramHarness h;
    for (const auto& c : cases) {
        ProgramRun r = h.run(c.source);
        EXPECT_FALSE(r.measured.ok) << c.source;
        EXPECT_EQ(error_number(r.measured.messages), c.error) << c.source << "\n"
                                                              << r.measured.messages;
    }
}

TEST(Declarations, UndefinedNamesAreListedAtTheEnd) {
    ProgramHarness h;
    ProgramRun r = h.run(";;; /* nothing */ ;");
    EXPECT_EQ(r.measured.messages, "main 関数は定義されていません。\n");
    r = h.run("int f(); int main() { g(); goto nowhere; return f(); }");
    EXPECT_FALSE(r.measured.ok);
    EXPECT_EQ(r.measured.messages,
              "f 関数は定義されていません。\ng 関数は定義されていません。\n"
              "nowhere ラベルは定義されていません。\n");
}

TEST(Declarations, AcceptedForms) {
    ProgramHarness h;
    const char* sources[] = {
        // A top-level declaration without a type declares long variables.
        "x, y; int main() { x = 2; y = 3; return x * y; }",
        // Old-style parameters, a prototype with empty parentheses.
        "int f(); int f(a, b) char b; { return a + b; } int main() { return f(1, 0x105); }",
        // Typedefs, globally and inside a function.
        "typedef struct { short a, b; } pair; int main() { typedef int n; n k; pair p;"
        " p.a = 2; p.b = 4; k = p.a * p.b; return k - 2; }",
        // Locals of the same name in several functions, and a global beside them.
        "int q; int f() { int q; q = 2; return q; } int g() { unsigned q; q = 3; return q; }"
        " int main() { q = 1; return f() * g() * q; }",
        // Parameter names of a local function pointer declare nothing.
        "int main() { int a; int (*fp)(int a, int b); fp = 0; a = 6; return a; }",
        // Declarations among statements; extern inside a function is a plain local.
        "int main() { int a; a = 2; int b; b = 4; extern int c; c = a * b; return c - 2; }",
    };
    for (const char* s : sources) EXPECT_EQ(h.result_of(s), 6) << s;
}

TEST(Declarations, LargeProgramsFitTheTypeTable) {
    // Function types and repeated pointer types take no lasting room, so the
    // number of functions and pointer globals is not bounded by the table.
    std::string source;
    for (int i = 0; i < 3000; ++i) {
        std::string n = std::to_string(i);
        source += "char *p" + n + "; int f" + n + "(char *s) { int c; c = s[0]; return c + " + n +
                  "; }\n";
    }
    source += "int main() { return f2999(\"A\"); }\n";
    ProgramHarness h;
    EXPECT_EQ(h.result_of(source), 'A' + 2999);
}

TEST(Declarations, InitializedDataIsInPlaceBeforeMainRuns) {
    ProgramHarness h;
    const char* globals =
        "char c = 300; short s = -2; unsigned char uc = 0x1FF; float f = 3;\n"
        "int n = 2.75; int a[5] = {1, , 3}; int *p = &a[2]; char *str = \"hi\";\n"
        "int twice(x) { return 2 * x; }\n"
        "int (*fp)() = twice;\n"
        "int counter() { static int k = 10; return k++; }\n";
    struct Case {
        const char* expression;
        int32_t value;
    } cases[] = {
        {"c", 44},      {"s", -2},
        {"uc", 255},    {"(int)(f * 2)", 6},
        {"n", 2},       {"a[0] + a[1] * 10 + a[2] * 100 + a[4] * 1000", 301},
        {"*p", 3},      {"str[1]", 'i'},
        {"fp(21)", 42}, {"counter() + counter() * 100", 11 + 1000},  // right operand first
    };
    for (const auto& c : cases) {
        std::string source = std::string(globals) + "int main() { return " + c.expression + "; }";
        EXPECT_EQ(h.result_of(source), c.value) << c.expression;
    }
    EXPECT_EQ(h.result_of("int main() { int a[4] = {5, 6, 7, 8}; char b[2] = 1, 2;"
                          " return a[0] + a[3] + b[1]; }"),
              15);
}

TEST(Declarations, ExternVariablesShareOneArea) {
    ProgramHarness h;
    EXPECT_EQ(h.result_of("extern int a, b; int main() { a = 11; b = 22; return 0; }"), 0);
    // Declaration order decides the address: b of this program is a of the other.
    EXPECT_EQ(h.result_of("extern int b; int main() { return b; }"), 11);
    uint32_t word = 0;
    ASSERT_TRUE(h.memory().read32(h.external() + 4, word));
    EXPECT_EQ(word, 22u);
}

TEST(Declarations, TrapStubsCallBuiltinsInDirectiveOrder) {
    ProgramHarness h;
    ProgramRun r = h.run(
        "#trap\nint first(int a);\n#trap int second(int a);\n"
        "int main() { return first(5) + second(100); }");
    ASSERT_TRUE(r.compiled.ok) << r.measured.messages;
    // The right operand is evaluated first.
    ASSERT_EQ(r.traps.size(), 2u);
    EXPECT_EQ(r.traps[0], (std::pair<uint32_t, uint32_t>{1, 100}));
    EXPECT_EQ(r.traps[1], (std::pair<uint32_t, uint32_t>{0, 5}));
    EXPECT_EQ(r.result, 210u);  // the test's built-ins return twice their argument
}

TEST(Declarations, ExportedFunctionsReachLaterPrograms) {
    ProgramHarness h;
    ProgramRun first = h.run("extern int triple(x) { return 3 * x; } int main() { return 0; }");
    ASSERT_TRUE(first.compiled.ok) << first.compiled.messages;
    ASSERT_TRUE(h.exports().find("triple"));
    // The first program's area stays allocated in the harness, so calling it works.
    EXPECT_EQ(h.result_of("int main() { return triple(14); }"), 42);
    EXPECT_EQ(h.result_of("int main() { int (*f)(); f = triple; return f(2); }"), 6);
}

TEST(Declarations, ProgramAreaOverflowIsReported) {
    ProgramHarness h;
    CompileOptions o = h.options({{"main.c", "int a[8]; int main() { return a[1]; }"}}, "main.c");
    o.memory = &h.memory();
    o.size = 16;
    o.base = h.memory().allocate(o.size + 4);
    CompileResult r = compile(o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(error_number(r.messages), 23);
}
