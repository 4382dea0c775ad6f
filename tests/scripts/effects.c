// The image effect built-ins seen from a script: results of the filters and
// warp effects, checked through real calls and getpixel.
#include "../../games/demo/tob.h"

int passed;
int failed;
int rect[4];

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// A 32 x 32 picture of distinct colours in plane p.
void picture(int p, int depth)
{
    int x, y;
    galloc(p, 32, 32, depth);
    for (y = 0; y < 32; y++)
        for (x = 0; x < 32; x++) {
            set_rect(x, y, x + 1, y + 1);
            gfill(p, rect, (x * 8) << 16 | (y * 8) << 8 | ((x + y) * 4));
        }
}

int same(int a, int b)
{
    int x, y;
    for (y = 0; y < 32; y++)
        for (x = 0; x < 32; x++)
            if (getpixel(a, x, y) != getpixel(b, x, y)) return 0;
    return 1;
}

int mirrored(int a, int b)
{
    int x, y;
    for (y = 0; y < 32; y++)
        for (x = 0; x < 32; x++)
            if (getpixel(a, x, y) != getpixel(b, 31 - x, 31 - y)) return 0;
    return 1;
}

int main()
{
    int d;
    int depths[3];
    depths[0] = 16; depths[1] = 24; depths[2] = 32;
    for (d = 0; d < 3; d++) {
        picture(1, depths[d]);
        galloc(2, 32, 32, depths[d]);
        check(freemap(2, 0, 1, 0, -1) == 1 && same(1, 2), "freemap without corners copies");
        galloc(2, 32, 32, depths[d]);
        check(rotate(2, 0, 1, 0, 0, -1) == 1 && same(1, 2), "rotate by 0 copies");
        check(rotate(2, 0, 1, 0, 1024, -1) == 1 && mirrored(1, 2), "rotate by 1024 mirrors");
        galloc(2, 32, 32, depths[d]);
        check(ef_init(0, 2, 0, 1, 0) == 1, "ef_init");
        check(ef_rotate(0, 16, 16, 0x10000, 0) == 1 && same(1, 2), "ef_rotate at rest copies");
        galloc(2, 32, 32, depths[d]);
        check(ef_water(0) == 1 && same(1, 2), "still water copies");
        check(noise(1, 0, 0) == 1, "noise 0 does nothing");
    }
    galloc(3, 8, 8, 8);
    check(monotone(3, 0, 0, 0xFFFFFF) == 0, "monotone refuses 8 bits");
    check(noise(3, 0, 10) == 0, "noise refuses 8 bits");
    check(slice(3, 0, 0) == 1, "slice 0");

    // blur radius 1 of 0 0 255 0 0
    galloc(4, 5, 1, 32);
    galloc(5, 5, 1, 32);
    set_rect(2, 0, 3, 1);
    gfill(4, rect, 0xFFFFFF);
    check(blur(5, 0, 0, 4, 0, 1) == 1, "blur");
    check(getpixel(5, 0, 0) == 0 && getpixel(5, 1, 0) == 0x555555 && getpixel(5, 3, 0) == 0x555555 &&
              getpixel(5, 4, 0) == 0, "blur values");

    // the warps refuse slot 8, small areas and freed planes
    check(ef_init(8, 2, 0, 1, 0) == 0, "ef_init slot 8");
    check(ef_rotate(8, 0, 0, 0x10000, 0) == 0 && ef_water(8) == 0 && ef_free(8) == 0, "slot 8");
    set_rect(0, 0, 7, 7);
    check(ef_init(1, 2, rect, 1, 0) == 0, "ef_init under 8 x 8");
    check(ef_init(1, 2, 0, 1, 0) == 1, "ef_init again");
    gfree(1);
    check(ef_whirl(1, 3) == 0, "freed source");
    check(ef_free(1) == 1, "ef_free");
    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
