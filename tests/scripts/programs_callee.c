// Called by programs.c: sees the caller's extern variables.
#include "../../games/demo/tob.h"

extern int shared_a;

int main()
{
    shared_a = shared_a * 10;
    return 77;
}
