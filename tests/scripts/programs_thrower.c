// Called by programs.c: calls itself again while `throw_levels` says so, then
// leaves every called program at once with longjmp.
#include "../../games/demo/tob.h"

// The extern area is laid out in declaration order: the same list as programs.c.
extern int shared_a;
extern int shared_b;
extern int throw_buffer[16];
extern int throw_levels;
extern int throw_value;

int main()
{
    throw_levels--;
    if (throw_levels > 0) call("programs_thrower.c");
    longjmp(throw_buffer, throw_value);
    return -1;
}
