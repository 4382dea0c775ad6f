// Script threads sharing memory without locks, as games do: two threads
// increment the same global, and one thread formats text into a buffer that
// another reads. The engine must stay clean under ThreadSanitizer; the counts
// themselves may lose increments.
#include "../../games/demo/tob.h"

int shared;
int done[3];
char text[32];

void increment(int n)
{
    int i;
    for (i = 0; i < 50000; i++) shared++;
    done[n] = 1;
}

void format(int n)
{
    int i;
    for (i = 0; i < 5000; i++) sprintf(text, "%d", i);
    done[n] = 1;
}

int main()
{
    int i, seen, digits;

    thd_begin(&increment, 0, 0, 0);
    thd_begin(&increment, 1, 0, 0);
    thd_begin(&format, 2, 0, 0);
    seen = 0;
    digits = 0;
    for (;;) {
        // Reads what the formatting thread writes.
        if (text[0] >= '0' && text[0] <= '9') digits++;
        seen = seen + text[1];
        for (i = 0; i < 100; i++) seen = seen + shared;
        if (done[0] && done[1] && done[2] && digits > 0) break;
    }
    log_out("shared %s, digits %s", shared > 0 ? "counted" : "zero", digits > 0 ? "seen" : "none");
    return 0;
}
