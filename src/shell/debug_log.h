// The debug output window's contents: the list of lines with its widest line
// and horizontal extent, the scroll positions, and the hand-over of texts
// from script threads to the window thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tob {

// The list as a list box keeps it: lines added at the end, the top line and
// the left edge of what shows, clamped to what can be scrolled.
class DebugLog {
  public:
    // Extra pixels past the widest line, so that its end is not at the edge.
    static constexpr int kExtentMargin = 5;

    // Adds a line `width` pixels wide at the end and scrolls so that it is the
    // top line, as far as the list scrolls (the last page shows at most).
    void add(std::string text, int width);
    // Empties the list: no lines, extent 0, back at the top-left.
    void clear();

    size_t size() const { return lines_.size(); }
    const std::string& line(size_t i) const { return lines_[i]; }
    int widest() const { return widest_; }
    // The width that scrolls horizontally: widest + 5, or 0 for an empty list.
    int extent() const { return extent_; }

    // What shows: `rows` whole lines of `width` pixels.
    void set_view(int rows, int width);
    int rows() const { return rows_; }
    int view_width() const { return view_width_; }

    size_t top() const { return top_; }
    size_t max_top() const;
    void set_top(int64_t top);
    void scroll_lines(int64_t n) { set_top(int64_t(top_) + n); }
    void scroll_pages(int64_t n) { set_top(int64_t(top_) + n * rows_); }

    int left() const { return left_; }
    int max_left() const;
    void set_left(int64_t left);

  private:
    std::vector<std::string> lines_;
    int widest_ = 0;
    int extent_ = 0;
    int rows_ = 1;
    int view_width_ = 1;
    size_t top_ = 0;
    int left_ = 0;
};

// Texts and clears on their way from script threads to the window thread, in
// the order they were sent. Nothing here waits for the window thread, and
// nothing sent is dropped.
class DebugInbox {
  public:
    struct Entry {
        bool clear = false;
        std::string text;  // CP932
    };
    // Any thread. True when the inbox was empty, so the reader wants waking.
    bool push_text(std::string_view cp932);
    bool push_clear();
    // The reader takes everything queued so far.
    std::vector<Entry> take();

  private:
    bool push(Entry e);

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace tob
