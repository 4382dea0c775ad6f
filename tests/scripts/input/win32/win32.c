// Input with the window-message devices (Input=0), driven by events.txt:
// virtual keys, typed characters, the mouse, joysticks, focus and the cursor.
#include "../checks.h"

int joy[3];
int rect[4];

int wait_point(int flags)
{
    int i;
    for (i = 0; i < 600; i++) {
        getpoint(rec);
        if ((rec[3] & flags) == flags) return 1;
        sleep(5);
    }
    return 0;
}

int wait_joy(int n, int x, int y)
{
    int i;
    for (i = 0; i < 600; i++) {
        if (getjoy(n, joy) == 1 && joy[0] == x && joy[1] == y) return 1;
        sleep(5);
    }
    return 0;
}

int wait_inactive()
{
    int i;
    for (i = 0; i < 600; i++) {
        keys[0] = 1;
        if (getkey(keys) == 0) return 1;
        sleep(5);
    }
    return 0;
}

int main()
{
    int i, c, wheel, t, n;

    key_init();
    getpoint(0);
    check(key_get() == 0, "key_get on an empty ring gives 0");

    check(wait_key('A', 1), "A goes down");
    check((keys['A'] & 1) == 1, "a press flips A's toggle bit");
    check((keys[16] & 0x80) && (keys[160] & 0x80) && !(keys[161] & 0x80),
          "Left Shift sets Shift and Left Shift, not Right Shift");
    // Both come up at the same moment, one event after the other.
    check(wait_key('A', 0) && wait_key(160, 0), "A comes up");
    check((keys['A'] & 1) == 1 && !(keys[16] & 0x80) && !(keys[160] & 0x80),
          "the toggle stays; Shift is up");

    check(next_char() == 'a', "typed text reaches the ring");
    check(next_char() == 13, "Enter types 13");
    check(next_char() == 8, "Backspace types 8");
    check(next_char() == 8, "a repeated Backspace types 8 again");
    check(next_char() == 3, "Ctrl+C types 3");
    check(next_char() == -125, "a CP932 lead byte 0x83 is sign-extended");
    check(next_char() == 0x41, "its trail byte follows");
    check(key_get() == 0, "then the ring is empty");

    check(wait_point(0x10000 | 0x1000000), "two left presses and a double click are seen");
    check(rec[0] == 100 && rec[1] == 50, "getpoint reads the pointer where it was clicked");
    wheel = rec[2];
    for (i = 0; i < 200 && wheel < 240; i++) {
        sleep(5);
        getpoint(rec);
        wheel += rec[2];
    }
    check(wheel == 240, "two wheel notches read as 240 in all");
    getpoint(rec);
    check(rec[2] == 0, "the wheel delta is read once");
    check(rec[3] == (0x10000 | 0x1000000), "the flags stay until the next snapshot");
    getpoint(0);
    getpoint(rec);
    check(rec[3] == 0, "a snapshot clears the flags");

    for (i = 0; i < 600; i++) {
        getmouse(rec);
        if (rec[3] == 2) break;
        sleep(5);
    }
    check(rec[3] == 2 && rec[0] == 0 && rec[1] == 0 && rec[2] == 0,
          "getmouse reports the right button held, with x, y and z 0");
    check(wait_point(0x20000), "the right press shows in getpoint");
    check(getmouse(0) == 0, "getmouse with no record gives 0");

    check(wait_joy(0, -1000, 1000), "a controller's stick at its ends reads -1000 and 1000");
    check(joy[2] == 1, "button A is bit 0");
    check(wait_joy(0, 0, -1000), "the d-pad drives a centred stick's axis");
    check(joy[2] == 0, "A was let go");
    joy[0] = 5; joy[1] = 5; joy[2] = 5;
    check(getjoy(1, joy) == 0 && joy[0] == 0 && joy[1] == 0 && joy[2] == 0,
          "getjoy at the count gives 0 and a zero record");
    check(wait_joy(1, 1000, 0), "a second, plain joystick takes slot 1");
    check(joy[2] == 8, "its button 3 is bit 3");
    for (i = 0; i < 600 && getjoy(0, joy) == 1; i++) sleep(5);
    check(getjoy(0, joy) == 0 && joy[0] == 0 && joy[2] == 0, "a detached controller's slot is empty");
    check(getjoy(1, joy) == 1, "the other slot stays");

    check(wait_key('Z', 1), "Z goes down");
    check(wait_inactive(), "getkey gives 0 while another application has the focus");
    check(all_zero(keys, 256), "and zeros the table");
    joy[0] = 7;
    check(getjoy(1, joy) == 0 && joy[0] == 0, "getjoy zeros its record while inactive");
    getpoint(rec);
    check(rec[0] == -1 && rec[1] == -1, "getpoint reads -1, -1 while inactive");
    check(wait_key('Z', 0), "with the focus back Z is up: it was let go while away");

    check(cur_set(2) == 0, "cur_set(2) gives 0");
    check(cur_set(0) == 1 && cur_set(1) == 1, "cur_set 0 and 1 give 1");
    check(cur_setpos(200, 150) == 1, "cur_setpos gives 1");
    getpoint(rec);
    check(rec[0] == 200 && rec[1] == 150, "getpoint reads where cur_setpos put the pointer");
    rect[0] = 10; rect[1] = 10; rect[2] = 100; rect[3] = 100;
    check(cur_clip(rect) == 1 && cur_clip(0) == 1, "cur_clip confines and releases");
    check(getkey(16) == 0 && getjoy(0, 16) == 0 && getmouse(16) == 0 && cur_clip(16) == 0,
          "bad record addresses give 0");

    // Round trips through the window thread.
    n = 2000;
    t = getcount(0);
    for (i = 0; i < n; i++) getkey(keys);
    log_out("getkey: %d ms for %d calls", getcount(0) - t, n);
    t = getcount(0);
    for (i = 0; i < n; i++) getjoy(1, joy);
    log_out("getjoy: %d ms for %d calls", getcount(0) - t, n);
    t = getcount(0);
    for (i = 0; i < n; i++) getmouse(rec);
    log_out("getmouse: %d ms for %d calls", getcount(0) - t, n);
    return finish();
}
