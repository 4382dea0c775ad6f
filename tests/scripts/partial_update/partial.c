// Repaints only rectangles: after the whole page is shown in one colour, the
// page changes everywhere but only two rectangles of it are updated, so the
// window shows the old colour around them (partial.bmp). Repeated, so that
// an exposure of the window (which repaints everything) is put right.
#include "../../../games/demo/tob.h"

int r[4];

void set_rect(int l, int t, int rr, int b)
{
    r[0] = l; r[1] = t; r[2] = rr; r[3] = b;
}

int main()
{
    int i;
    for (i = 0; i < 60; i++) {
        set_rect(0, 0, 64, 48);
        gfill(0, r, 0x336699);
        update(0);
        gfill(0, r, 0xCC3300);
        set_rect(9, 5, 30, 20);
        update(r);
        // One at the bottom-right corner, reaching past it.
        set_rect(51, 41, 80, 60);
        update(r);
        sleep(200);
    }
    return 0;
}
