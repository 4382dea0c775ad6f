// The debug output window without a window system: the list and its scroll
// limits, the inbox between threads, and what clicks, drags, the wheel and
// keys do. The box font gives 6 pixels per ASCII character.
#include "shell/debug_view.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tob;
using L = DebugLayout;

namespace {

constexpr int kUp = 38, kDown = 40, kLeft = 37, kRight = 39;
constexpr int kPageUp = 33, kPageDown = 34, kHome = 36, kEnd = 35;

std::pair<int, int> centre(const PixelRect& r) {
    return {r.x + r.w / 2, r.y + r.h / 2};
}

}  // namespace

TEST(DebugLog, NewLinesScrollIntoViewAndTheWidestSetsTheExtent) {
    DebugLog log;
    log.set_view(3, 100);
    EXPECT_EQ(log.extent(), 0);
    log.add("a", 40);
    log.add("b", 120);
    log.add("c", 30);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(log.line(2), "c");
    EXPECT_EQ(log.widest(), 120);
    EXPECT_EQ(log.extent(), 125);
    EXPECT_EQ(log.max_left(), 25);
    // Three rows show three lines: nothing to scroll yet.
    EXPECT_EQ(log.top(), 0u);
    // Each new line is asked to be the top one; the list stops at its last page.
    log.add("d", 10);
    EXPECT_EQ(log.top(), 1u);
    for (int i = 0; i < 10; ++i) log.add("x", 10);
    EXPECT_EQ(log.top(), log.size() - 3);
    EXPECT_EQ(log.max_top(), log.size() - 3);

    // Scrolling stays inside the list.
    log.scroll_pages(-1);
    EXPECT_EQ(log.top(), log.size() - 6);
    log.scroll_lines(-1000);
    EXPECT_EQ(log.top(), 0u);
    log.scroll_lines(1000);
    EXPECT_EQ(log.top(), log.max_top());
    log.set_left(-5);
    EXPECT_EQ(log.left(), 0);
    log.set_left(1000);
    EXPECT_EQ(log.left(), 25);
    // A wider view scrolls less.
    log.set_view(3, 200);
    EXPECT_EQ(log.left(), 0);

    log.clear();
    EXPECT_EQ(log.size(), 0u);
    EXPECT_EQ(log.widest(), 0);
    EXPECT_EQ(log.extent(), 0);
    EXPECT_EQ(log.top(), 0u);
    // After a clear a narrower line is the widest again.
    log.add("e", 15);
    EXPECT_EQ(log.extent(), 20);
}

TEST(DebugInbox, KeepsEveryTextInOrderAcrossThreads) {
    DebugInbox inbox;
    EXPECT_TRUE(inbox.push_text("first"));  // the first wakes the reader
    EXPECT_FALSE(inbox.push_clear());
    auto entries = inbox.take();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "first");
    EXPECT_TRUE(entries[1].clear);
    EXPECT_TRUE(inbox.take().empty());

    // Four writers and a reader taking as they go: nothing lost, each
    // writer's texts in its order.
    constexpr int kWriters = 4, kEach = 2000;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&inbox, w] {
            for (int i = 0; i < kEach; ++i)
                inbox.push_text(std::to_string(w) + ":" + std::to_string(i));
        });
    std::vector<int> next(kWriters, 0);
    int seen = 0;
    while (seen < kWriters * kEach) {
        for (const DebugInbox::Entry& e : inbox.take()) {
            int w = e.text[0] - '0';
            EXPECT_EQ(e.text.substr(2), std::to_string(next[size_t(w)]));
            ++next[size_t(w)];
            ++seen;
        }
        std::this_thread::yield();
    }
    for (std::thread& t : writers) t.join();
    EXPECT_TRUE(inbox.take().empty());
}

TEST(DebugView, TextsBecomeOneLineEach) {
    EXPECT_EQ(debug_line_text("plain"), "plain");
    EXPECT_EQ(debug_line_text("ends\r\n"), "ends");
    EXPECT_EQ(debug_line_text("tab\there\nand"), "tab here and");
    EXPECT_EQ(debug_line_text("\x83\x8D\x83\x4F"), "ログ");  // CP932 in, UTF-8 out

    auto font = platform::Font::boxes(L::kFontHeight);
    DebugView view(*font);
    view.add_text("12345\n");
    EXPECT_EQ(view.log().line(0), "12345");
    EXPECT_EQ(view.log().widest(), 5 * 6);
}

