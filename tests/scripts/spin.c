// A tight loop that never calls a built-in: only a stop from outside ends it.
#include "../../games/demo/tob.h"

int main()
{
    int i;
    for (;;) i++;
    return 0;
}
