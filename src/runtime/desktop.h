// The desktop as scripts see it: message boxes and the window caption go to
// the window when there is one; without one (headless runs, tests) a message
// box goes to standard error and answers with its default button.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tob {

// Button codes scripts receive.
enum MessageBoxCode : uint32_t {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
    kIdTryAgain = 10,
    kIdContinue = 11,
};

// A message box decoded from a script's style bits.
struct MessageBoxRequest {
    enum Icon { None, Error, Warning, Information } icon = None;
    std::string caption_utf8;
    std::string text_utf8;
    struct Button {
        uint32_t code;
        const char* label;
    };
    std::vector<Button> buttons;  // left to right
    uint32_t default_code = kIdOk;
    uint32_t escape_code = 0;  // 0: Escape does nothing
};
// Buttons from style & 0xF, the default from style & 0xF00, the icon from
// style & 0xF0 (0x10 error, 0x30 warning, 0x40 information).
MessageBoxRequest message_box_request(uint32_t style, std::string caption_utf8,
                                      std::string text_utf8);

// What the window offers; set by the host while it has a window.
struct DesktopWindow {
    std::function<uint32_t(const MessageBoxRequest&)> message_box;
    std::function<bool(const std::string& title_utf8)> set_caption;
};
void set_desktop_window(DesktopWindow window);

// Shows the box (or reports it on standard error) and returns the button code.
uint32_t show_message_box(const MessageBoxRequest& request);
// Sets the window's title; true without a window too.
bool set_window_caption(const std::string& title_utf8);

}  // namespace tob
