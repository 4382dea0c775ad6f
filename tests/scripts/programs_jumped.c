// Reached by `jump` from programs.c; its result ends the run.
#include "../../games/demo/tob.h"

extern int shared_a;
extern int shared_b;

int main()
{
    log_out("jumped: %d %d", shared_a, shared_b);
    return shared_b;
}
