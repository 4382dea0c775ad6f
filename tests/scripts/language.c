// A self-checking tour of the script language and the machine. Each check
// logs its name when it fails; the last line counts passes and failures, and
// the result (the exit status of a headless run) is the number of failures.
#include "../../games/demo/tob.h"

int passed;
int failed;

void check(int ok, char *name)
{
    if (ok) {
        passed++;
    } else {
        failed++;
        log_out("FAILED: %s", name);
    }
}

// --- globals and initialisers ---
int g_number = 42;
int g_table[5] = { 1, 2, , 4 };
char *g_text = "text";
float g_float = 3;
short g_short = -2;
unsigned char g_byte = 200;
static int g_hidden = 7;

struct point { char tag; long x; char flag; };
union either { char c; long l; };
typedef struct point Point;

int add(int a, int b) { return a + b; }
int old_style(a, b) int a; int b; { return a * 10 + b; }

int fib(int n)
{
    if (n < 2) return n;
    return fib(n - 1) + fib(n - 2);
}

int counter()
{
    static int calls;
    calls++;
    return calls;
}

int side;
int bump() { side++; return 1; }

void arithmetic()
{
    int a, b;
    unsigned u;
    a = -7; b = 2;
    check(a / b == -3, "signed division truncates toward zero");
    check(a % b == -1, "remainder takes the dividend's sign");
    check(7 + 5 * 2 == 17, "precedence of * over +");
    check((7 + 5) * 2 == 24, "parentheses");
    check(1 << 33 == 2, "constant shift counts are masked");
    b = 33;
    check(1 << b == 2, "shift counts are masked at run time");
    a = -16;
    check(a >> 2 == -4, "signed >> is arithmetic");
    u = 0x80000000;
    check(u >> 31 == 1, "unsigned >> is logical");
    check(u > 1, "unsigned comparison");
    a = -1;
    check(a < 1, "signed comparison");
    check((a & 0xFF) == 255 && (a ^ a) == 0 && (6 | 9) == 15, "bitwise operators");
    check(~0 == -1 && -(5) == -5 && !0 == 1 && !7 == 0, "unary operators");
    a = 0x7FFFFFFF;
    a = a + 1;
    check(a == 0x80000000, "addition wraps");
    check(sizeof(int) == 4 && sizeof(short) == 2 && sizeof(char) == 1, "basic sizes");
    check((char)300 == 300, "a cast does not truncate");
    a = 10;
    a += 5; a -= 3; a *= 2; a /= 4; a %= 4;
    check(a == 2, "compound assignments");
    a = 5;
    check(a++ == 5 && a == 6 && ++a == 7 && a-- == 7 && --a == 5, "increments");
}

void floats()
{
    float f, g;
    int i;
    f = 1.5;
    g = 1.5f;
    check(f == g, "float equality compares bits");
    i = 0x3FC00000;
    check(i == f, "an integer compared with == meets the float's bits");
    f = f * 2;
    check(f > 2.5 && f < 3.5, "float multiply and compare");
    i = f;
    check(i == 3, "float to integer by assignment");
    f = 7;
    check(f / 2 == 3.5, "integer to float by assignment");
    f = -2.75;
    check((int)f == -2, "cast truncates toward zero");
    check(g_float == 3.0, "global float initialised from an integer");
    f = 10.0 % 3.0;
    check(f == 1.0, "float remainder");
    check(-f == -1.0, "float negation");
}

void control()
{
    int i, sum;
    sum = 0;
    for (i = 0; i < 10; i++) {
        if (i == 3) continue;
        if (i == 8) break;
        sum += i;
    }
    check(sum == 0 + 1 + 2 + 4 + 5 + 6 + 7, "for with break and continue");
    i = 0;
    while (i < 100) i += 7;
    check(i == 105, "while");
    i = 0;
    do { i++; } while (i < 3);
    check(i == 3, "do while");
    for (i = 0;; i++) if (i == 5) break;
    check(i == 5, "for without a test");
    sum = 0;
    for (i = 0; i < 6; i++) {
        switch (i) {
        case 0:
        case 1: sum += 1; break;
        case 2: sum += 10;
        case 3: sum += 100; break;
        default: sum += 1000;
        }
    }
    check(sum == 1 + 1 + 110 + 100 + 2000, "switch with fall-through and default");
    i = 0;
    goto skip;
    i = 1;
skip:
    check(i == 0, "goto");
    side = 0;
    check((0 && bump()) == 0 && side == 0, "&& stops early");
    check((1 || bump()) == 1 && side == 0, "|| stops early");
    check((1 && bump()) == 1 && side == 1, "&& evaluates the right side");
    i = 5;
    check((i > 3 ? 10 : 20) == 10 && (i < 3 ? 10 : 20) == 20, "conditional operator");
}

void data()
{
    int a[4];
    int *p;
    char buf[32];
    struct point pt;
    Point *pp;
    union either e;
    int i;
    check(sizeof(struct point) == 6, "structs are packed");
    check(sizeof(union either) == 4, "unions take the largest member");
    for (i = 0; i < 4; i++) a[i] = i * i;
    p = a;
    check(*(p + 2) == 4 && p[3] == 9, "pointer arithmetic scales");
    check(&a[3] - &a[1] == 2, "pointer difference counts elements");
    pt.tag = 1; pt.x = 123456; pt.flag = 2;
    pp = &pt;
    check(pp->x == 123456 && pp->tag == 1 && pp->flag == 2, "struct members");
    e.l = 0x11223344;
    check(e.c == 0x44, "union members share storage");
    check(g_table[0] == 1 && g_table[1] == 2 && g_table[2] == 0 && g_table[3] == 4, "array initialiser");
    check(g_number == 42 && g_short == -2 && g_byte == 200 && g_hidden == 7, "global initialisers");
    check(strcmp(g_text, "text") == 0, "string literal pointer");
    sprintf(buf, "%d-%s-%x", 12, "ab", 255);
    check(strcmp(buf, "12-ab-ff") == 0, "sprintf through the built-in");
    check(strlen("hello" " world") == 11, "adjacent strings join");
    check('A' == 65 && '\n' == 10, "character constants");
}

void functions()
{
    int (*fp)();
    check(add(2, 3) == 5, "call with arguments");
    check(old_style(4, 2) == 42, "old-style parameters");
    check(fib(20) == 6765, "recursion");
    fp = &add;
    check(fp(20, 22) == 42, "call through a function pointer");
    counter();
    counter();
    check(counter() == 3, "static locals keep their value");
}

int main()
{
    arithmetic();
    floats();
    control();
    data();
    functions();
    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
