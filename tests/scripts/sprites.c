// Sprites and hit areas seen from a script: records written through their
// handles, frames drawn over a background plane, links, sorting, hit tests.
#include "../../games/demo/tob.h"

int passed;
int failed;
int rect[4];
int out[4];

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// a sprite's state byte
void show(char *sp, int on)
{
    sp[0] = on ? 2 : 1;
}

int main()
{
    int *a;
    int *b;
    int *c;
    int *d;
    int *h1;
    int *h2;
    int *first;
    char *bytes;
    int i;

    galloc(1, 640, 480, 24);
    set_rect(0, 0, 640, 480);
    gfill(1, rect, 0x102030);
    galloc(2, 32, 32, 32);
    set_rect(0, 0, 32, 32);
    gfill(2, rect, 0xFF0000);
    check(sp_setbg(1) >= 1024, "sp_setbg returns the previous (none)");
    check(sp_getbg() == 1, "sp_getbg");

    a = sp_set(0, 2, 100, 100, 2, 0, 0);
    check(getsystem("sp_count") == 1, "sp_count after one sp_set");
    check(a[13] == 0 && a[15] == 32 && a[16] == 32, "source rectangle is the whole plane");
    check(a[8] == 0x10000 && a[9] == 0x10000, "scales start at 1");
    check(sp_draw(-1, out), "sp_draw");
    check(out[0] == 0 && out[1] == 0 && out[2] == 640 && out[3] == 480,
          "first frame updates the whole background");
    check(getpixel(0, 110, 110) == 0xFF0000, "sprite drawn");
    check(getpixel(0, 90, 90) == 0x102030, "background restored");

    // moved: the old place is restored, the new one drawn
    a[4] = 200;
    sp_draw(-1, out);
    check(getpixel(0, 110, 110) == 0x102030, "old place erased");
    check(getpixel(0, 210, 110) == 0xFF0000, "new place drawn");
    check(out[0] == 100 && out[1] == 100 && out[2] == 232 && out[3] == 132, "update rectangle");

    // hidden through the state byte
    show(a, 0);
    sp_draw(-1, out);
    check(getpixel(0, 210, 110) == 0x102030, "hidden sprite erased");
    show(a, 1);

    // hot spot and scale through sp_rect
    a[6] = 16; a[7] = 16; a[8] = 0x20000; a[9] = 0x20000;
    sp_rect(a, out);
    check(out[0] == 168 && out[1] == 68 && out[2] == 232 && out[3] == 132, "sp_rect scaled");

    // children move with their parent
    b = sp_set(0, 2, 10, 0, 2, 0, 0);
    check(sp_link(a, b) == 1, "sp_link");
    check(b[28] == a, "child's parent field");
    check(a[29] == b, "parent's family next");
    check(sp_link(b, a) == 0, "sp_link refuses a cycle");

    // sorting by priority, stable
    sp_init(2);
    c = sp_set(1, 1, 0, 0, 2, 0, 0);
    d = sp_set(1, 1, 0, 0, 2, 0, 0);
    first = sp_set(1, 1, 0, 0, 2, 0, 0);
    c[2] = 5; d[2] = 1; first[2] = 5;
    sp_sort(2, 2);
    check(d[30] != 0 && d[31] == c && c[31] == first && first[31] == 0, "sp_sort stable by priority");

    // removal: freed by the next sp_draw of its list
    sp_reset(c);
    check(getsystem("sp_count") == 5, "removed sprite still counted before sp_draw");
    sp_draw(2, 0);
    check(getsystem("sp_count") == 4, "removed sprite freed by sp_draw");
    check(sp_reset(0) == 0, "sp_reset of null");

    // a failed sp_set returns the dummy, which takes writes harmlessly
    c = sp_set(40, 2, 0, 0, 2, 0, 0);
    check(c != 0, "sp_set with a bad list returns the dummy");
    c[4] = 12345;
    check(sp_reset(c) == 1 && sp_link(a, c) == 0, "dummy: sp_reset 1, sp_link 0");

    // hit areas
    set_rect(0, 0, 10, 10);
    h1 = hit_set(0, 1, 0, rect, 7);
    set_rect(10, 0, 20, 10);
    h2 = hit_set(1, 1, 0, rect, 8);
    check(h1 != 0 && h2 != 0, "hit_set");
    check(hit_check(h2) == 0, "shared edges do not hit");
    check(hit_point(9, 9, 3) == h1 && hit_point(10, 0, 3) == h2, "hit_point edges");
    check(hit_point(20, 0, 3) == 0, "right edge is outside");
    set_rect(5, 5, 15, 6);
    check(hit_rect(rect, 2) == h2 && hit_rect(rect, 3) == h1, "hit_rect group order");
    check(h1[7] == 7, "hit value");
    hit_reset(h1);
    check(h1[8] == 0, "a freed record has no previous");
    check(hit_point(5, 5, 1) == 0, "freed area not found");
    // attached to a shown sprite: follows it
    show(a, 1);
    a[0] = a[0] & 0xFFFFFF00 | 2;
    h1 = hit_set(2, 4, a, 0, 0);
    check(a[32] == h1, "sprite's hit list");
    check(hit_point(200 - 16 + 5, 100 - 16 + 5, 4) == h1, "attached area at its sprite");
    show(a, 0);
    check(hit_point(200 - 16 + 5, 100 - 16 + 5, 4) == 0, "hidden sprite's area not found");
    sp_reset(a);
    check(hit_point(200 - 16 + 5, 100 - 16 + 5, 4) == 0 && h1[8] == 0, "sp_reset frees its areas");

    sp_init(-1);
    check(getsystem("sp_count") == 0, "sp_init(-1) clears all");
    for (i = 0; i < 1024; i++)
        hit_set(0, 1, 0, 0, i);
    check(hit_set(0, 1, 0, 0, 0) == 0, "the 1025th hit_set fails");
    hit_init(-1);

    log_out("%d passed, %d failed", passed, failed);
    return 0;
}
