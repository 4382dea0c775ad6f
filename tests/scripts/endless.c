// Runs until the time-out stops it.
#include "../../games/demo/tob.h"

int main()
{
    for (;;) sleep(10);
    return 0;
}
