// The text built-ins seen from a script: results, font slots, the fonts of
// separate script threads, font_list, and what plain and smooth text leave
// in planes.
#include "../../games/demo/tob.h"

int passed;
int failed;
int font[11];   // face (8 words), size, angle, style
int worker_result;
int worker_done;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

void set_font(int slot, int size, int angle, int style)
{
    font_get(31, font);
    font[8] = size;
    font[9] = angle;
    font[10] = style;
    font_set(slot, font);
}

// Height of the opaque box "W" leaves at the top-left of a cleared plane
// (each thread has its own: their built-in calls interleave).
int drawn_height(int plane)
{
    int y;
    int r[4];
    r[0] = 0; r[1] = 0; r[2] = 64; r[3] = 64;
    gfill(plane, r, 0);
    gtext(plane, 0, 0, 255 | (255 << 8) | (1 << 30), "W");
    for (y = 0; y < 64; y++)
        if (getpixel(plane, 0, y) == 0) return y;
    return 64;
}

// A thread on slot 2 (size 30) while the main thread stays on slot 1.
void worker(int arg)
{
    font_use(2);
    sleep(20);
    worker_result = drawn_height(8);
    worker_done = 1;
}

int main()
{
    char face[32];
    char list[32 * 64];
    char *name;
    int n, i, t, ok;

    // slots start as the default face, 16 pixels, no style
    check(font_get(0, font) == 1, "font_get");
    strcpy(face, font);
    check(strcmp(face, "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E") == 0, "default face");
    check(font[8] == 16 && font[9] == 0 && font[10] == 0, "default size, angle, style");
    check(font_set(32, font) == 0 && font_get(32, font) == 0, "slot 32 does not exist");
    check(font_set(31, 0) == 0, "font_set with a null record");
    set_font(3, 40, 900, 5);
    font[8] = 0;
    font_get(3, font);
    check(font[8] == 40 && font[9] == 900 && font[10] == 5, "font_set and font_get agree");

    // results
    galloc(8, 64, 64, 32);
    galloc(9, 64, 64, 32);
    galloc(10, 32, 16, 4);
    check(gtext(500, 0, 0, 255, "x") == 0, "no plane");
    check(gtext(9, 0, 0, 255, 0) == 0, "null text");
    check(gtext(9, 0, 0, 255, "") == 1, "empty text");
    check(gtext(9, 1000, 1000, 255, "x") == 1, "plain text clipped away");
    check(gtextf(9, 0, 0, 255, "%d%s", 12, "ab") == 1, "gtextf");
    set_font(4, 16, 0, 16);
    font_use(4);
    check(gtext(9, 1000, 1000, 255, "x") == 0, "smooth text clipped away");
    check(gtext(10, 0, 0, 255, "x") == 1, "smooth text on 4 bits draws nothing");
    set_font(5, 5000, 0, 16);
    font_use(5);
    check(gtext(9, 0, 0, 255, "x") == 0, "a font too large to make");
    font_use(77);
    check(gtext(9, 0, 0, 255, "x") == 0, "no slot 77");

    // each thread draws in its own current font
    set_font(1, 12, 0, 0);
    set_font(2, 30, 0, 0);
    font_use(1);
    t = thd_begin(&worker, 0, 0, 0);
    check(t > 0, "thd_begin");
    check(drawn_height(9) == 12, "main thread draws at 12");
    while (!worker_done) sleep(5);
    check(worker_result == 30, "worker thread draws at 30");
    check(drawn_height(9) == 12, "main thread still at 12");

    // faces to choose from: the default face first, never a vertical one
    n = font_list(list, 64);
    check(n >= 1, "font_list finds faces");
    check(strcmp(list, "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E") == 0, "font_list begins with the default face");
    ok = 1;
    for (i = 0; i < n; i++) {
        name = list + i * 32;
        if (name[0] == '@' || strcmp(name, "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E") == 0) ok = 0;
    }
    check(ok, "no vertical or proportional faces");
    check(font_list(list, -1) == 0, "font_list with a negative count");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
