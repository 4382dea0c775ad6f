// Busy script threads: two threads in tight loops both make progress, a
// suspended one stops, threads that call built-ins all the time share the
// trap lock, and ending a thread in a tight loop takes effect at once.
#include "../../games/demo/tob.h"

int passed;
int failed;
int count_a;
int count_b;
int calls;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

void spin_a(int arg)
{
    for (;;) count_a++;
}

void spin_b(int arg)
{
    for (;;) count_b++;
}

// rand takes the trap lock (strlen, a pure built-in, runs without it).
void call_built_ins(int arg)
{
    for (;;) calls = calls + (rand() >= 0);
}

// Milliseconds that thd_end(t) takes.
int time_end(int t)
{
    int start;
    start = getcount(1);
    if (thd_end(t) != 1) return 100000;
    return getcount(1) - start;
}

int main()
{
    int a, b, c, i, n, before_a, before_b, took;

    setcount(1, 0);
    a = thd_begin(&spin_a, 0, 0, 0);
    b = thd_begin(&spin_b, 0, 0, 0);
    check(a > 0 && b > 0, "two threads start");
    for (i = 0; i < 300 && (count_a == 0 || count_b == 0); i++) sleep(10);
    before_a = count_a;
    before_b = count_b;
    sleep(100);
    check(count_a > before_a && count_b > before_b, "two busy threads both make progress");

    thd_suspend(b);
    sleep(20);
    before_b = count_b;
    sleep(50);
    check(count_b == before_b, "a suspended thread in a tight loop stops");
    thd_resume(b);
    sleep(50);
    check(count_b > before_b, "resumed, it runs again");

    took = time_end(a);
    check(took < 100, "ending a thread in a tight loop takes effect at once");
    if (took >= 100) log_out("thd_end took %d ms", took);
    before_a = count_a;
    sleep(30);
    check(count_a == before_a, "an ended thread runs no more");
    thd_end(b);

    // Two threads calling built-ins all the time: this one still gets the
    // trap lock.
    c = thd_begin(&call_built_ins, 0, 0, 0);
    for (i = 0; i < 300 && calls == 0; i++) sleep(10);
    n = 0;
    for (i = 0; i < 20000; i++) n = n + (rand() >= 0) + strlen("abc");
    check(n == 80000, "built-in calls go on beside another thread's");
    check(calls > 0, "the other thread's built-in calls go on too");
    took = time_end(c);
    check(took < 100, "ending a thread that calls built-ins takes effect at once");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
