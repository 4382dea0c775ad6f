// The sample game: a background drawn from colour arithmetic, two small
// pictures moving over it with different blend modes, a pool of rippling
// water in one corner, a turning cube in another, and a fade to black, shown
// for a few seconds in an update loop.
#include "tob.h"

#define SCREEN_W 640
#define SCREEN_H 480
#define BACKGROUND 1
#define BALL 2
#define SHADE 3
#define POOL 0
#define POOL_PICTURE 4

int rect[4];
int blend[3];
float eye[3];
float cube_at[3];
float cube_turn[3];
float light[4];
int material[3];

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
    int info[6];
    int cube;

    log_out("Sample game: hello from the script.");
    draw_background();
    draw_ball();
    galloc(SHADE, SCREEN_W, SCREEN_H, 32);
    // the pool, lower right: the middle of the background seen through
    // water; its picture has the screen's depth, as effects need
    ginfo(0, info);
    galloc(POOL_PICTURE, 184, 152, info[2]);
    set_rect(228, 164, 412, 316);
    gcopy(POOL_PICTURE, 0, 0, BACKGROUND, rect, 0);
    set_rect(448, 320, 632, 472);
    ef_init(POOL, 0, rect, POOL_PICTURE, 0);
    // the cube, upper left, wearing the ball picture, lit from the left
    p3d_init(0, 400.0, 0.5, 0.0);
    cube = p3d_load("cube.mdl");
    material[0] = 0xFFFFFF;
    material[1] = p3d_tex(BALL);
    material[2] = 5;
    p3d_material(cube, 0, material);
    cube_at[0] = -4.4; cube_at[1] = 2.6; cube_at[2] = 10.0;
    light[0] = 1.0; light[1] = 0.9; light[2] = 0.8; light[3] = 0.0;
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
        // a drop every fifteenth frame, then one ripple step
        if (frames % 15 == 0) ef_blob(POOL, -1, -1, 16, 120);
        ef_water(POOL);
        p3d_clear();
        p3d_view(eye, eye);
        p3d_env(0.3, 0.3, 0.3);
        p3d_light(light, 0.8, 0.3, 0.0);
        cube_turn[0] = t * 0.0011;
        cube_turn[1] = t * 0.0017;
        p3d_setobj(cube, cube_at, cube_turn);
        p3d_render();
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
