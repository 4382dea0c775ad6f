// A script that does nothing for a long time: the engine must use no processor
// time meanwhile.
#include "../../games/demo/tob.h"

int main()
{
    sleep(10000);
    return 0;
}
