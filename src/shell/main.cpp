// The `engine` program: runs a game folder, a single script, or the sample game.
#include <cstdio>

int main() {
    std::puts("engine: nothing to run yet");
    return 0;
}
