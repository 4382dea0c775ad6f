// A small fixed picture drawn with fills, lines, a polygon and copies in
// several blend modes; its screenshot is compared with scene.bmp.
#include "../../../games/demo/tob.h"

int rect[4];
int blend[3];
int points[6];

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

int main()
{
    int y;
    for (y = 0; y < 48; y += 6) {
        set_rect(0, y, 64, y + 6);
        gfill(0, rect, hsvtorgb((y * 40 << 16) | (255 << 8) | 255));
    }
    gline(0, 0, 0, 63, 47, 0xFFFFFF);
    galloc(1, 16, 16, 32);
    set_rect(0, 0, 16, 16);
    gfill(1, rect, 0x000000);
    points[0] = 8; points[1] = 0; points[2] = 15; points[3] = 15; points[4] = 0; points[5] = 15;
    gpoly(1, points, 3, 0xFFFF00);
    blend[0] = 1; blend[1] = 0;
    gcopy(0, 4, 4, 1, 0, blend);
    blend[0] = 3 | (128 << 16);
    gcopy(0, 24, 4, 1, 0, blend);
    blend[0] = 13 | (255 << 16);
    gcopy(0, 44, 24, 1, 0, blend);
    update(0);
    return 0;
}
