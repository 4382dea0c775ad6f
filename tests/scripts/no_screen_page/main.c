// Never runs: no screen page can be made at this depth.
#include "../../../games/demo/tob.h"

int main() {
    log_out("started\n");
    return 0;
}
