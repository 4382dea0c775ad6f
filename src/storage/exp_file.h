// ExpFile: the expanded-file reader (`OpenExpFile`). A compressed file is
// expanded completely at open and read from memory; any other file, plain or in
// an archive, is read through as it is stored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/archive_reader.h"

namespace tob {

class ExpFile {
  public:
    // Opens a script path (see ArchiveReader::open) relative to `base`, the
    // game's folder. Failures are reported at level 2.
    static std::optional<ExpFile> open(std::string_view cp932_path,
                                       const std::filesystem::path& base);

    bool in_memory() const { return !reader_; }
    int64_t size() const;
    // In memory: origins 0, 1, 2; the result must lie in [0, size], else -1 and
    // nothing moves; other origins return the position unchanged. Otherwise the
    // reader's seek.
    int64_t seek(int64_t offset, int origin);
    // Reads up to `count` bytes. False on an I/O error.
    bool read(void* buf, size_t count, size_t* bytes_read = nullptr);

  private:
    friend std::optional<std::vector<uint8_t>> read_expanded_file(std::string_view,
                                                                  const std::filesystem::path&);
    ExpFile() = default;
    std::vector<uint8_t> data_;  // expanded contents (in memory)
    size_t pos_ = 0;
    std::optional<ArchiveReader> reader_;  // pass-through
};

// The whole contents of a file, expanded if it is compressed, found plain or in
// an archive, relative to `base`. Failures are reported at level 2.
std::optional<std::vector<uint8_t>> read_expanded_file(std::string_view cp932_path,
                                                       const std::filesystem::path& base);
// The same as text, read straight into the string, with room reserved for
// `room` more bytes behind the contents (script sources get a newline).
std::optional<std::string> read_expanded_text(std::string_view cp932_path,
                                              const std::filesystem::path& base, size_t room = 0);

// Writes `data` compressed to a new file at a script path (`pack_save`). False on
// any failure, which is reported; the file may remain, partly written. Empty data
// writes the 8-byte header (it expands to an empty file) and still returns false.
bool write_compressed_file(std::string_view cp932_path, std::span<const uint8_t> data,
                           const std::filesystem::path& base);

}  // namespace tob
