// Text calls seen from a preloaded stand-in for a hook library: every gtext
// reaches the exported text functions, and a font is made once per record.
// The program starts itself again with the stand-in preloaded when it is not.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/text.h"
#include "graphics_test_support.h"

using namespace tob;
using namespace tob::gfx;

namespace {

int calls(const char* name) {
    using Counter = int (*)(const char*);
    static auto counter = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "text_shim_calls"));
    return counter ? counter(name) : -1;
}

class TextCalls : public test::GraphicsFixture {
  protected:
    TextCalls() {
        table.bind_all(text_builtins());
        init_text();
    }
    ~TextCalls() override { shutdown_text(); }
    ScriptAddr record(int32_t size, uint32_t style) {
        FontRecordBytes b = default_font_record();
        std::memcpy(b.data() + 32, &size, 4);
        std::memcpy(b.data() + 40, &style, 4);
        return put(b.data(), b.size());
    }
};

}  // namespace

TEST_F(TextCalls, TheSameRecordTwiceMakesOneFont) {
    ASSERT_GE(calls("TextOutA"), 0) << "run with the text shim preloaded";
    ASSERT_EQ(call("galloc", {1, 100, 40, 32}), 1u);
    ScriptAddr text = put_string("abc");
    const int fonts = calls("CreateFontIndirectA"), outs = calls("TextOutA"),
              extents = calls("GetTextExtentPoint32A");
    for (uint32_t style : {0u, uint32_t(kStyleSmooth)}) {
        ScriptAddr rec = record(18, style);
        ASSERT_EQ(call("font_set", {0, rec}), 1u);
        EXPECT_EQ(call("gtext", {1, 0, 0, 255, text}), 1u);
        ASSERT_EQ(call("font_set", {0, record(18, style)}), 1u);  // the same bytes again
        EXPECT_EQ(call("gtext", {1, 0, 0, 255, text}), 1u);
    }
    EXPECT_EQ(calls("CreateFontIndirectA") - fonts, 2);
    EXPECT_EQ(calls("TextOutA") - outs, 4);
    EXPECT_EQ(calls("GetTextExtentPoint32A") - extents, 4);
    ASSERT_EQ(call("font_set", {0, record(19, kStyleSmooth)}), 1u);
    EXPECT_EQ(call("gtext", {1, 0, 0, 255, text}), 1u);
    EXPECT_EQ(calls("CreateFontIndirectA") - fonts, 3);
}

int main(int argc, char** argv) {
    if (calls("TextOutA") < 0 && !std::getenv("TEXT_SHIM_RESTARTED")) {
        setenv("TEXT_SHIM_RESTARTED", "1", 1);
        setenv("LD_PRELOAD", TEXT_SHIM_PATH, 1);
        // The sanitizers' runtime then no longer comes first: that is intended.
        std::string asan = "verify_asan_link_order=0";
        if (const char* old = std::getenv("ASAN_OPTIONS")) asan += std::string(":") + old;
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        execv("/proc/self/exe", argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
