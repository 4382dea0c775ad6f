// A division by zero in a second thread stops every thread.
#include "../../games/demo/tob.h"

int zero;

void divide(int n)
{
    log_out("dividing %d", n);
    n = n / zero;
    log_out("not reached");
}

int main()
{
    thd_begin(&divide, 7, 0, 0);
    for (;;) sleep(1);
    return 0;
}
