#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/current_folder.h"
#include "graphics/bmp_format.h"
#include "graphics/colour.h"
#include "graphics/plane_table.h"
#include "graphics_test_support.h"
#include "platform/byte_order.h"

using namespace tob;
using namespace tob::gfx;
using tob::test::CapturedReports;

namespace {

constexpr uint32_t kDepths[] = {1, 4, 8, 16, 24, 32};

class PlaneBuiltins : public tob::test::GraphicsFixture {};

// Raw value of pixel (x, y) whatever the depth.
uint32_t raw_pixel(const Plane& p, int x, int y) {
    const uint8_t* a = p.pixel_address(x, y);
    switch (p.depth()) {
        case 1:
            return (*a >> (7 - (x & 7))) & 1;
        case 4:
            return (x & 1) ? (*a & 15) : (*a >> 4);
        case 8:
            return *a;
        case 16:
            return load_le16(a);
        case 24:
            return a[0] | a[1] << 8 | a[2] << 16;
        default:
            return load_le32(a);
    }
}

void fill_random(Plane& p, std::mt19937& rng) {
    for (uint32_t i = 0; i < p.bytes(); ++i) p.bits()[i] = uint8_t(rng());
    for (uint32_t i = 0; i < p.colour_count(); ++i) p.set_colour(i, rng() & 0xFFFFFF);
}

}  // namespace

TEST_F(PlaneBuiltins, AllocatingChoosesAndEmptiesSlots) {
    CapturedReports reports;
    EXPECT_EQ(call("galloc", {5, 10, 4, 24}), 1u);
    ASSERT_NE(plane(5), nullptr);
    EXPECT_EQ(plane(5)->pitch(), 32u);
    EXPECT_EQ(plane(5)->clip(), (Rect{0, 0, 10, 4}));

    // A pointer argument: the highest free slot, written to the variable.
    ScriptAddr var = put_words({0});
    EXPECT_EQ(call("galloc", {var, 2, 2, 8}), 1u);
    EXPECT_EQ(word_at(var), 1023u);
    EXPECT_EQ(call("galloc", {var, 2, 2, 8}), 1u);
    EXPECT_EQ(word_at(var), 1022u);

    // Sizes and depths that cannot make a plane: reported, slot left empty.
    const std::vector<std::vector<uint32_t>> bad = {
        {5, uint32_t(-1), 4, 24},        {5, 4, uint32_t(-4), 24}, {5, 4, 4, 7}, {5, 4, 4, 0},
        {5, 0x7FFFFFFF, 0x7FFFFFFF, 32}, {5, 65536, 65536, 32}};
    for (const auto& args : bad) {
        ASSERT_EQ(call("galloc", {5, 10, 4, 24}), 1u);
        reports.texts.clear();
        EXPECT_EQ(call("galloc", args), 0u);
        EXPECT_EQ(plane(5), nullptr);
        ASSERT_EQ(reports.texts.size(), 1u);
        EXPECT_EQ(reports.texts[0], "CreatePlane : 仮想画面の作成に失敗しました。");
    }
    // Zero-sized planes exist; ginfo gives them no row address.
    EXPECT_EQ(call("galloc", {6, 0, 5, 32}), 1u);
    ScriptAddr info = put_words({1, 1, 1, 1, 1, 1});
    EXPECT_EQ(call("ginfo", {6, info}), 1u);
    EXPECT_EQ(word_at(info + 12), 0u);

    // A full table: -1 in the variable and failure.
    for (uint32_t n = 0; n < kPlaneSlots; ++n)
        if (!plane(n)) call("galloc", {n, 1, 1, 8});
    EXPECT_EQ(call("galloc", {var, 2, 2, 8}), 0u);
    EXPECT_EQ(word_at(var), 0xFFFFFFFFu);
    // A wild variable pointer: nothing is written and nothing made.
    EXPECT_EQ(call("galloc", {0xDEAD0000, 2, 2, 8}), 0u);
}

