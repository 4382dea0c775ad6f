#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/current_folder.h"
#include "graphics/diff_image.h"
#include "graphics/plane_table.h"
#include "graphics_test_support.h"
#include "platform/byte_order.h"

using namespace tob;
using namespace tob::gfx;

namespace {

std::vector<uint8_t> diff_image(uint32_t depth, Rect box, std::vector<uint8_t> stream) {
    std::vector<uint8_t> d(kDiffHeaderSize + stream.size());
    std::copy(stream.begin(), stream.end(), d.begin() + kDiffHeaderSize);
    store_le32(&d[0], kDiffMagic);
    store_le32(&d[12], depth);
    store_le32(&d[16], uint32_t(box.left));
    store_le32(&d[20], uint32_t(box.top));
    store_le32(&d[24], uint32_t(box.right));
    store_le32(&d[28], uint32_t(box.bottom));
    return d;
}

class DiffImages : public tob::test::GraphicsFixture {
  protected:
    // The 8-bit plane 1 as rows of text, '.' for 0.
    std::string picture() {
        std::string s;
        const Plane* p = plane(1);
        for (int y = 0; y < p->height(); ++y) {
            for (int x = 0; x < p->width(); ++x) {
                uint8_t v = *p->pixel_address(x, y);
                s += v ? char('0' + v) : '.';
            }
            s += '\n';
        }
        return s;
    }
};

}  // namespace

TEST_F(DiffImages, RunsSkipCopyAndMoveDownRows) {
    ASSERT_EQ(call("galloc", {1, 5, 3, 8}), 1u);
    // Row 1: skip 1, copy 2; row 2: copy 1; end.
    auto img = diff_image(8, {0, 0, 3, 2}, {1, 0, 3, 1, 2, 0, 0, 0, 2, 3, 0, 1, 0, 2, 9});
    ScriptAddr rect = put_rect(9, 9, 9, 9);
    EXPECT_EQ(call("dcopy", {1, 1, 1, put(img.data(), img.size()), rect}), 1u);
    EXPECT_EQ(picture(), ".....\n..12.\n.3...\n");
    EXPECT_EQ(word_at(rect + 8), 3u);  // the bounding box is handed out

    // The stream is not trusted: runs past the right edge are cut, and a
    // literal run longer than the data stops at the data's end.
    auto wild = diff_image(8, {0, 0, 1, 1}, {0, 6, 4, 4, 4, 4, 4, 0, 0, 0, 9, 5, 5});
    EXPECT_EQ(call("dcopy", {1, 3, 0, put(wild.data(), wild.size()), 0}), 1u);
    EXPECT_EQ(picture(), "...44\n..155\n.3...\n");
}

TEST_F(DiffImages, RefusalsLeaveThePlaneUntouched) {
    ASSERT_EQ(call("galloc", {1, 4, 4, 8}), 1u);
    std::vector<uint8_t> run = {0, 2, 7, 0, 1};
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        int32_t x, y;
    } cases[] = {
        {"depth differs", diff_image(16, {0, 0, 1, 1}, run), 0, 0},
        {"empty box", diff_image(8, {0, 0, 0, 1}, run), 0, 0},
        {"left of the plane", diff_image(8, {-1, 0, 1, 1}, run), 0, 0},
        {"right of the plane", diff_image(8, {0, 0, 2, 1}, run), 3, 0},
        {"below the plane", diff_image(8, {0, 0, 1, 1}, run), 0, 4},
        {"huge placement", diff_image(8, {0, 0, 1, 1}, run), INT32_MAX, INT32_MAX},
        {"bad magic",
         [&] {
             auto d = diff_image(8, {0, 0, 1, 1}, run);
             d[0] = 'X';
             return d;
         }(),
         0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("dcopy",
                       {1, uint32_t(c.x), uint32_t(c.y), put(c.image.data(), c.image.size()), 0}),
                  0u)
            << c.what;
        EXPECT_EQ(picture(), "....\n....\n....\n....\n") << c.what;
    }
    EXPECT_EQ(call("dcopy", {2, 0, 0, put(run.data(), run.size()), 0}), 0u);
    EXPECT_EQ(call("dcopy", {1, 0, 0, 0xDEAD0000, 0}), 0u);

    // A 1-bit plane has no whole pixels to copy: refused.
    ASSERT_EQ(call("galloc", {2, 8, 1, 1}), 1u);
    auto one = diff_image(1, {0, 0, 1, 1}, run);
    EXPECT_EQ(call("dcopy", {2, 0, 0, put(one.data(), one.size()), 0}), 0u);
}

TEST_F(DiffImages, LoadsFromFiles) {
    auto dir = std::filesystem::temp_directory_path() / ("tob_diff_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto saved = current_folder();
    set_current_folder(dir);
    auto img = diff_image(8, {0, 0, 2, 1}, {0, 3, 6, 6, 0, 1});
    std::ofstream(dir / "patch.dif", std::ios::binary)
        .write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
    ASSERT_EQ(call("galloc", {1, 3, 1, 8}), 1u);
    EXPECT_EQ(call("dload", {1, 1, 0, put_string("patch.dif"), 0}), 1u);
    EXPECT_EQ(picture(), ".66\n");
    {
        tob::test::CapturedReports quiet;
        EXPECT_EQ(call("dload", {1, 0, 0, put_string("missing.dif"), 0}), 0u);
    }
    set_current_folder(saved);
    std::filesystem::remove_all(dir);
}
