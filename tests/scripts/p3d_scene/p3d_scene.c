// A lit, textured cube in each of the seven material modes, one 64 x 64
// tile each; the screenshot is compared with p3d_scene.bmp.
#include "../../../games/demo/tob.h"

#define TARGET 1
#define TEXTURE 2

int rect[4];
float pos[3];
float turn[3];
float eye[3];
float look[3];
float light[4];
int material[3];

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// A checkerboard of orange and white with a dark frame.
void make_texture()
{
    int x, y;
    galloc(TEXTURE, 16, 16, 32);
    set_rect(0, 0, 16, 16);
    gfill(TEXTURE, rect, 0x202020);
    for (y = 1; y < 15; y += 2)
        for (x = 1; x < 15; x += 2) {
            set_rect(x, y, x + 2, y + 2);
            gfill(TEXTURE, rect, ((x + y) & 2) ? 0xFFA020 : 0xF0F0F0);
        }
}

int main()
{
    int mode, model;
    make_texture();
    galloc(TARGET, 64, 64, 32);
    eye[0] = 0.0; eye[1] = 0.0; eye[2] = 0.0;
    look[0] = 0.0; look[1] = 0.0; look[2] = 0.0;
    pos[0] = 0.0; pos[1] = 0.0; pos[2] = 4.5;
    turn[0] = 0.5; turn[1] = 0.7; turn[2] = 0.1;
    // white light from the upper left, travelling right, down and forward
    light[0] = 1.0; light[1] = 1.0; light[2] = 1.0;
    light[3] = 0.0;
    for (mode = 0; mode < 7; mode++) {
        set_rect(0, 0, 64, 64);
        gfill(TARGET, rect, 0x102040);
        p3d_init(TARGET, 64.0, 0.5, 0.0);
        model = p3d_load("cube.mdl");
        material[0] = 0x40C060;
        material[1] = p3d_tex(TEXTURE);
        material[2] = mode;
        p3d_material(model, 0, material);
        p3d_clear();
        p3d_view(eye, look);
        p3d_env(0.2, 0.2, 0.2);
        p3d_light(light, 0.6, 0.5, 0.0);
        p3d_setobj(model, pos, turn);
        p3d_render();
        gcopy(0, mode * 64, 0, TARGET, 0, 0);
    }
    p3d_uninit();
    update(0);
    return 0;
}