TEST_F(PlaneBuiltins, PagesSurviveFreeingAndAttachmentsFollowSlots) {
    ASSERT_EQ(call("galloc", {0, 8, 8, 32}), 1u);
    ASSERT_EQ(call("galloc", {3, 8, 8, 32}), 1u);
    plane_table().active_page = 3;
    ASSERT_EQ(call("gattach", {0, 7}), 1u);
    EXPECT_EQ(call("gfree", {0}), 1u);  // the view page stays, its attachment goes
    EXPECT_NE(plane(0), nullptr);
    EXPECT_EQ(plane_table().attachment(0), kNoAttachment);
    EXPECT_EQ(call("gfree", {1024}), 0u);

    // The attachment names a slot: a new plane there becomes the mask.
    ASSERT_EQ(call("galloc", {7, 8, 8, 8}), 1u);
    ASSERT_EQ(call("gattach", {0, 7}), 1u);
    EXPECT_EQ(plane_table().mask_of(0), plane(7));
    ASSERT_EQ(call("gfree", {7}), 1u);
    EXPECT_EQ(plane_table().mask_of(0), nullptr);
    ASSERT_EQ(call("galloc", {7, 4, 4, 8}), 1u);
    EXPECT_EQ(plane_table().mask_of(0), plane(7));
    EXPECT_EQ(call("gattach", {0, 1024}), 0u);
    EXPECT_EQ(call("gdetach", {0}), 1u);
    EXPECT_EQ(plane_table().mask_of(0), nullptr);

    // galloc on a page's slot replaces the plane; ginit spares both pages.
    ASSERT_EQ(call("galloc", {0, 16, 16, 24}), 1u);
    EXPECT_EQ(plane(0)->width(), 16);
    ASSERT_EQ(call("galloc", {9, 4, 4, 24}), 1u);
    EXPECT_EQ(call("ginit", {}), 1u);
    EXPECT_NE(plane(0), nullptr);
    EXPECT_NE(plane(3), nullptr);
    EXPECT_EQ(plane(7), nullptr);
    EXPECT_EQ(plane(9), nullptr);
}

TEST_F(PlaneBuiltins, PainterReferenceOutlivesTheSlot) {
    ASSERT_EQ(call("galloc", {4, 64, 64, 32}), 1u);
    std::shared_ptr<const Plane> held = plane_table().acquire(4);
    ScriptAddr bits = held->bits_address();
    EXPECT_EQ(call("gfree", {4}), 1u);
    EXPECT_EQ(plane(4), nullptr);
    EXPECT_GT(mem.block_size(bits), 0u);  // pixels still there for the painter
    held.reset();
    EXPECT_EQ(mem.block_size(bits), 0u);
}

TEST_F(PlaneBuiltins, InfoRecordDescribesTheLayout) {
    ASSERT_EQ(call("galloc", {2, 3, 5, 8}), 1u);
    ScriptAddr info = put_words({9, 9, 9, 9, 9, 9});
    EXPECT_EQ(call("ginfo", {2, info}), 1u);
    const Plane* p = plane(2);
    EXPECT_EQ(word_at(info), 3u);
    EXPECT_EQ(word_at(info + 4), 5u);
    EXPECT_EQ(word_at(info + 8), 8u);
    EXPECT_EQ(word_at(info + 12), p->bits_address() + 4 * 4);  // row 0 is last in memory
    EXPECT_EQ(int32_t(word_at(info + 16)), -4);
    EXPECT_EQ(word_at(info + 20), p->colours_address());
    // Row 0's address, stepped by the row step, reaches row 1.
    EXPECT_EQ(mem.host(word_at(info + 12) + word_at(info + 16)), p->row(1));

    EXPECT_EQ(call("ginfo", {77, info}), 1u);  // missing plane: zeros
    for (int i = 0; i < 6; ++i) EXPECT_EQ(word_at(info + 4 * i), 0u);
    EXPECT_EQ(call("ginfo", {2, 0}), 1u);
}

