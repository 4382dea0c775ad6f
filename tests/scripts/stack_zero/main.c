// With StackSize=0 the program loads; its first push overruns the stack.
#include "../../../games/demo/tob.h"

int twice(int x) {
    return x * 2;
}

int main() {
    return twice(21);
}
