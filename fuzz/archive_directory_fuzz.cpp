// Fuzz target: archive directories. Any bytes either parse into a directory whose
// names and members all lie inside the input, or are rejected.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "storage/archive_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> input(data, size);
    auto parsed = tob::ArchiveDirectory::parse(input);
    if (!parsed.directory) return 0;
    const auto& dir = *parsed.directory;
    for (size_t i = 0; i < dir.count(); ++i) {
        auto m = dir.member(i);
        if (uint64_t(m.offset) + m.size > size) std::abort();
        std::string name(m.name);  // touches every byte of the name
        if (!dir.find(name)) std::abort();
    }
    dir.find(std::string(reinterpret_cast<const char*>(data), size < 16 ? size : 16));
    return 0;
}