TEST_F(PlaneBuiltins, ClipRectangleIsOrderedAndClamped) {
    ASSERT_EQ(call("galloc", {1, 100, 50, 24}), 1u);
    struct Case {
        Rect in, out;
    } cases[] = {
        {{10, 10, 20, 20}, {10, 10, 20, 20}},
        {{20, 30, 10, 5}, {10, 5, 20, 30}},
        {{-5, -5, 500, 500}, {0, 0, 100, 50}},
        {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 100, 50}},
        {{200, 200, 300, 300}, {200, 200, 200, 200}},  // outside: empty
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("gclip", {1, put_rect(c.in.left, c.in.top, c.in.right, c.in.bottom)}), 1u);
        EXPECT_EQ(plane(1)->clip(), c.out);
    }
    EXPECT_EQ(call("gclip", {1, 0}), 1u);
    EXPECT_EQ(plane(1)->clip(), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(call("gclip", {2, 0}), 0u);
}

TEST_F(PlaneBuiltins, PixelsReadBackAsTrueColours) {
    ASSERT_EQ(call("galloc", {1, 9, 2, 1}), 1u);
    plane(1)->row(0)[0] = 0x80;  // x = 0 is the top bit
    EXPECT_EQ(call("getpixel", {1, 0, 0}), 0xFFFFFFu);
    EXPECT_EQ(call("getpixel", {1, 1, 0}), 0u);

    ASSERT_EQ(call("galloc", {2, 3, 1, 4}), 1u);
    plane(2)->row(0)[0] = 0x9C;  // left pixel 9, right pixel 12
    EXPECT_EQ(call("getpixel", {2, 0, 0}), plane(2)->colour(9));
    EXPECT_EQ(call("getpixel", {2, 1, 0}), plane(2)->colour(12));
    EXPECT_EQ(plane(2)->colour(0), 0u);
    EXPECT_EQ(plane(2)->colour(5), rgb(127, 0, 127));
    EXPECT_EQ(plane(2)->colour(15), 0xFFFFFFu);

    ASSERT_EQ(call("galloc", {3, 2, 2, 8}), 1u);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(plane(3)->colour(i), default_palette_entry(i));
    plane(3)->row(1)[1] = 0xE3;
    EXPECT_EQ(call("getpixel", {3, 1, 1}), rgb(255, 0, 255));

    ASSERT_EQ(call("galloc", {4, 2, 2, 16}), 1u);
    store_le32(plane(4)->row(0), 0x7FFF | 0x421 << 16);
    EXPECT_EQ(call("getpixel", {4, 0, 0}), 0xFFFFFFu);
    EXPECT_EQ(call("getpixel", {4, 1, 0}), 0x080808u);

    ASSERT_EQ(call("galloc", {5, 2, 2, 32}), 1u);
    store_le32(plane(5)->row(1) + 4, 0xAA123456);
    EXPECT_EQ(call("getpixel", {5, 1, 1}), 0x123456u);
    // Outside the plane (negative coordinates too) or no plane: 0.
    EXPECT_EQ(call("getpixel", {5, uint32_t(-1), 0}), 0u);
    EXPECT_EQ(call("getpixel", {5, 2, 0}), 0u);
    EXPECT_EQ(call("getpixel", {6, 0, 0}), 0u);
}

