// `exit` closes the application at once.
#include "../../games/demo/tob.h"

int main()
{
    log_out("before exit");
    exit();
    log_out("after exit");
    return 5;
}
