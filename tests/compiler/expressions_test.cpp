// Expressions compiled and run: arithmetic and conversions, comparisons,
// pointers and arrays, structs, assignments and increments, calls, spilling.
#include <gtest/gtest.h>

#include "program_support.h"

using namespace tob::compiler::testing;

namespace {

struct Case {
    const char* source;  // the body of main
    int32_t result;
};

void expect_results(std::initializer_list<Case> cases, const char* globals = "") {
    ProgramHarness h;
    for (const Case& c : cases) {
        std::string source = std::string(globals) + "\nint main() {\n" + c.source + "\n}\n";
        EXPECT_EQ(h.result_of(source), c.result) << c.source;
    }
}

}  // namespace

TEST(Expressions, IntegerArithmeticAndPrecedence) {
    expect_results({
        {"return 2 + 3 * 4;", 14},
        {"return (2 + 3) * 4;", 20},
        {"return 17 / 5 * 5 + 17 % 5;", 17},
        {"int a; a = -7; return a / 2;", -3},
        {"int a; a = -7; return a % 2;", -1},
        {"unsigned a; a = 0xFFFFFFFE; return a / 2;", -1},  // no unsigned divide
        {"unsigned a; a = -7; return a % 2;", -1},
        // Folding divides as the machine does.
        {"return (unsigned)0xFFFFFFFE / 2;", -1},
        {"return (unsigned)-7 % 2;", -1},
        {"int a; a = -16; return a >> 2;", -4},
        {"unsigned a; a = 0x80000000; return a >> 31;", 1},
        {"int a; a = 1; return a << 33;", 2},
        {"return 6 & 3 | 8 ^ 1;", 11},
        {"return ~5;", -6},
        {"int a; a = 5; return -a;", -5},
        {"return !0 + !7;", 1},
        {"int a, b; a = 3; b = 4; return a, b;", 4},
        {"return 0x7FFFFFFF + 1 == 0x80000000;", 1},
    });
}

TEST(Expressions, ComparisonsFollowSignedness) {
    expect_results({
        {"int a; a = -1; return a < 1;", 1},
        {"unsigned a; a = -1; return a < 1;", 0},
        {"char c; c = -1; return c < 0;", 1},
        {"unsigned char c; c = 255; return c > 254;", 1},
        {"int *p, *q; p = 0; q = p - 1; return q > p;", 1},  // pointers compare unsigned
        {"int a; a = 5; return (a > 3) + (a >= 5) + (a <= 4) + (a != 5) + (a == 5);", 3},
        {"float f; f = 1.5; return f == 1.5;", 1},
        {"float f; f = 1.0; return f == 1;", 0},  // the integer against the float's bits
        {"float f; f = 2.5; return f > 2;", 1},
    });
}

TEST(Expressions, FloatsAndConversions) {
    expect_results({
        {"float f; f = 1.5; f = f * 4; return (int)f;", 6},
        {"float f; f = 7; return (int)(f / 2 * 10);", 35},
        {"float f; f = 7.5; return (int)(f % 2 * 10);", 15},
        {"int i; i = 2.9; return i;", 2},
        {"int i; i = -2.9; return i;", -2},
        {"float f; f = -3; return (int)-f;", 3},
        {"float f; f = 2; return f;", 0x40000000},  // returned unconverted
        {"return (int)(1.5f + 2);", 3},
        {"return 2f == 2.0;", 1},
        {"return (char)300;", 300},  // a cast changes only the type
        {"char c; c = 300; return c;", 44},
        {"int i; i = 10; i += 0.6; return i;", 10},
        {"float f; f = 1; f += 2; return (int)(f * 2);", 6},
        {"return sizeof(float) + sizeof(short) + sizeof 'a';", 10},
    });
}

TEST(Expressions, PointersArraysAndStrings) {
    expect_results(
        {
            {"return a[0] + a[4];", 6},
            {"int *p; p = a; p = p + 3; return *p;", 4},
            {"int *p, *q; p = &a[4]; q = a; return p - q;", 4},
            // The right operand is evaluated first.
            {"int *p; p = a; p += 2; p++; return *p + *--p;", 3 + 3},
            {"char *s; s = \"hello\"; return s[1];", 'e'},
            {"return \"ab\" \"cd\"[3];", 'd'},
            {"return sizeof \"abc\" + sizeof(a) + sizeof(g);", 4 + 20 + 2},
            {"short *s; s = &g; *s = -2; return g;", -2},
            {"return m[1][2] + m[0][1];", 6 + 2},
            {"char *x; char *y; x = \"same\"; y = \"same\"; return x != y;", 1},
        },
        "int a[5] = {1, 2, 3, 4, 5}; short g; int m[2][3] = {{1, 2, 3}, {4, 5, 6}};");
}

TEST(Expressions, StructsAndUnions) {
    expect_results(
        {
            {"return sizeof(struct s) * 10 + sizeof(union u);", 64},
            {"v.a = 1; v.b = 2; v.c = 3; return v.a + v.b * 10 + v.c * 100;", 321},
            {"struct s *p; p = &v; p->b = 70000; return v.b;", 70000},
            {"w.l = 0x01020304; return w.c;", 4},
            {"struct s arr[2]; arr[1].c = 9; return arr[1].c;", 9},
            {"struct node n1, n2; n1.next = &n2; n2.value = 5; return n1.next->value;", 5},
            {"struct inner { short x[3]; } in; in.x[2] = 7; return in.x[2] + sizeof in;", 13},
            {"struct s *p; p = make(); return p->b + p[0].c;", 40 + 2},
            {"holder.arr[1] = 4; hp = &holder; hp->arr[2] = hp->arr[1] * 2; return holder.arr[2];",
             8},
            {"typedef struct s *sp; sp q; q = &v; q->a = 'x'; return v.a;", 'x'},
        },
        "struct s { char a; long b; char c; } v;\n"
        "union u { char c; long l; } w;\n"
        "struct node { struct node *next; int value; };\n"
        "struct s *make() { v.b = 40; v.c = 2; return &v; }\n"
        "struct { int pad; int arr[3]; } holder, *hp;");
}

