// Input with the direct devices (Input=1), driven by events.txt: DirectInput
// key codes, the relative mouse, a plain joystick, and focus.
#include "../checks.h"

int joy[3];

int main()
{
    int i, x, y, z, b;

    key_init();
    getmouse(rec);
    check(wait_key(0x1E, 1), "A is DirectInput code 0x1E");
    check(keys[0x1E] == -128 || keys[0x1E] == 128, "a key down reads 0x80, without toggles");
    check((keys[0x9D] & 0x80) && (keys[0xC8] & 0x80) && (keys[0x9C] & 0x80),
          "Right Ctrl 0x9D, Up 0xC8 and keypad Enter 0x9C are the E0 codes");
    check((keys[0x3A] & 0x80) && !(keys[0x1D] & 0x80) && !(keys['A'] & 0x80),
          "Caps Lock 0x3A is down; Left Ctrl and the virtual key of A are not");
    check(wait_key(0x1E, 0), "A comes up");
    check(all_zero(keys, 256), "every key is up again, Caps Lock without a toggle");
    check(key_get() == 10, "Ctrl with keypad Enter typed a line feed");
    key_init();
    check(key_get() == 0, "key_init empties the ring");

    check(next_char() == 13 && next_char() == 8 && next_char() == 27 && next_char() == 9,
          "Enter, Backspace, Escape and Tab type 13, 8, 27, 9");

    x = 0; y = 0; z = 0; b = 0;
    for (i = 0; i < 600 && !(x == 130 && y == 40 && z == -120 && (b & 8)); i++) {
        sleep(5);
        if (getmouse(rec) != 1) break;
        x += rec[0]; y += rec[1]; z += rec[2]; b = rec[3];
    }
    check(x == 130 && y == 40, "getmouse adds up to the pointer's motion");
    check(z == -120, "a wheel notch towards the player is -120");
    check(b == 8, "the first extra button is bit 3");
    getmouse(rec);
    check(rec[0] == 0 && rec[1] == 0 && rec[2] == 0, "the motion is read once");

    for (i = 0; i < 600; i++) {
        if (getjoy(0, joy) == 1 && joy[0] == -1000) break;
        sleep(5);
    }
    check(joy[0] == -1000 && joy[1] == 0, "a plain joystick: axis 0 at its end, axis 1 centred");
    check(joy[2] == 128, "its button 7 is bit 7; the hat changes nothing");
    check(getjoy(1, joy) == 0 && getjoy(-1, joy) == 0, "only one joystick is attached");

    check(wait_key(0x39, 1), "Space (0x39) goes down");
    for (i = 0; i < 600 && getkey(keys) == 1; i++) sleep(5);
    check(getkey(keys) == 0 && all_zero(keys, 256), "inactive: getkey gives 0 and zeros");
    check(getmouse(rec) == 0 && rec[3] == 0, "inactive: getmouse gives 0 and zeros");
    check(wait_key(0x39, 0), "after the focus comes back Space is up");
    return finish();
}
