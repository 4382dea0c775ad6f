// The sample game: a background drawn from colour arithmetic with a title in
// smooth text, pictures moving over it as sprites with different blend modes,
// a small moon circling a turning sun, a sweeping point and the pointer
// tested against the sun's hit area, a pool of rippling water, a turning
// textured cube, and a fade to black, shown for a few seconds. Each frame
// redraws only what changed. A click leaves a mark where it was; a typed key
// turns the pictures around. A streamed tune loops under it, a blip follows
// the ball from side to side, and both fade with the picture. Last, a short
// clip of our own (movie/intro.mpg) plays in the middle of the screen.
#include "tob.h"

#define SCREEN_W 640
#define SCREEN_H 480
#define BACKGROUND 1
#define BALL 2
#define SHADE 3
#define MARK 4
#define POOL_PICTURE 5
#define POOL_PLANE 6
#define CUBE_PLANE 7
#define POOL 0
#define MUSIC 0
#define BLIP 1

int rect[4];
int blend[3];
int info[8];
int point[4];
float eye[3];
float cube_at[3];
float cube_turn[3];
float light[4];
int material[3];
int font[11];   // face (8 words), size, angle, style

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// mode, level and key colour of the next sprite or copy
void set_blend(int mode, int level, int key)
{
    blend[0] = mode | (level << 16);
    blend[1] = key;
    blend[2] = 0;
}