TEST_F(PlaneBuiltins, ColourTablesInAndOut) {
    ASSERT_EQ(call("galloc", {1, 2, 2, 4}), 1u);
    ASSERT_EQ(call("galloc", {2, 2, 2, 24}), 1u);
    ScriptAddr buf = put_words(std::vector<uint32_t>(300, 0));
    ScriptAddr src = put_words({0x112233, 0x445566, 0x778899});
    struct Case {
        uint32_t plane, first, count, expect;
    } cases[] = {
        {1, 14, 3, 2},  // stops at the 16 colours
        {1, 16, 1, 0},  // first beyond the table
        {1, 0, 0, 0},   // no count
        {2, 0, 1, 0},   // true-colour plane
        {9, 0, 1, 0},   // missing plane
        {0xFFFFFFFF, 250, 10, 6},
        {0xFFFFFFFF, 256, 1, 0},
        {0xFFFFFFFF, uint32_t(-1), 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("gsetpal", {c.plane, c.first, c.count, src}), c.expect) << c.first;
        EXPECT_EQ(call("ggetpal", {c.plane, c.first, c.count, buf}), c.expect) << c.first;
    }
    EXPECT_EQ(plane(1)->colour(14), 0x112233u);
    EXPECT_EQ(plane(1)->colour(15), 0x445566u);
    EXPECT_EQ(palette_state().script[252], 0x778899u);
    EXPECT_EQ(call("ggetpal", {1, 14, 2, buf}), 2u);
    EXPECT_EQ(word_at(buf + 4), 0x445566u);
    EXPECT_EQ(call("ggetpal", {1, 0, 2, 0xDEAD0000}), 0u);  // bad pointer
}

TEST(BmpFormat, RoundTripsEveryDepthAndWidth) {
    ScriptMemory mem(64u << 20);
    std::mt19937 rng(7);
    for (uint32_t depth : kDepths) {
        for (int w = 1; w <= 33; ++w) {
            auto p = Plane::create(mem, w, 3, depth);
            ASSERT_TRUE(p);
            fill_random(*p, rng);
            auto file = encode_bmp(*p, p->bounds());
            uint64_t pitch = row_pitch(uint64_t(w), depth);
            ASSERT_EQ(file.size(), 54 + p->colour_count() * 4 + pitch * 3);
            auto back = decode_bmp(mem, file);
            ASSERT_TRUE(back) << depth << " " << w;
            ASSERT_EQ(back->depth(), depth);
            ASSERT_EQ(back->colour_count(), p->colour_count());
            for (uint32_t i = 0; i < p->colour_count(); ++i)
                EXPECT_EQ(back->colour(i), p->colour(i));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(raw_pixel(*back, x, y), raw_pixel(*p, x, y)) << depth << " " << w;

            // A rectangle that starts inside a byte is not shifted.
            if (w < 4) continue;
            Box area{w / 2 - 1, 1, w - 1, 3};
            auto part = decode_bmp(mem, encode_bmp(*p, area));
            ASSERT_TRUE(part);
            ASSERT_EQ(part->width(), area.width());
            for (int y = 0; y < part->height(); ++y)
                for (int x = 0; x < part->width(); ++x)
                    ASSERT_EQ(raw_pixel(*part, x, y),
                              raw_pixel(*p, int(area.left) + x, int(area.top) + y));
        }
    }
}

