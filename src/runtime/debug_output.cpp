// The installed debug output, guarded by its own lock: the shell installs it
// from the window thread while script threads write to it.
#include "runtime/debug_output.h"

#include <mutex>
#include <string>

#include "platform/cp932.h"

namespace tob {
namespace {

std::mutex g_lock;
std::optional<DebugOutput> g_output;

}  // namespace

void set_debug_output(std::optional<DebugOutput> output) {
    std::lock_guard guard(g_lock);
    g_output = std::move(output);
}

bool debug_output_write(std::string_view text) {
    std::lock_guard guard(g_lock);
    if (!g_output) return false;
    if (g_output->write) g_output->write(text);
    return true;
}

bool debug_output_clear() {
    std::lock_guard guard(g_lock);
    if (!g_output) return false;
    if (g_output->clear) g_output->clear();
    return true;
}

DebugOutput line_printer(std::FILE* stream) {
    DebugOutput out;
    out.write = [stream](std::string_view text) {
        std::string line = cp932_to_utf8(text);
        if (line.empty() || line.back() != '\n') line += '\n';
        std::fwrite(line.data(), 1, line.size(), stream);
        std::fflush(stream);
    };
    out.clear = [] {};
    return out;
}

}  // namespace tob
