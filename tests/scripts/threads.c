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

int main()
{
    int t, n, before, start, slept;

    t = thd_begin(&worker, 11, 1, 10);
    check(t > 0 && t < 32, "thd_begin gives a thread number");
    sleep(30);
    check(ticks == 0 && seen_arg == 0, "a thread started suspended runs nothing");
    check(thd_resume(t) == 0, "resuming a count of 1 gives 0");
    check(thd_resume(t) == 0, "resuming below 1 gives 0");
    sleep(30);
    check(seen_arg == 11 && ticks > 0, "the resumed thread runs with its argument");

    check(thd_suspend(t) == 1, "suspend counts up");
    check(thd_suspend(t) == 2, "suspend counts up again");
    check(thd_resume(t) == 1, "one resume leaves it suspended");
    sleep(20);
    before = ticks;
    sleep(40);
    check(ticks == before, "a suspended thread does not run");
    thd_resume(t);
    sleep(30);
    check(ticks > before, "it runs again after the last resume");

    check(thd_end(t) == 1, "thd_end ends a running thread");
    check(thd_end(t) == 0, "the slot is free afterwards");
    check(thd_suspend(32) == -1 && thd_resume(-1) == -1 && thd_end(99) == 0, "bad numbers fail");

    n = thd_begin(&quick, 5, 0, 0);
    sleep(20);
    check(seen_arg == 5, "a thread that returns ends by itself");

    setcount(1, 0);
    start = getcount(1);
    sleep(100);
    slept = getcount(1) - start;
    check(slept >= 95 && slept < 400, "sleep waits about as long as asked");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