struct DebugViewTest : ::testing::Test {
    std::unique_ptr<platform::Font> font = platform::Font::boxes(L::kFontHeight);
    DebugView view{*font};
    void fill(int lines) {
        for (int i = 0; i < lines; ++i) view.add_text("line " + std::to_string(i));
    }
    DebugView::Result click(const PixelRect& r) {
        auto [x, y] = centre(r);
        view.press(x, y);
        return view.release(x, y);
    }
};

TEST_F(DebugViewTest, ButtonsClearAndClose) {
    fill(20);
    int rows = view.log().rows();
    EXPECT_EQ(rows, L::kLines.h / view.row_height());
    EXPECT_EQ(view.log().top(), size_t(20 - rows));

    DebugView::Result r = click(L::kClearButton);
    EXPECT_EQ(r.action, DebugView::Action::Clear);
    EXPECT_TRUE(r.redraw);
    EXPECT_EQ(view.log().size(), 0u);

    fill(3);
    EXPECT_EQ(click(L::kCloseButton).action, DebugView::Action::Close);
    EXPECT_EQ(view.log().size(), 3u);  // closing only hides

    // Pressing on a button and letting go elsewhere does nothing.
    auto [x, y] = centre(L::kClearButton);
    EXPECT_TRUE(view.press(x, y).redraw);
    EXPECT_EQ(view.release(5, 5).action, DebugView::Action::None);
    EXPECT_EQ(view.log().size(), 3u);
    // The buttons' letters with Alt.
    EXPECT_EQ(view.key('X', true).action, DebugView::Action::Close);
    EXPECT_EQ(view.key('X', false).action, DebugView::Action::None);
    EXPECT_EQ(view.key('C', true).action, DebugView::Action::Clear);
    EXPECT_EQ(view.log().size(), 0u);
}

TEST_F(DebugViewTest, ScrollBarArrowsTracksAndThumbDrags) {
    fill(100);
    size_t last = view.log().max_top();
    ASSERT_EQ(view.log().top(), last);
    auto v = scroll_bar_parts(L::kVerticalBar, true, int64_t(view.log().top()), int64_t(last),
                              view.log().rows());
    ASSERT_TRUE(v.enabled);
    // The thumb sits at the bottom of the track.
    EXPECT_EQ(v.thumb.y + v.thumb.h, v.track.y + v.track.h);
    EXPECT_EQ(v.less.h, L::kScrollBar);

    auto press_release = [&](const PixelRect& r) {
        auto [x, y] = centre(r);
        view.press(x, y);
        view.release(x, y);
    };
    press_release(v.less);
    EXPECT_EQ(view.log().top(), last - 1);
    press_release(v.more);
    EXPECT_EQ(view.log().top(), last);
    // The track above the thumb pages up.
    press_release({v.track.x, v.track.y, v.track.w, 1});
    EXPECT_EQ(view.log().top(), last - size_t(view.log().rows()));

    // Dragging the thumb to the top of the track goes to the first line,
    // to the bottom to the last.
    v = scroll_bar_parts(L::kVerticalBar, true, int64_t(view.log().top()), int64_t(last),
                         view.log().rows());
    int grab_x = v.thumb.x + 3, grab_y = v.thumb.y + 2;
    view.press(grab_x, grab_y);
    EXPECT_TRUE(view.motion(grab_x, v.track.y - 50).redraw);
    EXPECT_EQ(view.log().top(), 0u);
    view.motion(grab_x, v.track.y + v.track.h + 50);
    EXPECT_EQ(view.log().top(), last);
    view.release(grab_x, 0);
    EXPECT_FALSE(view.motion(grab_x, v.track.y).redraw);  // let go: no more dragging

    // The horizontal bar is off until a line is wider than the list.
    auto h = scroll_bar_parts(L::kHorizontalBar, false, 0, view.log().max_left(), L::kLines.w);
    EXPECT_FALSE(h.enabled);
    view.add_text(std::string(100, 'w'));  // 600 pixels
    EXPECT_EQ(view.log().extent(), 605);
    int max_left = 605 - L::kLines.w;
    EXPECT_EQ(view.log().max_left(), max_left);
    h = scroll_bar_parts(L::kHorizontalBar, false, 0, max_left, L::kLines.w);
    ASSERT_TRUE(h.enabled);
    EXPECT_EQ(h.thumb.x, h.track.x);
    press_release(h.more);
    EXPECT_EQ(view.log().left(), L::kColumnStep);
    // The track right of the thumb pages right, no further than the end.
    press_release({h.track.x + h.track.w - 1, h.track.y, 1, h.track.h});
    EXPECT_EQ(view.log().left(), L::kColumnStep + L::kLines.w);
    press_release({h.track.x + h.track.w - 1, h.track.y, 1, h.track.h});
    EXPECT_EQ(view.log().left(), max_left);
}

