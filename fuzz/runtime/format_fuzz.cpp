// Fuzzes the script formatter: the input is a format string, a zero byte, then
// argument words (little-endian). Some words point at a string in script memory,
// others anywhere; the output must stay within its limit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/format.h"

namespace {
constexpr size_t kLimit = 4095;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tob::ScriptMemory memory(1 << 20);
    static tob::ScriptAddr text = [] {
        tob::ScriptAddr a = memory.allocate(16);
        std::memcpy(memory.host(a, 12), "text\x83\x5c\x95", 8);
        return a;
    }();
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    size_t format_size = nul ? size_t(nul - data) : size;
    std::string_view format(reinterpret_cast<const char*>(data), format_size);
    std::vector<uint32_t> words;
    for (size_t i = format_size + 1; i + 4 <= size; i += 4) {
        uint32_t w = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
                     uint32_t(data[i + 3]) << 24;
        // Small words select the valid string (or a spot inside it).
        words.push_back(w < 16 ? text + w : w);
    }
    std::string out = tob::format_words(format, words, memory, kLimit);
    if (out.size() > kLimit) std::abort();
    return 0;
}
