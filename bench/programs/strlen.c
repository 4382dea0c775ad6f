// A cheap built-in in the inner loop: strlen of a 12-byte string.
#include "../../games/demo/tob.h"

char text[16];

int main()
{
    int i, n;
    strcpy(text, "hello, world");
    n = 0;
    for (i = 0; i < 2000000; i++) n = n + strlen(text);
    log_out("%d", n);
    return 0;
}
