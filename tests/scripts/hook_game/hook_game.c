// A translated game as the hook library sees it: its data archive has a
// translated copy beside it, and its text holds a pair the code-page table
// maps to a Chinese character. Logs the message it loads and draws the pair,
// plain and smooth, for a screenshot.
#include "tob.h"

int font[11];
int rect[4];

void use_font(int slot, int size, int style)
{
    font_get(31, font);
    font[8] = size;
    font[10] = style;
    font_set(slot, font);
    font_use(slot);
}

int main()
{
    char *msg;
    msg = mload("data\\msg.txt", 0, 0);
    if (!msg) {
        log_out("mload failed");
        return 1;
    }
    log_out("msg: %s", msg);
    rect[0] = 0; rect[1] = 0; rect[2] = 160; rect[3] = 96;
    gfill(0, rect, 0x203048);
    use_font(1, 32, 0);
    gtext(0, 8, 8, 255 | (3 << 8) | (1 << 30), "\x88\x9F A");
    use_font(2, 32, 16);
    gtext(0, 8, 52, 255, "\x88\x9F\x88\x9F");
    return 0;
}
