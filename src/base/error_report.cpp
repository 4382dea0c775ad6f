#include "base/error_report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "base/settings.h"

namespace tob {
namespace {

std::atomic<int32_t> g_level{0};
std::mutex g_sink_mutex;

ErrorSink& sink() {
    static ErrorSink s{[](const std::string& text) {
                           std::fprintf(stderr, "%s: %s\n", kErrorCaption, text.c_str());
                       },
                       false};
    return s;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
void cut_utf8(std::string& text, size_t limit) {
    if (text.size() <= limit) return;
    size_t n = limit;
    while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80) --n;
    text.resize(n);
}

std::string vformat_bounded(size_t limit, const char* fmt, va_list ap) {
    std::string out(limit + 1, '\0');
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(out.data(), out.size(), fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (size_t(n) <= limit) {
        out.resize(size_t(n));
        return out;
    }
    // Format in full, then cut on a character boundary.
    std::string full(size_t(n) + 1, '\0');
    std::vsnprintf(full.data(), full.size(), fmt, ap);
    full.resize(size_t(n));
    cut_utf8(full, limit);
    return full;
}

}  // namespace

std::string format_bounded(size_t limit, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = vformat_bounded(limit, fmt, ap);
    va_end(ap);
    return s;
}

int32_t set_error_level(int32_t level) {
    return g_level.exchange(level);
}
int32_t error_level() {
    return g_level.load();
}

ErrorSink set_error_sink(ErrorSink s) {
    std::lock_guard lock(g_sink_mutex);
    ErrorSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

namespace {

// The sink that should show a report at `level`, or an empty one.
ErrorSink sink_for(uint32_t level) {
    ErrorSink current;
    {
        std::lock_guard lock(g_sink_mutex);
        current = sink();
    }
    if (!current.show || current.ignore_level) return current;
    auto off = [&] {
        current.show = nullptr;
        current.post = nullptr;
    };
    // Reports need error boxes enabled (Error > 0), the display switch on,
    // and a level no higher than the configured one (unsigned compare).
    int32_t configured = g_level.load();
    if (settings().error <= 0 || configured <= 0 || !settings().error_display ||
        uint32_t(configured) < level)
        off();
    return current;
}

}  // namespace

void report_error(uint32_t level, const char* fmt, ...) {
    ErrorSink current = sink_for(level);
    if (!current.show) return;
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat_bounded(kErrorTextLimit, fmt, ap);
    va_end(ap);
    current.show(text);
}

void report_error_text(uint32_t level, const std::string& text) {
    ErrorSink current = sink_for(level);
    if (current.show) current.show(text);
}

void post_error_text(uint32_t level, const std::string& text) {
    ErrorSink current = sink_for(level);
    if (current.post)
        current.post(text);
    else if (current.show)
        current.show(text);
}

}  // namespace tob
