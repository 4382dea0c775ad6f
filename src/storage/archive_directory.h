// An archive's directory read into memory and checked: every entry's name ends
// inside the name block and every member lies inside the file, so lookups and
// reads never leave the archive. Lookup by member name is a binary search in the
// archive order with a linear case-insensitive scan after a miss.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tob {

enum class ArchiveError {
    kNone,
    kRead,          // the file could not be read as far as its header says
    kNotAnArchive,  // no "QRV-ARC2" magic
    kCorrupt,       // a size, offset or name points outside the file
    kNoMemory,
};

// A short English description, for tools.
const char* describe(ArchiveError e);

struct ArchiveMember {
    std::string_view name;  // CP932, "\" between directories
    uint32_t offset = 0;    // absolute position in the archive file
    uint32_t size = 0;
};

class ArchiveDirectory {
  public:
    // Reads n bytes at an absolute offset of the archive; false if it cannot.
    using ReadAt = std::function<bool(uint64_t offset, void* dst, size_t n)>;

    struct Result;
    static Result parse(const ReadAt& read_at, uint64_t file_size);
    static Result parse(std::span<const uint8_t> archive);

    uint32_t seed() const { return seed_; }
    size_t count() const { return entries_.size(); }
    ArchiveMember member(size_t index) const;

    // Finds a member by name in the archive order (archive_name_compare).
    std::optional<ArchiveMember> find(std::string_view cp932_name) const;

  private:
    struct Entry {
        uint32_t name_offset, name_length, offset, size;
    };
    uint32_t seed_ = 0;
    std::vector<Entry> entries_;
    std::vector<char> names_;
};

struct ArchiveDirectory::Result {
    std::optional<ArchiveDirectory> directory;
    ArchiveError error = ArchiveError::kNone;
};

}  // namespace tob
