// Recursive Fibonacci.
#include "../../games/demo/tob.h"

int fib(int n)
{
    if (n < 2) return n;
    return fib(n - 1) + fib(n - 2);
}

int main()
{
    log_out("%d", fib(32));
    return 0;
}
