// An open host file owned by one object (RAII over a POSIX descriptor): the
// engine's file handle. Reads are positional, so one File can serve readers that
// keep their own positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace tob {

// What identifies one version of a file: its size and modification time.
struct FileStamp {
    uint64_t size = 0;
    int64_t mtime_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

class File {
  public:
    // Opens an existing regular file for reading (directories and devices do not
    // open), hinting sequential access.
    static std::optional<File> open_read(const std::filesystem::path& path);
    // Creates a new, empty file for writing (truncating an existing one).
    static std::optional<File> create(const std::filesystem::path& path);

    File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    std::optional<FileStamp> stamp() const;
    std::optional<uint64_t> size() const;

    // Reads up to n bytes at offset; fewer only at the end of the file.
    // Nullopt on an I/O error.
    std::optional<size_t> read_at(uint64_t offset, void* buf, size_t n) const;
    // Reads exactly n bytes at offset; false on an error or a short file.
    bool read_exact_at(uint64_t offset, void* buf, size_t n) const;
    // Appends all n bytes at the file's position; false on any error.
    bool write(const void* buf, size_t n);
    // Closes now and tells whether the close succeeded (buffered data written).
    bool close();

  private:
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace tob
