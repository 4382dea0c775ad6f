#include "base/error_report.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/settings.h"

using namespace tob;

namespace {
struct CapturedReports {
    std::vector<std::string> texts;
    ErrorSink previous;
    explicit CapturedReports(bool ignore_level = false) {
        previous =
            set_error_sink({[this](const std::string& t) { texts.push_back(t); }, ignore_level});
    }
    ~CapturedReports() { set_error_sink(previous); }
};
}  // namespace

TEST(ErrorReport, LevelsDecideWhatIsShown) {
    CapturedReports cap;
    struct Case {
        int32_t error;
        uint32_t level;
        bool shown;
    } cases[] = {{0, 1, false}, {-1, 1, false}, {1, 1, true}, {1, 2, false},
                 {2, 1, true},  {2, 2, true},   {2, 3, false}};
    for (const auto& c : cases) {
        cap.texts.clear();
        settings().error = c.error;
        set_error_level(c.error);
        report_error(c.level, "x%d", 7);
        EXPECT_EQ(cap.texts.size(), c.shown ? 1u : 0u) << c.error << "/" << c.level;
    }
    settings().error = 0;
    set_error_level(0);
}

TEST(ErrorReport, HeadlessSinkIgnoresTheLevel) {
    CapturedReports cap(true);
    settings().error = 0;
    report_error(2, "%s - 引数の数が違います。", "thd_end");
    ASSERT_EQ(cap.texts.size(), 1u);
    EXPECT_EQ(cap.texts[0], "thd_end - 引数の数が違います。");
}

TEST(ErrorReport, SetLevelReturnsThePreviousOne) {
    set_error_level(3);
    EXPECT_EQ(set_error_level(1), 3);
    EXPECT_EQ(set_error_level(0), 1);
}

TEST(ErrorReport, LongTextsAreCutOnACharacterBoundary) {
    std::string jp;
    for (int i = 0; i < 600; ++i) jp += "あ";  // 3 bytes each
    std::string s = format_bounded(100, "%s", jp.c_str());
    EXPECT_EQ(s.size(), 99u);
    EXPECT_EQ(s.substr(0, 3), "あ");
    EXPECT_EQ(format_bounded(10, "%d", 12345), "12345");
}

// Threads that must never wait (a network session's) post their reports; a
// sink without a posting path shows them, and the level rules hold for both.
TEST(ErrorReport, PostedReportsTakeThePostingPath) {
    std::vector<std::string> shown, posted;
    ErrorSink previous = set_error_sink({[&](const std::string& t) { shown.push_back(t); }, false,
                                         [&](const std::string& t) { posted.push_back(t); }});
    settings().error = 1;
    set_error_level(1);
    post_error_text(1, "posted");
    post_error_text(2, "too high");
    report_error(1, "shown");
    EXPECT_EQ(posted, std::vector<std::string>{"posted"});
    EXPECT_EQ(shown, std::vector<std::string>{"shown"});
    set_error_sink({[&](const std::string& t) { shown.push_back(t); }, false});
    post_error_text(1, "no posting path");
    EXPECT_EQ(shown.back(), "no posting path");
    set_error_sink(previous);
    settings().error = 0;
    set_error_level(0);
}
