// ArchiveReader: the engine's open file (`OpenFastFile`). A path names a plain
// file, or failing that a member of the archive that stands for one of its
// directories; reads and seeks of a member stay inside the member.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/file.h"

namespace tob {

// Seek origins as scripts pass them.
enum SeekOrigin : int { kSeekSet = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class ArchiveReader {
  public:
    // Opens `cp932_path` (a script path, see to_host_path) relative to `base`,
    // the game's folder. A plain file wins; otherwise the path is walked from the right and
    // the first "<prefix>.bin" that opens is the only archive searched for the rest
    // of the path. Failures are reported at level 2.
    static std::optional<ArchiveReader> open(std::string_view cp932_path,
                                             const std::filesystem::path& base);

    bool in_archive() const { return in_archive_; }
    // The member's size, or the plain file's current size (-1 if unknown).
    int64_t size() const;
    // Moves the position; returns the new position or -1 (nothing moves). A
    // member's positions are relative to its first byte and stay in [0, size].
    int64_t seek(int64_t offset, int origin);
    int64_t tell() const { return int64_t(pos_ - base_); }
    // Reads up to `count` bytes, never past a member's end. False on an I/O error.
    bool read(void* buf, size_t count, size_t* bytes_read = nullptr);
    // Little-endian values; missing bytes read as 0.
    uint8_t read_u8();
    uint16_t read_u16();
    float read_f32();

  private:
    ArchiveReader(File file, bool in_archive, uint64_t base, uint64_t size)
        : file_(std::move(file)), in_archive_(in_archive), base_(base), size_(size), pos_(base) {}

    File file_;
    bool in_archive_ = false;
    uint64_t base_ = 0;  // member's first byte in the archive (0 for a plain file)
    uint64_t size_ = 0;  // member's size (archive only)
    uint64_t pos_ = 0;   // absolute position in the file
};

// Drops the cached archive directories (they are also refreshed whenever an
// archive's size or modification time changes).
void clear_archive_directory_cache();

}  // namespace tob
