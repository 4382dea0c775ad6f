// The sample game: a background drawn from colour arithmetic with a title in
// smooth text, two small pictures moving over it with different blend modes,
// and a fade to black, shown for a few seconds in an update loop.
#include "tob.h"

#define SCREEN_W 640
#define SCREEN_H 480
#define BACKGROUND 1
#define BALL 2
#define SHADE 3

int rect[4];
int blend[3];
int font[11];   // face (8 words), size, angle, style

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// mode, level and key colour of the next copy
void set_blend(int mode, int level, int key)
{
    blend[0] = mode | (level << 16);
    blend[1] = key;
    blend[2] = 0;
}

void draw_background()
{
    int y;
    galloc(BACKGROUND, SCREEN_W, SCREEN_H, 32);
    for (y = 0; y < SCREEN_H; y += 4) {
        set_rect(0, y, SCREEN_W, y + 4);
        // hue runs down the screen, full saturation, brightness falling
        gfill(BACKGROUND, rect, hsvtorgb(((y * 2048 / SCREEN_H) << 16) | (200 << 8) | (255 - y / 4)));
    }
    for (y = 0; y < SCREEN_W; y += 32)
        gline(BACKGROUND, y, 0, SCREEN_W - y, SCREEN_H, 0xFFFFFF);
}

// The title: slot 1 is the default face at 32 pixels, bold and smooth; white
// (index 255 of the screen colours) over a dark shadow (index 0).
void draw_title()
{
    font_get(0, font);
    font[8] = 32;
    font[10] = 1 | 16;
    font_set(1, font);
    font_use(1);
    // "Morvane" and the katakana for "sample game"
    gtext(BACKGROUND, 22, 18, 0, "Morvane \x83\x54\x83\x93\x83\x76\x83\x8B\x83\x51\x81\x5B\x83\x80");
    gtext(BACKGROUND, 20, 16, 255, "Morvane \x83\x54\x83\x93\x83\x76\x83\x8B\x83\x51\x81\x5B\x83\x80");
    font_use(0);
}

void draw_ball()
{
    int points[16];
    int i, a;
    galloc(BALL, 96, 96, 32);
    set_rect(0, 0, 96, 96);
    gfill(BALL, rect, 0x000000);
    // an octagon in two colours
    for (i = 0; i < 8; i++) {
        a = i * 256;
        points[i * 2] = 48 + (tcos(a) * 46 >> 16);
        points[i * 2 + 1] = 48 + (tsin(a) * 46 >> 16);
    }
    gpoly(BALL, points, 8, 0xFFD040);
    set_rect(28, 28, 68, 68);
    gfill(BALL, rect, 0x4080FF);
}

int main()
{
    int start, t, x, y, level, frames;

    log_out("Sample game: hello from the script.");
    draw_background();
    draw_title();
    draw_ball();
    galloc(SHADE, SCREEN_W, SCREEN_H, 32);
    setcount(0, 0);
    start = getcount(0);
    frames = 0;
    for (;;) {
        t = getcount(0) - start;
        if (t > 3000) break;
        gcopy(0, 0, 0, BACKGROUND, 0, 0);
        // three copies of the ball: key copy, half blend, additive
        x = 64 + (tsin(t / 2) * 200 >> 16) + 200;
        y = 120 + (tcos(t / 3) * 80 >> 16);
        set_blend(1, 0, 0x000000);
        gcopy(0, x, y, BALL, 0, blend);
        set_blend(3, 128, 0);
        gcopy(0, SCREEN_W - x - 96, y + 160, BALL, 0, blend);
        set_blend(13, 255, 0);
        gcopy(0, x / 2, 360 - y / 2, BALL, 0, blend);
        // the last second fades to black
        if (t > 2000) {
            level = (t - 2000) * 255 / 1000;
            if (level > 255) level = 255;
            set_blend(3, level, 0);
            gcopy(0, 0, 0, SHADE, 0, blend);
        }
        update(0);
        frames++;
        sleep(16);
    }
    log_out("Sample game: %d frames in 3 seconds.", frames);
    return 0;
}