TEST_F(DebugViewTest, WheelAndKeysScroll) {
    fill(50);
    size_t last = view.log().max_top();
    EXPECT_TRUE(view.wheel(120).redraw);  // away from the user: up
    EXPECT_EQ(view.log().top(), last - L::kWheelLines);
    view.wheel(-240);
    EXPECT_EQ(view.log().top(), last);
    EXPECT_FALSE(view.wheel(-120).redraw);  // already at the end

    size_t page = size_t(view.log().rows());
    view.key(kUp, false);
    EXPECT_EQ(view.log().top(), last - 1);
    view.key(kPageUp, false);
    EXPECT_EQ(view.log().top(), last - 1 - page);
    view.key(kDown, false);
    view.key(kPageDown, false);
    EXPECT_EQ(view.log().top(), last);
    view.key(kHome, false);
    EXPECT_EQ(view.log().top(), 0u);
    view.key(kEnd, false);
    EXPECT_EQ(view.log().top(), last);

    view.add_text(std::string(100, 'w'));
    view.key(kRight, false);
    view.key(kRight, false);
    EXPECT_EQ(view.log().left(), 2 * L::kColumnStep);
    view.key(kLeft, false);
    EXPECT_EQ(view.log().left(), L::kColumnStep);
}

TEST_F(DebugViewTest, DrawsTheLinesFromTheTopLineInsideTheList) {
    std::vector<uint32_t> frame(size_t(L::kWidth) * L::kHeight, 0x123456);
    auto px = [&](int x, int y) { return frame[size_t(y) * L::kWidth + size_t(x)]; };
    auto dark_in = [&](PixelRect r) {
        int n = 0;
        for (int y = r.y; y < r.y + r.h; ++y)
            for (int x = r.x; x < r.x + r.w; ++x) n += px(x, y) == 0;
        return n;
    };
    view.draw(frame.data(), L::kWidth, L::kHeight);
    EXPECT_EQ(px(0, 0), 0xF0F0F0u);                      // the dialog's face
    EXPECT_EQ(px(L::kLines.x, L::kLines.y), 0xFFFFFFu);  // an empty list
    EXPECT_EQ(dark_in(L::kLines), 0);
    EXPECT_GT(dark_in(L::kClearButton), 0);  // the labels
    EXPECT_GT(dark_in(L::kCloseButton), 0);

    // One line on the first row only; the text never leaves the list.
    view.add_text(std::string(100, 'w'));
    std::fill(frame.begin(), frame.end(), 0x123456);
    view.draw(frame.data(), L::kWidth, L::kHeight);
    PixelRect first_row{L::kLines.x, L::kLines.y, L::kLines.w, view.row_height()};
    PixelRect below{L::kLines.x, L::kLines.y + view.row_height(), L::kLines.w,
                    L::kLines.h - view.row_height()};
    EXPECT_GT(dark_in(first_row), 0);
    EXPECT_EQ(dark_in(below), 0);
    EXPECT_EQ(dark_in(L::kVerticalBar), 0);
    EXPECT_EQ(px(L::kList.x, L::kList.y), 0x828790u);  // the border stays
}
