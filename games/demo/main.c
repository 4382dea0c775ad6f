// The sample game. It grows as the engine does: for now it greets, counts a
// little, and ends.
#include "tob.h"

int fib(int n)
{
    if (n < 2) return n;
    return fib(n - 1) + fib(n - 2);
}

int main()
{
    int i;
    log_out("Sample game: hello from the script.");
    for (i = 0; i < 5; i++)
        log_out("fib(%d) = %d", i * 5, fib(i * 5));
    return 0;
}
