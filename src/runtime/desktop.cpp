#include "runtime/desktop.h"

#include <cstdio>
#include <mutex>

namespace tob {
namespace {

std::mutex g_mutex;
DesktopWindow g_window;

DesktopWindow current_window() {
    std::lock_guard lock(g_mutex);
    return g_window;
}

}  // namespace

MessageBoxRequest message_box_request(uint32_t style, std::string caption_utf8,
                                      std::string text_utf8) {
    using B = MessageBoxRequest::Button;
    MessageBoxRequest r;
    r.caption_utf8 = std::move(caption_utf8);
    r.text_utf8 = std::move(text_utf8);
    switch (style & 0xF) {
        case 1:
            r.buttons = {B{kIdOk, "OK"}, B{kIdCancel, "Cancel"}};
            break;
        case 2:
            r.buttons = {B{kIdAbort, "Abort"}, B{kIdRetry, "Retry"}, B{kIdIgnore, "Ignore"}};
            break;
        case 3:
            r.buttons = {B{kIdYes, "Yes"}, B{kIdNo, "No"}, B{kIdCancel, "Cancel"}};
            break;
        case 4:
            r.buttons = {B{kIdYes, "Yes"}, B{kIdNo, "No"}};
            break;
        case 5:
            r.buttons = {B{kIdRetry, "Retry"}, B{kIdCancel, "Cancel"}};
            break;
        case 6:
            r.buttons = {B{kIdCancel, "Cancel"}, B{kIdTryAgain, "Try Again"},
                         B{kIdContinue, "Continue"}};
            break;
        default:
            r.buttons = {B{kIdOk, "OK"}};
            break;
    }
    size_t default_index = (style >> 8) & 0xF;
    if (default_index >= r.buttons.size()) default_index = 0;
    r.default_code = r.buttons[default_index].code;
    for (const B& b : r.buttons)
        if (b.code == kIdCancel) r.escape_code = kIdCancel;
    if (r.buttons.size() == 1) r.escape_code = kIdOk;
    switch (style & 0xF0) {
        case 0x10:
            r.icon = MessageBoxRequest::Error;
            break;
        case 0x30:
            r.icon = MessageBoxRequest::Warning;
            break;
        case 0x40:
            r.icon = MessageBoxRequest::Information;
            break;
        default:
            break;
    }
    return r;
}

void set_desktop_window(DesktopWindow window) {
    std::lock_guard lock(g_mutex);
    g_window = std::move(window);
}

uint32_t show_message_box(const MessageBoxRequest& request) {
    DesktopWindow w = current_window();
    if (w.message_box) return w.message_box(request);
    std::fprintf(stderr, "%s: %s\n", request.caption_utf8.c_str(), request.text_utf8.c_str());
    std::fflush(stderr);
    return request.default_code;
}

bool set_window_caption(const std::string& title_utf8) {
    DesktopWindow w = current_window();
    return w.set_caption ? w.set_caption(title_utf8) : true;
}

}  // namespace tob
