// The warp effects, one 64 x 48 tile each after a few frames; the
// screenshot is compared with warp_scene.bmp.
#include "../../../games/demo/tob.h"

#define PIC 1

int rect[4];
int points[6];

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

void draw_picture(int p)
{
    int y;
    galloc(p, 64, 64, 32);
    for (y = 0; y < 64; y += 4) {
        set_rect(0, y, 64, y + 4);
        gfill(p, rect, hsvtorgb((y * 32 << 16) | (220 << 8) | 255));
    }
    set_rect(8, 8, 24, 40);
    gfill(p, rect, 0x000000);
    gline(p, 0, 0, 63, 63, 0xFFFFFF);
    points[0] = 40; points[1] = 6; points[2] = 60; points[3] = 50; points[4] = 28; points[5] = 50;
    gpoly(p, points, 3, 0x2040FF);
}

// Slot s draws into tile (c, r) from the whole picture.
void start(int s, int c, int r)
{
    set_rect(c * 64, r * 48, c * 64 + 64, r * 48 + 48);
    ef_init(s, 0, rect, PIC, 0);
}

int main()
{
    int f;
    srand(3);
    draw_picture(PIC);
    for (f = 0; f < 4; f++) {
        start(0, 0, 0);
        ef_rotate(0, 32, 32, 0x10000 + f * 0x2000, f * 60);
        start(1, 1, 0);
        ef_tunnel(1, 24, f * 16);
        start(2, 2, 0);
        ef_land(2, 600, 120, f * 40);
        start(3, 3, 0);
        ef_ball(3, 100, f * 50, 100);
        start(4, 0, 1);
        ef_whirl(4, 2 + f);
        start(5, 1, 1);
        ef_raster(5, f * 8, 32, 6);
        update(0);
    }
    start(6, 2, 1);
    ef_blob(6, 32, 24, 12, 200);
    for (f = 0; f < 5; f++) ef_water(6);
    start(7, 3, 1);
    ef_rotate(7, 32, 32, 0x8000, 1800);
    update(0);
    return 0;
}
