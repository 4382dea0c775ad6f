// Program switching: `call` runs another program to completion on the same
// thread and hands back its result; programs share `extern` variables; setjmp
// and longjmp; `jump` replaces the running program.
#include "../../games/demo/tob.h"

extern int shared_a;
extern int shared_b;
extern int throw_buffer[16];
extern int throw_levels;
extern int throw_value;
int passed;
int failed;
int buffer[16];
int depth;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

void dive(int n)
{
    depth = n;
    if (n == 3) longjmp(buffer, 42);
    dive(n + 1);
}

// setjmp here, longjmp from a program `levels` calls deep.
int throw_across_calls(int levels, int value)
{
    int r;
    throw_levels = levels;
    throw_value = value;
    r = setjmp(throw_buffer);
    if (r == 0) {
        call("programs_thrower.c");
        return -1;
    }
    return r;
}

int main()
{
    int r;
    shared_a = 5;
    shared_b = 6;
    r = call("programs_callee.c");
    check(r == 77, "call returns the called program's result");
    check(shared_a == 50 && shared_b == 6, "extern variables are shared");
    check(call("no_such_program.c") == 0, "a program that cannot load gives 0");

    r = setjmp(buffer);
    if (r == 0) {
        dive(0);
        check(0, "longjmp returns to setjmp");
    }
    check(r == 42 && depth == 3, "longjmp brings its value to setjmp");
    check(throw_across_calls(1, 9) == 9, "longjmp out of a called program brings its value");
    check(throw_across_calls(2, 12) == 12, "longjmp out of two called programs brings its value");
    check(throw_across_calls(1, 0) == 1, "longjmp across call with 0 brings 1");

    log_out("%d passed, %d failed", passed, failed);
    if (failed == 0) jump("programs_jumped.c");
    return failed;
}
