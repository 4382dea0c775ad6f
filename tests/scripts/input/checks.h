// Shared by the input script tests: counting checks and waiting, with a time
// limit, for what the recorded events (the game folder's events.txt) do.
#include "../../../../games/demo/tob.h"

int passed;
int failed;
char keys[256];
int rec[4];

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

// getkey until key `code` is down (or up); gives up after about 3 seconds.
int wait_key(int code, int down)
{
    int i;
    for (i = 0; i < 600; i++) {
        if (getkey(keys) == 1 && ((keys[code] & 0x80) != 0) == down) return 1;
        sleep(5);
    }
    return 0;
}

// The next typed character, waiting for one to arrive.
int next_char()
{
    int i, c;
    for (i = 0; i < 600; i++) {
        c = key_get();
        if (c != 0) return c;
        sleep(5);
    }
    return 0;
}

int all_zero(char *p, int n)
{
    int i;
    for (i = 0; i < n; i++) if (p[i] != 0) return 0;
    return 1;
}

int finish()
{
    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
