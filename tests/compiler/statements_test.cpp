// Statements compiled and run: branches, loops, switch dispatch, jumps, and
// the ways a function returns.
#include <gtest/gtest.h>

#include "program_support.h"

using namespace tob::compiler::testing;

namespace {

struct Case {
    const char* source;
    int32_t result;
};

void expect_results(std::initializer_list<Case> cases) {
    ProgramHarness h;
    for (const Case& c : cases) EXPECT_EQ(h.result_of(c.source), c.result) << c.source;
}

}  // namespace

TEST(Statements, BranchesAndLoops) {
    expect_results({
        {"int main() { int a; a = 3; if (a > 2) a = 10; else a = 20; return a; }", 10},
        {"int main() { int a; a = 1; if (a > 2) a = 10; else if (a) a = 30; return a; }", 30},
        {"int main() { int i, s; i = s = 0; while (i < 10) { s += i; i++; } return s; }", 45},
        {"int main() { int i; i = 0; while (++i < 7); return i; }", 7},
        {"int main() { int i; i = 0; do i += 3; while (i < 10); return i; }", 12},
        {"int main() { int i, s; s = 0; for (i = 0; i < 5; i++) s += i; return s; }", 10},
        {"int main() { int i; for (i = 0;; i++) if (i == 4) break; return i; }", 4},
        {"int main() { int i, s; s = 0; for (i = 0; i < 10; i++) { if (i & 1) continue; s++; }"
         " return s; }",
         5},
        {"int main() { int i, j, s; s = 0; for (i = 0; i < 3; i++) for (j = 0; j < 3; j++)"
         " { if (j == 2) break; s++; } return s; }",
         6},
        {"int main() { int i; i = 0; again: i++; if (i < 5) goto again; return i; }", 5},
        {"int main() { goto out; return 1; out: return 2; }", 2},
        {"int main() { while (0) return 1; if (1) return 3; return 4; }", 3},
    });
}

TEST(Statements, SwitchTriesEveryCaseBeforeTheDefault) {
    const char* f =
        "int f(x) { int r; r = 0;\n"
        "  switch (x) {\n"
        "    default: r = 100; break;\n"
        "    case 1: r = 1;\n"
        "    case 2: case 3: r += 10; break;\n"
        "    case 7: return 77;\n"
        "  }\n"
        "  return r; }\n";
    ProgramHarness h;
    for (auto [arg, want] : {std::pair{1, 11}, {2, 10}, {3, 10}, {7, 77}, {9, 100}, {0, 100}}) {
        std::string source =
            std::string(f) + "int main() { return f(" + std::to_string(arg) + "); }";
        EXPECT_EQ(h.result_of(source), want) << arg;
    }
    EXPECT_EQ(h.result_of("int main() { int r; r = 5; switch (r) { case 1: r = 0; } return r; }"),
              5);
    EXPECT_EQ(h.result_of("int main() { int r, i; r = 0; for (i = 0; i < 4; i++) switch (i) {"
                          " case 0: continue; case 2: r += 10; break; default: r += 1; }"
                          " return r; }"),
              12);
    EXPECT_EQ(h.result_of("int main() { int a, b; a = 1; b = 2; switch (a) { case 1:"
                          " switch (b) { case 2: a = 50; break; } a++; break; case 2: a = 0; }"
                          " return a; }"),
              51);
}

TEST(Statements, EveryReturnPathKeepsItsValue) {
    // An early return must not be spoiled by the code of the last statement.
    expect_results({
        {"int f(c, a, b) { if (c) return 1; return a + b; } int main() { return f(1, 5, 6); }", 1},
        {"int f(c, a, b) { if (c) return 1; return a + b; } int main() { return f(0, 5, 6); }", 11},
        {"int g; int f(c) { if (c) return 7; g = c * 3 + 1; } int main() { f(0); return f(1); }",
         7},
        {"int f(c) { while (c) { if (c == 3) return c * 10; c--; } return -1; }"
         " int main() { return f(5); }",
         30},
    });
}
