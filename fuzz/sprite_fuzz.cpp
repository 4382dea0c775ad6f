// Fuzz target: sprites and hit areas. The bytes drive sp_* and hit_* calls
// with any handles (live ones, near misses and random addresses) and write
// arbitrary bytes into the records between frames, on small pages. After
// every sp_draw the lists hold together: each is one chain, and every record
// in use is in exactly one of them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/graphics.h"
#include "graphics/pages.h"
#include "graphics/plane_table.h"
#include "graphics/sprites.h"
#include "support/call_site.h"

namespace {

using namespace tob;

struct Input {
    const uint8_t* p;
    size_t n;
    uint32_t byte() { return n ? (--n, *p++) : 0; }
    uint32_t word() { return byte() | byte() << 8 | byte() << 16 | byte() << 24; }
    int32_t small() { return int32_t(byte()) - 64; }
};

struct World {
    test::CallSite site;
    ScriptAddr scratch = 0;  // rectangles and blend records passed by pointer
    World() {
        TrapTable& t = site.table;
        t.bind_all(plane_builtins());
        t.bind_all(blit_builtins());
        t.bind_all(sprite_builtins());
        t.bind_all(hit_builtins());
        init_graphics_planes(site.mem);
        gfx::start_pages(48, 32, 32);
        init_sprites(site.mem);
        site.call("galloc", {1, 64, 48, 32});
        site.call("galloc", {2, 12, 9, 32});
        site.call("galloc", {3, 7, 5, 8});
        site.call("galloc", {4, 10, 10, 16});
        site.call("galloc", {5, 12, 9, 8});
        site.call("gattach", {2, 5});
        scratch = site.mem.allocate(64);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World w;
    gfx::SpriteSystem& s = gfx::sprites();
    test::CallSite& site = w.site;
    site.call("sp_init", {0xFFFFFFFF});
    site.call("sp_setbg", {1024});
    site.call("sp_flag", {2});
    Input in{data, size};
    std::vector<ScriptAddr> live;
    auto handle = [&]() -> ScriptAddr {
        switch (in.byte() % 5) {
            case 0:
                return live.empty() ? 0 : live[in.byte() % live.size()];
            case 1:
                return s.sprite_address(in.word() % gfx::kSpriteShaped);
            case 2:
                return s.hit_address(in.byte() % gfx::kHitShaped);
            case 3:
                return live.empty() ? 0 : live[in.byte() % live.size()] + (in.byte() % 8) - 4;
            default:
                return in.word();
        }
    };
    auto pointer = [&]() -> ScriptAddr {
        switch (in.byte() % 3) {
            case 0:
                return 0;
            case 1:
                for (int i = 0; i < 16; ++i) site.mem.host(w.scratch)[i] = uint8_t(in.small());
                return w.scratch;
            default:
                return in.word();
        }
    };
    for (int steps = 0; in.n && steps < 400; ++steps) {
        switch (in.byte() % 16) {
            case 0:
            case 1: {
                uint32_t list = in.byte() % 40, state = in.byte() % 4;
                int32_t x = in.small(), y = in.small();
                uint32_t plane = in.byte() % 7;
                ScriptAddr rect = pointer(), blend = pointer();
                live.push_back(site.call(
                    "sp_set", {list, state, uint32_t(x), uint32_t(y), plane, rect, blend}));
                break;
            }
            case 2:
                site.call("sp_reset", {handle()});
                break;
            case 3:
                site.call("sp_link", {handle(), handle()});
                break;
            case 4:
                site.call("sp_sort", {in.word(), in.byte()});
                break;
            case 5:
            case 6: {
                site.call("sp_draw", {in.byte() % 2 ? 0xFFFFFFFF : in.word(), pointer()});
                if (!s.consistent()) std::abort();
                break;
            }
            case 7:
            case 8: {
                // Scribble on a record.
                ScriptAddr a = handle();
                if (uint8_t* p = site.mem.host(a + in.byte() % 140, 4))
                    std::memcpy(p, &in.p[0], std::min<size_t>(in.n, 4)), in.byte();
                break;
            }
            case 9:
                site.call("sp_org", {in.word(), uint32_t(in.small()), uint32_t(in.small())});
                break;
            case 10:
                site.call("sp_bgorg", {uint32_t(in.small()), uint32_t(in.small())});
                break;
            case 11:
                site.call("sp_setbg", {in.byte() % 3 ? 1u : in.word()});
                break;
            case 12:
                site.call("sp_redraw", {in.word()});
                break;
            case 13:
                site.call("hit_set", {in.byte() % 34, in.word(), handle(), pointer(), in.byte()});
                break;
            case 14:
                switch (in.byte() % 4) {
                    case 0:
                        site.call("hit_reset", {handle()});
                        break;
                    case 1:
                        site.call("hit_check", {handle()});
                        break;
                    case 2:
                        site.call("hit_rect", {pointer(), in.word()});
                        break;
                    default:
                        site.call("hit_point",
                                  {uint32_t(in.small()), uint32_t(in.small()), in.word()});
                }
                break;
            default:
                site.call("sp_rect", {handle(), pointer()});
                break;
        }
    }
    site.call("sp_draw", {0xFFFFFFFF, 0});
    if (!s.consistent()) std::abort();
    return 0;
}