TEST(Expressions, AssignmentsAndIncrements) {
    expect_results({
        {"int a; a = 5; a *= 3; a -= 1; a <<= 1; a |= 1; return a;", 29},
        {"int a; a = 7; a %= 4; a ^= 6; return a;", 5},
        {"unsigned a; a = 0x80000000; a >>= 4; return a;", 0x08000000},
        // The right operand is evaluated first.
        {"int a; a = 5; return a++ + a;", 10},
        {"int a; a = 5; return ++a + a;", 11},
        {"unsigned char c; c = 255; return c++;", 255},
        {"char c; c = 255; return c++;", 255},  // the old byte is zero-extended
        {"char c; c = 255; c++; return c;", 0},
        {"short s; s = 0x7FFF; ++s; return s;", -32768},
        {"int a, b; a = b = 4; return a + b;", 8},
        // The target of a compound assignment is evaluated twice, side effects too.
        {"int x[3], i; i = 0; x[0] = x[1] = x[2] = 1; x[i++] += 5; return i * 100 + x[1];", 206},
    });
}

TEST(Expressions, ConditionalsAndLogic) {
    expect_results({
        {"int a; a = 0; return a ? 10 : 20;", 20},
        {"int a; a = 3; return a > 2 ? a * 2 : a;", 6},
        {"return 1 ? 7 : 8;", 7},
        // An unsigned part makes the whole unsigned, here a logical shift;
        // a constant condition picks its part with that type too.
        {"int a, c; a = -8; c = 1; return (c ? a : (unsigned)0) >> 1;", 0x7FFFFFFC},
        {"int a; a = -8; return (1 ? a : (unsigned)0) >> 1;", 0x7FFFFFFC},
        {"return (0 ? (unsigned)0 : -8) >> 1;", 0x7FFFFFFC},
        {"return (1 ? -8 : -8) >> 1;", -4},
        {"int a; a = 0; return (a != 0 && 10 / a) || a == 0;", 1},
        {"int a; a = 2; return a == 2 && a < 3;", 1},
        {"int a, b; a = 0; b = 0; a || (b = 5); return b;", 5},
        {"int a, b; a = 1; b = 0; a || (b = 5); return b;", 0},
    });
}

TEST(Expressions, CallsAndSpilling) {
    const char* functions =
        "int add3(a, b, c) { return a * 100 + b * 10 + c; }\n"
        "int fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
        "int narrow(char c, short s) { return c + s; }\n"
        "int twice(int x) { return x * 2; }\n"
        "int (*fp)() = twice;\n";
    expect_results(
        {
            {"return add3(1, 2, 3);", 123},
            {"return fib(15);", 610},
            {"return narrow(0x1FF, 0x10002);", -1 + 2},
            {"return fp(21);", 42},
            {"int (*g)(); g = add3; return g(3, 2, 1);", 321},
            {"return twice(twice(3)) + add3(twice(1), 0, twice(2));", 12 + 204},
            // More live values than registers: the rest go to the stack.
            {"int a; a = 1; return ((((((((a*2)-1)*3)-2)*5)-3)*7)-4)*11;", 110},
            {"int a; a = 2; return (a*3) - ((a*5) - ((a*7) - ((a*11) - ((a*13) - (a*17)))));",
             2 * (3 - 5 + 7 - 11 + 13 - 17)},
            {"int a; a = 1; return a + twice(a + twice(a + twice(a)));", 1 + 2 * (1 + 2 * 3)},
        },
        functions);
}

// A call on a path that is not always taken (the right side of && or ||, an
// arm of ?:) while another value waits in r0: every path must leave the
// waiting value where the code after the join expects it.
TEST(Expressions, CallsOnConditionalPathsKeepWaitingValues) {
    const char* globals =
        "int side;\n"
        "int bump() { side++; return 1; }\n"
        "int seven() { return 7; }\n";
    expect_results(
        {
            // (right operands are evaluated first, so `side` is read after the test)
            {"int r; side = 0; r = (1 || bump()) == 1; return r * 10 + side;", 10},
            {"int a, r; a = 0; side = 0; r = (a || bump()) == 1; return r * 10 + side;", 11},
            {"int a, r; a = 1; side = 0; r = (a && bump()) == 1; return r * 10 + side;", 11},
            {"int a, r; a = 0; side = 0; r = (a && bump()) == 0; return r * 10 + side;", 10},
            {"int a; a = 1; return 5 + (a ? seven() : 2);", 12},
            {"int a; a = 0; return 5 + (a ? seven() : 2);", 7},
            {"int a; a = 0; return 5 + (a ? 2 : seven());", 12},
            {"int a, b; a = 3; b = 0; return a * 100 + ((b || seven() == 7) ? 1 : 0);", 301},
        },
        globals);
}
