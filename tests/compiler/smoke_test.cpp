#include <gtest/gtest.h>

#include "program_support.h"

using namespace tob::compiler::testing;

TEST(Smoke, Basic) {
    ProgramHarness h;
    EXPECT_EQ(h.result_of("int main() { return 42; }"), 42);
    EXPECT_EQ(h.result_of("int main() { int a; a = 6; return a * 7; }"), 42);
    EXPECT_EQ(h.result_of("int f(a, b) { return a - b; } int main() { return f(50, 8); }"), 42);
}
