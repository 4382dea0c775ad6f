// Whole-file helpers of tobtool.
#include "tool_io.h"

#include <cstdio>
#include <new>

#include "platform/file.h"

namespace tobtool {

void print_error(const char* command, const std::string& message) {
    std::fprintf(stderr, "tobtool %s: %s\n", command, message.c_str());
}

std::optional<std::vector<uint8_t>> read_whole_file(const std::filesystem::path& path) {
    auto file = tob::File::open_read(path);
    auto size = file ? file->size() : std::nullopt;
    if (!size) return std::nullopt;
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(*size));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!file->read_exact_at(0, data.data(), data.size())) return std::nullopt;
    return data;
}

bool write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> data) {
    auto file = tob::File::create(path);
    return file && file->write(data.data(), data.size()) && file->close();
}

}  // namespace tobtool
