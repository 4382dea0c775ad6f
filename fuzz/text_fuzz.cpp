// Fuzz target: text. The first byte picks the CP932 -> UTF-16 conversion
// alone (one unit per character, never more units than bytes) or a drawing:
// a plane of any depth and a small size, a font record with any angle and
// style and a bounded size, an attribute, a position (sometimes far away), and
// arbitrary CP932 bytes drawn with gtext, whose result must be 0 or 1.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "graphics/text.h"
#include "platform/cp932.h"

namespace {

using namespace tob;
using namespace tob::gfx;

struct Reader {
    const uint8_t* p;
    size_t n;
    uint32_t take(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes && n; ++i, ++p, --n) v |= uint32_t(*p) << (8 * i);
        return v;
    }
};

// A few faces: the default, its serif twin, an ASCII alias, and an unknown one.
const char* const kFaces[] = {"\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e",
                              "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9", "MS Gothic", "NoSuchFace"};
constexpr uint32_t kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr int32_t kFarAway[] = {INT32_MIN, INT32_MAX, -100000, 100000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScriptMemory mem(16u << 20);
    static bool ready = [] {
        init_graphics_planes(mem);
        init_text();
        return true;
    }();
    (void)ready;
    Reader in{data, size};
    if (in.take(1) % 4 == 0) {
        std::u16string w =
            cp932_to_utf16(std::string_view(reinterpret_cast<const char*>(in.p), in.n));
        if (w.size() > in.n) std::abort();
        return 0;
    }
    uint32_t depth = kDepths[in.take(1) % 6];
    int32_t width = int32_t(in.take(1) % 200) + 1, height = int32_t(in.take(1) % 100) + 1;
    uint32_t where = in.take(1);
    int32_t x = int32_t(int8_t(in.take(1))) * 2, y = int32_t(int8_t(in.take(1)));
    if (where & 1) x = kFarAway[(where >> 1) % 4];
    if (where & 8) y = kFarAway[(where >> 4) % 4];
    uint32_t attr = in.take(4);
    FontRecordBytes rec{};
    const char* face = kFaces[in.take(1) % 4];
    std::memcpy(rec.data(), face, std::strlen(face));
    int32_t font_size = int32_t(int16_t(in.take(2))) % 100;  // smooth: up to 800 pixels
    int32_t angle = int32_t(in.take(4));
    uint32_t style = in.take(1) & 0x1F;
    std::memcpy(rec.data() + 32, &font_size, 4);
    std::memcpy(rec.data() + 36, &angle, 4);
    std::memcpy(rec.data() + 40, &style, 4);
    std::string_view text(reinterpret_cast<const char*>(in.p), std::min<size_t>(in.n, 24));

    auto plane = Plane::create(mem, width, height, depth);
    if (!plane) return 0;
    plane_table().put(1, std::move(plane));
    text_state().record(0) = rec;
    text_state().use(0, 0);
    uint32_t r = draw_text(1, x, y, attr, text, 0);
    if (r > 1) std::abort();
    plane_table().clear(1);
    return 0;
}
