// One picture through every filter, a 64 x 48 tile each; the screenshot is
// compared with effects_scene.bmp. The random filters run after srand(7).
#include "../../../games/demo/tob.h"

#define PIC 1
#define TMP 2

int rect[4];
int srect[4];
int quad[8];
int points[6];

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

void set_srect(int l, int t, int r, int b)
{
    srect[0] = l; srect[1] = t; srect[2] = r; srect[3] = b;
}

void draw_picture(int p)
{
    int y;
    galloc(p, 64, 48, 32);
    for (y = 0; y < 48; y += 4) {
        set_rect(0, y, 64, y + 4);
        gfill(p, rect, hsvtorgb((y * 40 << 16) | (220 << 8) | 255));
    }
    set_rect(8, 8, 24, 40);
    gfill(p, rect, 0x000000);
    gline(p, 0, 0, 63, 47, 0xFFFFFF);
    points[0] = 40; points[1] = 6; points[2] = 60; points[3] = 40; points[4] = 28; points[5] = 40;
    gpoly(p, points, 3, 0x2040FF);
}

// Copies the picture into a tile at column c, row r of the screen.
void place(int c, int r)
{
    gcopy(0, c * 64, r * 48, PIC, 0, 0);
}

void tile(int c, int r)
{
    set_rect(c * 64, r * 48, c * 64 + 64, r * 48 + 48);
}

int main()
{
    int i;
    srand(7);
    draw_picture(PIC);

    // row 0: copy, smooth enlargement, rotate, tiled
    place(0, 0);
    tile(1, 0);
    set_srect(16, 12, 48, 36);
    smooth(0, rect, PIC, srect, -1);
    set_rect(128, 0, 191, 47);
    rotate(0, rect, PIC, 0, 300, -1);
    tile(3, 0);
    tiled(0, rect, PIC, 0, 200, 0x18000);

    // row 1: freemap onto a trapezoid, mosaic, gradation, blur
    quad[0] = 8; quad[1] = 50; quad[2] = 0; quad[3] = 95; quad[4] = 63; quad[5] = 95; quad[6] = 56; quad[7] = 50;
    freemap(0, quad, PIC, 0, -1);
    mosaic(0, 64, 48, PIC, 0, 8, 6);
    gradation(0, 128, 48, PIC, 0);
    blur(0, 192, 48, PIC, 0, 3);

    // row 2: two-way blur, monotone, scroll, noise
    blur(0, 0, 96, PIC, 0, -4);
    place(1, 2);
    tile(1, 2);
    monotone(0, rect, 0x102060, 0xFFF0C0);
    place(2, 2);
    tile(2, 2);
    scroll(0, rect, 20, -10);
    place(3, 2);
    tile(3, 2);
    noise(0, rect, 90);

    // row 3: slice, fire, smooth with a key, rotate with a key
    place(0, 3);
    tile(0, 3);
    slice(0, rect, 60);
    place(1, 3);
    tile(1, 3);
    for (i = 0; i < 8; i++) fire(0, rect);
    place(2, 3);
    tile(2, 3);
    smooth(0, rect, PIC, 0, 0x000000);
    place(3, 3);
    set_rect(200, 150, 247, 185);
    rotate(0, rect, PIC, 0, 1024, 0x000000);
    update(0);
    return 0;
}
