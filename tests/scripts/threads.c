// Script threads: starting suspended, resuming, suspend counts, sleeping,
// ending another thread, and the end of the main program.
#include "../../games/demo/tob.h"

int passed;
int failed;
int ticks;
int seen_arg;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

void worker(int arg)
{
    seen_arg = arg;
    for (;;) {
        ticks++;
        sleep(1);
    }
}

void quick(int arg)
{
    seen_arg = arg;
}

// Waits (up to about two seconds) until *p equals value; a loaded machine may
// take a while to run the other thread.
int wait_until(int *p, int value)
{
    int i;
    for (i = 0; i < 200; i++) {
        if (*p == value) return 1;
        sleep(10);
    }
    return 0;
}

// Waits until the worker has stopped counting: the same count for 100 ms.
int wait_still()
{
    int i, before;
    for (i = 0; i < 40; i++) {
        before = ticks;
        sleep(100);
        if (ticks == before) return 1;
    }
    return 0;
}

int main()
{
    int t, n, before, start, slept;

    t = thd_begin(&worker, 11, 1, 10);
    check(t > 0 && t < 32, "thd_begin gives a thread number");
    sleep(30);
    check(ticks == 0 && seen_arg == 0, "a thread started suspended runs nothing");
    check(thd_resume(t) == 0, "resuming a count of 1 gives 0");
    check(thd_resume(t) == 0, "resuming below 1 gives 0");
    check(wait_until(&seen_arg, 11), "the resumed thread runs with its argument");
    for (n = 0; n < 200 && ticks == 0; n++) sleep(10);
    check(ticks > 0, "the resumed thread keeps running");

    check(thd_suspend(t) == 1, "suspend counts up");
    check(thd_suspend(t) == 2, "suspend counts up again");
    check(thd_resume(t) == 1, "one resume leaves it suspended");
    check(wait_still(), "a suspended thread does not run");
    before = ticks;
    thd_resume(t);
    for (n = 0; n < 200 && ticks == before; n++) sleep(10);
    check(ticks > before, "it runs again after the last resume");

    check(thd_end(t) == 1, "thd_end ends a running thread");
    check(thd_end(t) == 0, "the slot is free afterwards");
    check(thd_suspend(32) == -1 && thd_resume(-1) == -1 && thd_end(99) == 0, "bad numbers fail");

    n = thd_begin(&quick, 5, 0, 0);
    check(wait_until(&seen_arg, 5), "a thread that returns ends by itself");

    setcount(1, 0);
    start = getcount(1);
    sleep(100);
    slept = getcount(1) - start;
    check(slept >= 95 && slept < 2000, "sleep waits at least as long as asked");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
