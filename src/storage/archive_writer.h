// Writing archives: members sorted in the archive order, a scrambled directory
// and the plain name block, then the member data in directory order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tob {

struct ArchiveInput {
    std::string name;                 // CP932, "\" between directories
    std::filesystem::path host_path;  // where the member's data is read from
};

struct ArchiveWriteResult {
    bool ok = false;
    std::string error;  // English, for tools
};

// Writes an archive of `members` to `out`. Fails on empty or duplicate names
// (equal ignoring case), unreadable inputs and archives beyond 4 GiB.
ArchiveWriteResult write_archive(const std::filesystem::path& out,
                                 std::vector<ArchiveInput> members, uint32_t seed);

struct ArchiveMemoryInput {
    std::string name;
    std::vector<uint8_t> data;
};

// The same in memory; an empty result on the same failures.
std::vector<uint8_t> build_archive(std::vector<ArchiveMemoryInput> members, uint32_t seed);

}  // namespace tob
