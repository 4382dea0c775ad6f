// Whole-file reads and writes and error printing shared by tobtool's commands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tobtool {

// Prints "tobtool COMMAND: message" to standard error.
void print_error(const char* command, const std::string& message);

std::optional<std::vector<uint8_t>> read_whole_file(const std::filesystem::path& path);
bool write_whole_file(const std::filesystem::path& path, std::span<const uint8_t> data);

}  // namespace tobtool