void draw_background()
{
    int y;
    // the same depth as the screen page, so the sprites' background copies it quickly
    ginfo(0, info);
    galloc(BACKGROUND, SCREEN_W, SCREEN_H, info[2]);
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

// A sprite's fields, as ints: x, y, hot spot, scales, angle (the low half of word 12).
#define SP_X 4
#define SP_Y 5
#define SP_HOTX 6
#define SP_HOTY 7
#define SP_SCALEX 8
#define SP_SCALEY 9
#define SP_ANGLE 12

int *ball_sprite(int list, int mode, int level)
{
    int *sp;
    set_blend(mode, level, 0x000000);
    sp = sp_set(list, 2, 0, 0, BALL, 0, blend);
    sp[SP_HOTX] = 48;
    sp[SP_HOTY] = 48;
    return sp;
}

// The length of the closing fade in milliseconds, read from a stage direction
// such as "@FADE 1000 ms" with a regular expression (2 pairs: the whole match
// and the digits); 1000 when the direction does not say (or says nonsense).
int fade_time(char *direction)
{
    void *nfa;
    int res;
    int *pairs;
    char *digits;
    int ms;
    ms = 1000;
    nfa = nfa_compile("^@fade +(\\d+)");
    if (rex_match(nfa, direction, &res, 1) == 2) {
        pairs = res;
        digits = pairs[2];
        ms = atoi(digits);
        if (ms < 1 || ms > 3000) ms = 1000;
        rex_free(res);
    }
    nfa_free(nfa);
    return ms;
}

// the mark a click leaves: a red square in a white frame
void draw_mark()
{
    galloc(MARK, 24, 24, 32);
    set_rect(0, 0, 24, 24);
    gfill(MARK, rect, 0xFFFFFF);
    set_rect(4, 4, 20, 20);
    gfill(MARK, rect, 0xE02040);
}

// The pool: the middle of the background seen through water, drawn by a
// warp effect into a plane that a sprite shows (sprites redraw every frame,
// so the ripples show).
void start_pool()
{
    galloc(POOL_PICTURE, 184, 152, info[2]);
    galloc(POOL_PLANE, 184, 152, info[2]);
    set_rect(228, 164, 412, 316);
    gcopy(POOL_PICTURE, 0, 0, BACKGROUND, rect, 0);
    ef_init(POOL, POOL_PLANE, 0, POOL_PICTURE, 0);
    set_blend(0, 0, 0);
    sp_set(0, 2, 448, 40, POOL_PLANE, 0, blend);
}

// The cube wears the ball picture, lit from the left; it is rendered into
// its own plane, shown by a sprite that keys out the black around it.
int start_cube()
{
    int cube;
    galloc(CUBE_PLANE, 160, 160, 32);
    p3d_init(CUBE_PLANE, 260.0, 0.5, 0.0);
    cube = p3d_load("cube.mdl");
    material[0] = 0xFFFFFF;
    material[1] = p3d_tex(BALL);
    material[2] = 5;
    p3d_material(cube, 0, material);
    cube_at[2] = 6.0;
    light[0] = 1.0; light[1] = 0.9; light[2] = 0.8; light[3] = 0.0;
    set_blend(1, 0, 0x000000);
    sp_set(0, 2, 24, 24, CUBE_PLANE, 0, blend);
    return cube;
}

void draw_cube(int cube, int t)
{
    set_rect(0, 0, 160, 160);
    gfill(CUBE_PLANE, rect, 0x000000);
    p3d_clear();
    p3d_view(eye, eye);
    p3d_env(0.3, 0.3, 0.3);
    p3d_light(light, 0.8, 0.3, 0.0);
    cube_turn[0] = t * 0.0011;
    cube_turn[1] = t * 0.0017;
    p3d_setobj(cube, cube_at, cube_turn);
    p3d_render();
}

// The clip plays over the faded picture, in the middle of the screen at
// its own size, with its sound; the script waits for its end.
void play_clip()
{
    int waited;
    if (!media_open("movie\\intro.mpg")) return;
    set_rect(160, 120, 480, 360);
    media_size(rect);
    media_play();
    for (waited = 0; media_isplay() && waited < 5000; waited += 20) sleep(20);
    if (!media_isplay()) log_out("Sample game: a clip of ours played to its end.");
    media_close();
}

int main()
{
    int start, t, x, y, level, frames, crossed, fade;
    int *keyed;
    int *half;
    int *bright;
    int *sun;
    int *moon;
    int *shade;
    int *sun_area;
    int mouse[4];
    int update_rect[4];
    int *mark;
    int turn, c, beat;
    int cube;

    log_out("Sample game: hello from the script.");
    // input counts from here: a click or key during the set-up is kept
    key_init();
    getpoint(0);
    fade = fade_time("@FADE 1000 ms");
    log_out("Sample game: the last %d ms fade to black.", fade);
    draw_background();
    draw_title();
    draw_ball();
    draw_mark();
    galloc(SHADE, SCREEN_W, SCREEN_H, 32);
    sp_setbg(BACKGROUND);
    start_pool();
    cube = start_cube();

    // three balls: key copy, half blend, additive
    keyed = ball_sprite(0, 1, 0);
    half = ball_sprite(0, 3, 128);
    bright = ball_sprite(0, 13, 255);
    // the sun turns; its moon, a child sprite, circles with it
    sun = ball_sprite(1, 1, 0);
    sun[SP_X] = 480;
    sun[SP_Y] = 320;
    moon = ball_sprite(1, 13, 255);
    moon[SP_X] = 100;
    moon[SP_SCALEX] = 0x6000;
    moon[SP_SCALEY] = 0x6000;
    sp_link(sun, moon);
    // the pointer is tested against the sun's hit area
    sun_area = hit_set(0, 1, sun, 0, 1);
    // the fade, last of all
    set_blend(3, 0, 0);
    shade = sp_set(2, 1, 0, 0, SHADE, 0, blend);
    // the tune streams from an Ogg Vorbis file and loops; the blip is a
    // small ADPCM WAVE decoded whole
    if (snd_loads(MUSIC, "sound\\bgm.ogg") && snd_load(BLIP, "sound\\se.wav")) {
        snd_setvol(MUSIC, 70);
        log_out("Sample game: sound on.");
    }
    // a MIDI tune when there is a soundfont for it, else the Vorbis one
    if (midi_load("sound\\theme.mid")) {
        midi_repeat(1);
        midi_play(0);
        log_out("Sample game: music on.");
    } else {
        snd_play(MUSIC, 1);
    }
    // track 1 of the disc in cd\ fades in over a second and plays once
    cd_repeat(0);
    if (cd_play(1, 1000))
        log_out("Sample game: CD track 1 (%d seconds) fades in.", cd_getlen(1));
    beat = 0;

    setcount(0, 0);
    start = getcount(0);
    frames = 0;
    crossed = 0;
    mark = 0;
    turn = 1;
    for (;;) {
        t = getcount(0) - start;
        if (t > 3000) break;
        // a left click since the last look leaves a mark
        getpoint(point);
        if (point[3] & 0x10000) {
            getpoint(0);
            if (!mark) {
                set_blend(0, 0, 0);
                mark = sp_set(1, 2, 0, 0, MARK, 0, blend);
                mark[SP_HOTX] = 12;
                mark[SP_HOTY] = 12;
            }
            mark[SP_X] = point[0];
            mark[SP_Y] = point[1];
            log_out("Sample game: click at %d, %d.", point[0], point[1]);
        }
        c = key_get();
        if (c != 0) {
            turn = -turn;
            log_out("Sample game: key %d turns the pictures around.", c);
        }
        x = 64 + (tsin(turn * t / 2) * 200 >> 16) + 200;
        y = 120 + (tcos(t / 3) * 80 >> 16);
        keyed[SP_X] = x + 48;
        keyed[SP_Y] = y + 48;
        half[SP_X] = SCREEN_W - x - 48;
        half[SP_Y] = y + 208;
        bright[SP_X] = x / 2 + 48;
        bright[SP_Y] = 408 - y / 2;
        sun[SP_ANGLE] = t * 2048 / 3000;
        // a point sweeping across the sun, and the pointer, are tested
        // against its hit area; the pointer over it makes it grow
        if (hit_point(380 + t / 15, 320, 1) == sun_area)
            crossed++;
        if (getmouse(mouse) && hit_point(mouse[0], mouse[1], 1) == sun_area) {
            sun[SP_SCALEX] = 0x12000;
            sun[SP_SCALEY] = 0x12000;
        } else {
            sun[SP_SCALEX] = 0x10000;
            sun[SP_SCALEY] = 0x10000;
        }
        // a blip every half second, panned to where the ball is
        if (t / 500 != beat) {
            beat = t / 500;
            snd_setpan(BLIP, (x + 48) * 200 / SCREEN_W - 100);
            snd_play(BLIP, 0);
        }
        // the end fades to black
        if (t > 3000 - fade) {
            level = (t - (3000 - fade)) * 255 / fade;
            if (level > 255) level = 255;
            snd_setvol(MUSIC, 70 - level * 70 / 255);
            midi_setvol(100 - level * 100 / 255);
            cd_setvol(100 - level * 100 / 255);
            shade[0] = shade[0] & 0xFFFFFF00 | 2;
            shade[17] = 3 | (level << 16);
        }
        // a drop every fifteenth frame, one ripple step; the cube turns
        if (frames % 15 == 0) ef_blob(POOL, -1, -1, 16, 120);
        ef_water(POOL);
        draw_cube(cube, t);
        sp_draw(-1, update_rect);
        update(update_rect);
        frames++;
        sleep(16);
    }
    snd_free(-1);
    midi_free();
    cd_stop(0);
    play_clip();
    log_out("Sample game: %d frames in 3 seconds.", frames);
    log_out("Sample game: the sweeping point crossed the sun in %d frames.", crossed);
    return 0;
}
