// The exit status of a headless run is the low 8 bits of main's result.
#include "../../games/demo/tob.h"

int main()
{
    log_out("returning 300");
    return 300;
}
