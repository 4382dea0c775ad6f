// Sprites after several frames of movement over a background plane: scaled,
// turned, mirrored, alpha-blended and child sprites; the final view page is
// compared with sprite_scene.bmp.
#include "../../../games/demo/tob.h"

int rect[4];
int blend[3];

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// An arrow picture with alpha falling off to the right, so that turns and
// mirrors show.
void make_arrow(int plane)
{
    int x, y, a;
    char *bits;
    int info[8];
    galloc(plane, 24, 16, 32);
    ginfo(plane, info);
    for (y = 0; y < 16; y++)
        for (x = 0; x < 24; x++) {
            bits = info[3] + y * info[4] + x * 4;
            a = 255 - x * 8;
            bits[0] = x * 10; bits[1] = 255 - y * 12; bits[2] = (y < 8 - x / 3 || y > 7 + x / 3) ? 40 : 255;
            bits[3] = a;
        }
}

int main()
{
    int *turned;
    int *scaled;
    int *mirrored;
    int *alpha;
    int *child;
    int *moon;
    int frame, y;

    galloc(1, 160, 120, 32);
    for (y = 0; y < 120; y += 8) {
        set_rect(0, y, 160, y + 8);
        gfill(1, rect, hsvtorgb(((y * 16) << 16) | (120 << 8) | 160));
    }
    make_arrow(2);
    sp_setbg(1);

    blend[0] = 7 | (255 << 16); blend[1] = 0; blend[2] = 0;
    turned = sp_set(0, 2, 40, 30, 2, 0, blend);
    turned[6] = 12; turned[7] = 8;
    scaled = sp_set(0, 2, 120, 30, 2, 0, 0);
    scaled[6] = 12; scaled[7] = 8;
    scaled[8] = 0x20000; scaled[9] = 0x18000;
    mirrored = sp_set(1, 2, 40, 90, 2, 0, 0);
    mirrored[1] = mirrored[1] | 0x0101;  // mirror x and y
    blend[0] = 3 | (128 << 16);
    alpha = sp_set(1, 2, 100, 80, 2, 0, blend);
    child = sp_set(1, 2, 20, 0, 2, 0, 0);
    child[6] = 12; child[7] = 8;
    sp_link(turned, child);
    moon = sp_set(1, 2, 0, 16, 2, 0, 0);
    moon[8] = 0x8000; moon[9] = 0x8000;
    sp_link(child, moon);

    for (frame = 0; frame < 12; frame++) {
        turned[12] = frame * 70;                     // angle
        turned[4] = 40 + frame * 3;
        scaled[5] = 30 + frame;
        alpha[4] = 100 - frame * 2;
        mirrored[12] = frame & 1 ? 0 : 512;
        moon[12] = frame * 100;
        sp_draw(-1, rect);
        update(rect);
    }
    return 0;
}