TEST(BmpFormat, ReadsHeaderVariantsAndRefusesLies) {
    ScriptMemory mem(16u << 20);
    auto p = Plane::create(mem, 3, 2, 8);
    for (uint32_t i = 0; i < p->bytes(); ++i) p->bits()[i] = uint8_t(i * 7);
    std::vector<uint8_t> good = encode_bmp(*p, p->bounds());

    // Without the 14-byte file header: the data follows the colour table.
    std::vector<uint8_t> bare(good.begin() + kFileHeaderSize, good.end());
    auto q = decode_bmp(mem, bare);
    ASSERT_TRUE(q);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(raw_pixel(*q, x, y), raw_pixel(*p, x, y));

    // A core header: 12 bytes and 3-byte colour entries.
    std::vector<uint8_t> core = {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1, 0};
    core.insert(core.end(), {0x10, 0x20, 0x30, 0x40, 0x50, 0x60});  // two entries
    core.insert(core.end(), {0x40, 0, 0, 0});                       // row: pixel 1, pixel 0
    q = decode_bmp(mem, core);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->colour(0), 0x302010u);
    EXPECT_EQ(q->colour(1), 0x605040u);
    EXPECT_EQ(read_pixel_rgb(*q, 1, 0), 0x605040u);

    auto patched = [&](size_t offset, uint32_t value) {
        std::vector<uint8_t> f = good;
        store_le32(&f[offset], value);
        return f;
    };
    const size_t ih = kFileHeaderSize;
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    } cases[] = {
        {"empty", {}},
        {"only the magic", {'B', 'M'}},
        {"cut header", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
        {"short data", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"header size 108", patched(ih, 108)},
        {"negative height", patched(ih + 8, uint32_t(-2))},
        {"zero width", patched(ih + 4, 0)},
        {"huge size", patched(ih + 4, 0x40000000)},
        {"compressed", patched(ih + 16, 1)},
        {"depth 2", patched(ih + 12, 1 | 2 << 16)},
        {"300 colours", patched(ih + 32, 300)},
        {"data offset past the end", patched(10, 0xFFFFFFF0)},
    };
    for (const Case& c : cases) EXPECT_FALSE(decode_bmp(mem, c.file)) << c.what;

    // An image size larger than the pixels is cut; a smaller one leaves zeros.
    auto cut = decode_bmp(mem, patched(ih + 20, 0xFFFFFFFF));
    ASSERT_TRUE(cut);
    auto small = decode_bmp(mem, patched(ih + 20, 4));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->bits()[4], 0);
}

class PlaneFiles : public tob::test::GraphicsFixture {
  protected:
    std::filesystem::path dir, saved_dir;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("tob_plane_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        saved_dir = current_folder();
        set_current_folder(dir);
    }
    void TearDown() override {
        set_current_folder(saved_dir);
        std::filesystem::remove_all(dir);
    }
};

TEST_F(PlaneFiles, SaveAndLoadThroughFiles) {
    CapturedReports reports;
    ASSERT_EQ(call("galloc", {1, 3, 2, 24}), 1u);
    for (uint32_t i = 0; i < plane(1)->bytes(); ++i) plane(1)->bits()[i] = uint8_t(i + 1);
    EXPECT_EQ(call("gsave", {put_string("out.bmp"), 1, 0}), 1u);
    EXPECT_EQ(std::filesystem::file_size(dir / "out.bmp"), 54u + 2 * 12);  // rows of 12 bytes

    ScriptAddr var = put_words({0});
    EXPECT_EQ(call("gload", {var, put_string("OUT.BMP")}), 1u);
    const Plane* back = plane(word_at(var));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->file_name(), "OUT.BMP");
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(read_pixel_rgb(*back, x, y), read_pixel_rgb(*plane(1), x, y));

    // A rectangle that misses the plane writes nothing.
    EXPECT_EQ(call("gsave", {put_string("none.bmp"), 1, put_rect(5, 5, 9, 9)}), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.bmp"));
    EXPECT_EQ(call("gsave", {0, 1, 0}), 0u);
    EXPECT_EQ(call("gsave", {put_string("x.bmp"), 2, 0}), 0u);
    EXPECT_EQ(reports.texts.size(), 0u);
    EXPECT_EQ(call("gsave", {put_string("no_dir/x.bmp"), 1, 0}), 0u);
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_EQ(reports.texts[0], "SavePlane : 'no_dir/x.bmp' ファイルの作成に失敗しました。");

    // A file that is not a bitmap: the slot ends up empty.
    std::ofstream(dir / "junk.bmp") << "BMjunk";
    reports.texts.clear();
    EXPECT_EQ(call("gload", {1, put_string("junk.bmp")}), 0u);
    EXPECT_EQ(plane(1), nullptr);
    ASSERT_FALSE(reports.texts.empty());
    EXPECT_EQ(reports.texts.back(),
              "LoadPlane : 画像ファイルの読み込みに失敗しました。\nFile : junk.bmp");
    EXPECT_EQ(call("gload", {1, 0}), 0u);
}
