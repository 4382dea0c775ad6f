// A counting loop with a modulo and a branch.
#include "../../games/demo/tob.h"

int main()
{
    int i, s;
    s = 0;
    for (i = 0; i < 30000000; i++) {
        if (i % 3 == 0)
            s = s + i;
        else
            s = s - 1;
    }
    log_out("%d", s);
    return 0;
}
