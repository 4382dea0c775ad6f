// Three message boxes in a real window, answered one after another by the
// test with the keyboard; the answers end up in the window's caption.
#include "../../../games/demo/tob.h"

int main()
{
    char buf[64];
    int a;
    int b;
    int c;

    a = mbox(4 | 0x100, "Box One", "Yes or no? (No is the default)");
    b = mbox(1 | 0x30, "Box Two", "OK or cancel?");
    c = mbox(2 | 0x100 | 0x40, "Box Three", "Abort, retry or ignore? (Retry is the default)");
    sprintf(buf, "answers %d %d %d", a, b, c);
    caption(buf);
    while (1) sleep(50);
    return 0;
}
