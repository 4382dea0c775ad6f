// Prints the first draws of the scripts' generator without calling srand:
// start-up seeds it, so two runs differ unless --seed fixes the seed.
#include "../../games/demo/tob.h"

int main() {
    log_out("draws: %d %d %d\n", rand(), rand(), rand());
    return 0;
}
