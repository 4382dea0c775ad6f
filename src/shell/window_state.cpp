#include "shell/window_state.h"

namespace tob {

void CharacterRing::push(uint8_t c) {
    uint32_t head = head_.load();
    bytes_[head] = c;
    head = (head + 1) % kSize;
    head_.store(head);
    if (head == tail_.load()) tail_.store((head + 1) % kSize);
}

int CharacterRing::pop() {
    uint32_t tail = tail_.load();
    if (tail == head_.load()) return -1;
    int c = bytes_[tail];
    tail_.store((tail + 1) % kSize);
    return c;
}

void CharacterRing::clear() {
    tail_.store(head_.load());
}

void WindowState::button_down(MouseButton b, bool double_click) {
    int index = b == kLeftButton ? 0 : b == kRightButton ? 1 : 2;
    clicks[size_t(index)].fetch_add(1);
    if (double_click) clicks[size_t(index + 3)].fetch_add(1);
    buttons.fetch_or(b);
}

void WindowState::button_up(MouseButton b) {
    buttons.fetch_and(~uint32_t(b));
}

WindowState& window_state() {
    static WindowState state;
    return state;
}

}  // namespace tob
