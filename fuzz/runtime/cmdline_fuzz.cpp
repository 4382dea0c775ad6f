// Command-line splitting: any bytes split without faults, and arguments
// without quotes, backslashes or blanks come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/host_programs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    auto args = tob::split_command_line(line);
    if (line.find_first_of("\"\\ \t") == std::string_view::npos && !line.empty()) {
        if (args.size() != 1 || args[0] != line) std::abort();
    }
    size_t total = 0;
    for (const auto& a : args) total += a.size();
    if (total > size) std::abort();
    return 0;
}
