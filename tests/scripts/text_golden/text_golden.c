// Plain and smooth text on planes of 8, 16, 24 and 32 bits, opaque and
// transparent, bold, italic, underline, strike-out, and turned by 90 and 270
// degrees, copied onto the screen; its screenshot is compared with
// text_golden.bmp (made with the Debian IPA fonts).
#include "../../../games/demo/tob.h"

int font[11];   // face (8 words), size, angle, style
int rect[4];

void set_rect(int l, int t, int r, int b)
{
    rect[0] = l; rect[1] = t; rect[2] = r; rect[3] = b;
}

// Slot `slot`: the default face at `size`, turned by `angle`, in `style`.
void use_font(int slot, int size, int angle, int style)
{
    font_get(31, font);
    font[8] = size;
    font[9] = angle;
    font[10] = style;
    font_set(slot, font);
    font_use(slot);
}

// A plane of `depth` bits filled with screen colour `index`, text drawn on it
// in plain (top) and smooth (bottom) faces, then copied to the screen at (x, y).
void panel(int plane, int depth, int x, int y, int style, int index)
{
    galloc(plane, 150, 56, depth);
    set_rect(0, 0, 150, 56);
    gfill(plane, rect, 0x01000000 | index);
    use_font(1, 16, 0, style);
    gtextf(plane, 2, 2, 255 | (3 << 8) | (1 << 30), "%d bit \x95\xB6\x8E\x9A", depth);
    use_font(2, 20, 0, style | 16);
    gtext(plane, 2, 24, 255 | (224 << 8), "\x82\xC8\x82\xDF\x82\xE7\x82\xA9 Ag");
    gcopy(0, x, y, plane, 0, 0);
}

int main()
{
    set_rect(0, 0, 320, 240);
    gfill(0, rect, 0x203048);
    panel(1, 8, 4, 4, 0, 16);
    panel(2, 16, 164, 4, 1, 73);       // bold
    panel(3, 24, 4, 64, 2, 146);       // italic
    panel(4, 32, 164, 64, 4 | 8, 82);  // underline and strike-out
    // turned by 90 and 270 degrees, plain opaque and smooth transparent
    use_font(5, 16, 900, 0);
    gtext(0, 8, 128, 255 | (2 << 8) | (1 << 30), "\x8F\x63\x8F\x91\x82\xAB 90");
    use_font(6, 18, 2700, 16);
    gtext(0, 34, 128, 0x1C, "\x8F\x63\x8F\x91\x82\xAB 270");
    use_font(7, 16, 2700, 4);
    gtext(0, 64, 128, 252 | (1 << 30), "\x89\xBA\x90\xFC 270");
    // smooth on the 32-bit screen, bold italic, opaque
    use_font(8, 24, 0, 1 | 2 | 16);
    gtext(0, 100, 130, 255 | (19 << 8) | (1 << 30), "\x91\xBE\x8E\x9A \x8E\xCE\x91\xCC");
    use_font(9, 14, 450, 0);
    gtext(0, 100, 170, 0xFC, "45 \x93\x78");
    return 0;
}
