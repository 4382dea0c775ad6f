// A script that does not compile: the headless run ends with status 65.
#include "../../games/demo/tob.h"

int main()
{
    int x;
    x = 1 +;
    return x;
}
