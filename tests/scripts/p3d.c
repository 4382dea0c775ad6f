// The 3D built-ins seen from a script: results, handles and a rendered
// picture, checked through real calls and getpixel.
#include "../../games/demo/tob.h"

int passed;
int failed;
int rect[4];
float pos[3];
float zero[3];
float light[4];
int material[3];

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}

int main()
{
    int model, other, i;
    galloc(1, 64, 48, 24);
    check(p3d_init(1, 64.0, 0.5, 0.0) == 1, "p3d_init");
    model = p3d_load("p3d_scene/cube.mdl");
    check(model != 0, "p3d_load");
    check(p3d_load("p3d_scene/missing.mdl") == 0, "missing file");
    check(p3d_tex(1) == 2 && p3d_tex(700) == 0, "p3d_tex");
    material[0] = 0xFF0000; material[1] = 0; material[2] = 1;
    check(p3d_material(model, 0, material) == 1, "p3d_material");
    material[2] = 7;
    check(p3d_material(model, 0, material) == 0, "mode 7");
    check(p3d_material(model + 4, 0, material) == 0, "bad handle");
    check(p3d_clear() == 1, "p3d_clear");
    check(p3d_view(zero, zero) == 1 && p3d_view(0, zero) == 0, "p3d_view");
    check(p3d_env(0.5, 0.5, 0.5) == 1, "p3d_env");
    light[0] = 1.0; light[1] = 1.0; light[2] = 1.0; light[3] = 0.0;
    for (i = 0; i < 16; i++) p3d_light(light, 0.0, 0.0, 0.0);
    check(p3d_light(light, 0.0, 0.0, 0.0) == 0, "seventeenth light");
    pos[2] = 5.0;
    check(p3d_setobj(model, pos, zero) == 1, "p3d_setobj");
    check(p3d_setobj(model, 0, zero) == 0, "null position");
    check(p3d_render() == 1, "p3d_render");
    check(getpixel(1, 32, 24) == 0xFF0000, "the lit front face");
    check(getpixel(1, 1, 1) == 0, "background");
    other = p3d_load("p3d_scene/cube.mdl");
    check(other != 0 && other != model, "second model");
    check(p3d_free(model) == 1 && p3d_free(model) == 0, "p3d_free");
    gfree(1);
    check(p3d_clear() == 1 && p3d_setobj(other, pos, zero) == 0 && p3d_render() == 0, "freed target");
    check(p3d_uninit() == 1, "p3d_uninit");
    check(p3d_free(other) == 0, "released by p3d_uninit");
    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
