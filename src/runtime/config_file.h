// The engine's configuration file as scripts read and write it: the file is
// read again whenever its size or modification time changed since the last
// look, and every change is written at once through a temporary file renamed
// into place, so other programs' edits are seen and a crash never leaves half
// a file. Safe to use from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/ini_file.h"

namespace tob {

class ConfigFile {
  public:
    explicit ConfigFile(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& path() const { return path_; }

    // The integer value, or `fallback` when the section or key is missing.
    int32_t get_int(std::string_view section, std::string_view key, int32_t fallback);
    // The string value, or `fallback` when missing. A missing section lists
    // the file's sections and a missing key the section's keys: each name
    // followed by a zero byte and the list by one more.
    std::string get_string(std::optional<std::string_view> section,
                           std::optional<std::string_view> key, std::string_view fallback);
    // Sets a value; no value removes the key, no key the whole section.
    // False when the file could not be written.
    bool set(std::string_view section, std::optional<std::string_view> key,
             std::optional<std::string_view> value);

  private:
    // Reads the file again when it changed; the caller holds the lock.
    void refresh();

    std::filesystem::path path_;
    std::mutex mutex_;
    IniFile ini_;
    bool seen_ = false;
    bool exists_ = false;
    int64_t size_ = 0;
    int64_t mtime_sec_ = 0;
    int64_t mtime_nsec_ = 0;
};

// Copies `text` into a buffer of `size` bytes the way the platform's profile
// reader does: at most size - 1 bytes and a terminator, never splitting a
// double-byte character; a list (`is_list`, names ending in zero bytes) that
// does not fit is cut and ends in two zero bytes. Returns the bytes copied
// without the final terminator; 0 when size < 1.
uint32_t copy_profile_text(std::string_view text, bool is_list, uint8_t* buffer, uint32_t size);

// The configuration file of the running game (`settings().config_path`).
ConfigFile& game_config();

}  // namespace tob
