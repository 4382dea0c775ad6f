// Where `log_out` and `log_clear` go: the debug output the shell installs (a
// window in debug mode, standard output in headless runs), or nothing.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>

namespace tob {

struct DebugOutput {
    std::function<void(std::string_view cp932_text)> write;  // one text, one line
    std::function<void()> clear;
};

// Installs (or, with nullopt, removes) the debug output. Thread-safe; a sink
// must not install another from inside its own calls.
void set_debug_output(std::optional<DebugOutput> output);

// Sends one text / clears the output; false when no output is installed.
bool debug_output_write(std::string_view cp932_text);
bool debug_output_clear();

// A sink printing each text to `stream` as one UTF-8 line (a newline added
// unless the text ends with one); clearing does nothing.
DebugOutput line_printer(std::FILE* stream);

}  // namespace tob
