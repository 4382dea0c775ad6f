// Fixture for the sprite and hit-area built-ins: a 32-bit active page and
// the sprite records in script memory, with helpers to write record fields
// the way scripts do and a from-scratch composition to compare pages with.
#pragma once

#include <cstring>

#include "graphics/blitter.h"
#include "graphics/pages.h"
#include "graphics/sprites.h"
#include "graphics_test_support.h"

namespace tob::test {

class SpriteFixture : public GraphicsFixture {
  protected:
    static constexpr int32_t kPageW = 96, kPageH = 64;

    SpriteFixture() {
        table.bind_all(sprite_builtins());
        table.bind_all(hit_builtins());
        EXPECT_TRUE(gfx::start_pages(kPageW, kPageH, 32));
        init_sprites(mem);
    }
    ~SpriteFixture() override { shutdown_sprites(); }

    gfx::SpriteSystem& sys() { return gfx::sprites(); }

    void set32(ScriptAddr sp, size_t off, int64_t v) {
        mem.write32(sp + uint32_t(off), uint32_t(v));
    }
    void set16(ScriptAddr sp, size_t off, uint32_t v) {
        mem.host(sp + uint32_t(off), 2)[0] = uint8_t(v);
        mem.host(sp + uint32_t(off), 2)[1] = uint8_t(v >> 8);
    }
    void set8(ScriptAddr sp, size_t off, uint32_t v) {
        mem.host(sp + uint32_t(off))[0] = uint8_t(v);
    }
    uint32_t get32(ScriptAddr sp, size_t off) { return word_at(sp + uint32_t(off)); }
    uint8_t get8(ScriptAddr sp, size_t off) { return mem.host(sp + uint32_t(off))[0]; }
    uint16_t flags(ScriptAddr sp) { return uint16_t(get8(sp, 2) | get8(sp, 3) << 8); }
    void touch(ScriptAddr sp) { set16(sp, 2, flags(sp) | gfx::kFlagChanged); }
    gfx::Rect rect_at(ScriptAddr a) {
        return {int32_t(word_at(a)), int32_t(word_at(a + 4)), int32_t(word_at(a + 8)),
                int32_t(word_at(a + 12))};
    }

    // A 32-bit plane filled with a pattern that differs in every pixel, with
    // alpha varying across it.
    void make_picture(uint32_t n, int32_t w, int32_t h, uint32_t seed) {
        call("galloc", {n, uint32_t(w), uint32_t(h), 32});
        gfx::Plane* p = plane(n);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                uint8_t* px = p->row(y) + 4 * x;
                px[0] = uint8_t(x * 7 + seed);
                px[1] = uint8_t(y * 11 + seed * 3);
                px[2] = uint8_t((x ^ y) * 5 + seed);
                px[3] = uint8_t((x + y) * 9 + seed);
            }
    }

    // The picture from scratch: the background at its origin, then every
    // shown sprite of the lists in order, drawn as sp_draw draws them.
    std::unique_ptr<gfx::Plane> compose(uint32_t bg, int32_t bg_x, int32_t bg_y) {
        gfx::Plane* page = plane(0);
        auto out = gfx::Plane::create(mem, page->width(), page->height(), page->depth());
        std::memcpy(out->bits(), page->bits(), page->bytes());
        gfx::BlendRecord copy;
        gfx::copy_unscaled(*out, -bg_x, -bg_y, *plane(bg), nullptr, std::nullopt, copy);
        for (uint32_t l = 0; l < gfx::kListCount; ++l) {
            for (int i : sys().list_order(l)) {
                ScriptAddr a = sys().sprite_address(uint32_t(i));
                if (get8(a, 0) != gfx::kStateShown || (flags(a) & gfx::kFlagRemoving)) continue;
                auto g = sys().geometry(uint32_t(i));
                auto f = gfx::read_sprite_fields(mem.host(a, 140));
                const gfx::Plane* src = plane(f.plane);
                if (!src || f.blend.mode >= 36) continue;
                const gfx::Plane* mask = gfx::plane_table().mask_of(f.plane);
                bool turned = (g.angle & 0x7FF) != 0;
                if (g.scale_x == 0x10000 && g.scale_y == 0x10000 && !turned && !f.mirror_x &&
                    !f.mirror_y) {
                    gfx::copy_unscaled(*out, g.placed.left, g.placed.top, *src, mask, f.source,
                                       f.blend);
                    continue;
                }
                gfx::Rect d = g.placed;
                if (f.mirror_x) std::swap(d.left, d.right);
                if (f.mirror_y) std::swap(d.top, d.bottom);
                gfx::Rect saved = out->clip();
                if (turned) {
                    gfx::Box c = gfx::Box::of(saved).intersect(gfx::Box::of(g.bounds));
                    if (c.empty()) continue;
                    out->set_clip(
                        {int32_t(c.left), int32_t(c.top), int32_t(c.right), int32_t(c.bottom)});
                }
                gfx::copy_scaled(*out, d, *src, mask, f.source, f.blend, g.angle);
                out->set_clip(saved);
            }
        }
        return out;
    }

    // Pixels of the page that differ from `want` (first few described).
    int differences(const gfx::Plane& want, std::string* where) {
        const gfx::Plane& page = *plane(0);
        int n = 0;
        for (int32_t y = 0; y < page.height(); ++y)
            for (int32_t x = 0; x < page.width(); ++x)
                if (std::memcmp(page.row(y) + 4 * x, want.row(y) + 4 * x, 4) != 0) {
                    if (n++ == 0 && where)
                        *where = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                }
        return n;
    }
};

}  // namespace tob::test
