// The debug output's list and scroll positions, and the inbox that carries
// texts to the window thread.
#include "shell/debug_log.h"

#include <algorithm>

namespace tob {

void DebugLog::add(std::string text, int width) {
    if (width > widest_) {
        widest_ = width;
        extent_ = width + kExtentMargin;
    }
    lines_.push_back(std::move(text));
    set_top(int64_t(lines_.size()) - 1);
}

void DebugLog::clear() {
    lines_.clear();
    widest_ = 0;
    extent_ = 0;
    top_ = 0;
    left_ = 0;
}

void DebugLog::set_view(int rows, int width) {
    rows_ = std::max(rows, 1);
    view_width_ = std::max(width, 1);
    set_top(int64_t(top_));
    set_left(left_);
}

size_t DebugLog::max_top() const {
    return lines_.size() > size_t(rows_) ? lines_.size() - size_t(rows_) : 0;
}

void DebugLog::set_top(int64_t top) {
    top_ = size_t(std::clamp<int64_t>(top, 0, int64_t(max_top())));
}

int DebugLog::max_left() const {
    return std::max(0, extent_ - view_width_);
}

void DebugLog::set_left(int64_t left) {
    left_ = int(std::clamp<int64_t>(left, 0, max_left()));
}

bool DebugInbox::push_text(std::string_view cp932) {
    return push(Entry{false, std::string(cp932)});
}

bool DebugInbox::push_clear() {
    return push(Entry{true, {}});
}

bool DebugInbox::push(Entry e) {
    std::lock_guard lock(mutex_);
    bool was_empty = entries_.empty();
    entries_.push_back(std::move(e));
    return was_empty;
}

std::vector<DebugInbox::Entry> DebugInbox::take() {
    std::lock_guard lock(mutex_);
    std::vector<Entry> out;
    out.swap(entries_);
    return out;
}

}  // namespace tob
