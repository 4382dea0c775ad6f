// Sets a Japanese window caption (the katakana "te su to", in CP932) and
// stays up until the engine's time-out.
#include "../../../games/demo/tob.h"

int main()
{
    caption("\131\101\131X\131\103 caption");
    while (1) sleep(50);
    return 0;
}
