// The error report every subsystem uses: a formatted message shown when the
// configured error level is at least the report's level. Texts are UTF-8 (script
// strings are converted from CP932 before they are formatted in).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tob {

// Caption of every error box.
inline constexpr const char* kErrorCaption = "TOB ERROR : Error";
// Largest formatted text; longer texts are cut on a character boundary.
inline constexpr size_t kErrorTextLimit = 1024;

// Where shown reports go: the window's message box, or standard error.
// `headless` sinks print regardless of the level (nobody could click a box).
struct ErrorSink {
    std::function<void(const std::string& text)> show;
    bool ignore_level = false;
    // Shows a report without waiting for it to be closed (threads that must
    // never block, such as a network session's); `show` when empty.
    std::function<void(const std::string& text)> post = nullptr;
};

// Reports `fmt` (printf-style) at `level`. Never fails, never overflows.
void report_error(uint32_t level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Reports an already formatted text (such as the compiler's collected
// messages) at `level`, uncut.
void report_error_text(uint32_t level, const std::string& text);

// Reports an already formatted text through the sink's posting path: the
// caller never waits for a click.
void post_error_text(uint32_t level, const std::string& text);

// Enables reports at levels up to `level` (the `Error` key); 0 or less disables
// them. Returns the previous level.
int32_t set_error_level(int32_t level);
int32_t error_level();

// Replaces the sink; returns the previous one. The default writes to stderr.
ErrorSink set_error_sink(ErrorSink sink);

// Formats like snprintf but cuts an over-long result on a UTF-8 boundary.
std::string format_bounded(size_t limit, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace tob
