// Native plug-ins seen from a script: the test plug-in (libtobtest.so next to
// this copy) loads as "tobtest.dll", its calls work, it reaches the window's
// plug-in query, and stale tokens, missing libraries and full tables fail.
#include "../../games/demo/tob.h"
#include "check.h"

int main()
{
    int lib;
    int f;
    int libs[256];
    int answer[7];
    int cell;
    int i;
    int n;

    lib = dll_load("tobtest.dll");
    check(lib >= 0, "dll_load");
    f = dll_proc(lib, "tob_constant");
    check(f != 0 && dll_call(f) == 4660, "a constant");
    check(dll_call(dll_proc(lib, "tob_all_ones")) == -1, "an all-ones result");
    f = dll_proc(lib, "tob_weighted");
    check(dll_call(f, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10) == 385, "ten arguments in order");
    check(dll_call(dll_proc(lib, "tob_weighted8"), 1, 2, 3, 4, 5, 6, 7, 8) == 204,
          "eight arguments in order");
    cell = 0;
    check(dll_call(dll_proc(lib, "tob_write"), &cell, 77) == 1 && cell == 77, "a write through pointer");
    f = dll_proc(lib, "tob_query");
    n = dll_call(f, answer);
    check(n == answer[0] && n != 0, "the query returns the stop word");
    check(answer[4] == 640 && answer[5] == 480 && answer[6] == 24, "Width, Height and Depth");
    f = dll_proc(lib, "tob_constant");
    check(dll_unload(lib) == 1, "dll_unload");
    check(dll_call(f) == 0, "a stale token gives 0");

    lib = dll_load("missing.dll");
    check(lib == -1, "a missing library");
    n = 0;
    for (i = 0; i < 256; i++) {
        libs[i] = dll_load("tobtest.dll");
        if (libs[i] >= 0) n++;
    }
    check(n == 256, "256 slots, none taken by the failed load");
    check(dll_load("tobtest.dll") == -1, "the 257th load");
    for (i = 0; i < 256; i++) dll_unload(libs[i]);

    log_out("%d passed, %d failed", passed, failed);
    return 0;
}
