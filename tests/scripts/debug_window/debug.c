// Fills the debug output window: numbered lines, one wider than the window,
// a clear, and what log_out and log_clear returned; then waits to be looked at.
#include "../../../games/demo/tob.h"

int main()
{
    int i, cleared, written;
    log_out("this line is cleared away");
    cleared = log_clear();
    for (i = 1; i <= 30; i++) {
        if (i == 12)
            written = log_out("line %d: a long line that runs well past the right edge of the list, so the list scrolls sideways", i);
        else
            log_out("line %d", i);
    }
    log_out("log_clear gave %d, log_out gave %d", cleared, written);
    log_out("ƒƒOo—Í");
    while (1)
        sleep(100);
    return 0;
}
