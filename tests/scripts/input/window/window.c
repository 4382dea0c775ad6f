// Input in a real window, typed and clicked by window_input.sh (xdotool under
// a virtual X server): text, Enter, a key held, a click, cur_setpos. The
// picture's colour tells the test how far the script got: blue ready, cyan
// typed, yellow held, then green when every check passed (red otherwise).
#include "../checks.h"

int screen[4];

void show(int colour)
{
    screen[0] = 0; screen[1] = 0; screen[2] = 320; screen[3] = 240;
    gfill(0, screen, colour);
    update(0);
}

int main()
{
    int i;

    key_init();
    getpoint(0);
    show(0x0000FF);
    check(next_char() == 'h' && next_char() == 'i', "typed text arrives");
    check(next_char() == 13, "Enter types 13");
    show(0x00FFFF);
    check(wait_key('X', 1), "X is held");
    show(0xFFFF00);
    check(wait_key('X', 0), "X is let go");
    for (i = 0; i < 1000; i++) {
        getpoint(rec);
        if (rec[3] & 0x10000) break;
        sleep(5);
    }
    check(rec[3] & 0x10000, "the click is seen");
    check(rec[0] == 100 && rec[1] == 50, "at the point clicked");
    check(cur_setpos(200, 120) == 1, "cur_setpos moves the cursor");
    getpoint(rec);
    check(rec[0] == 200 && rec[1] == 120, "getpoint reads where the cursor went");
    if (failed) show(0xFF0000);
    else show(0x00FF00);
    for (;;) sleep(100);
    return 0;
}
