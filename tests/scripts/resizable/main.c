// A resizable window that waits to be looked at.
#include "../../../games/demo/tob.h"

int main() {
    sleep(10000);
    return 0;
}
