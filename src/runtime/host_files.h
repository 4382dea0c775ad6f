// The host file system as scripts see it: script paths (CP932, "\" or "/",
// case ignored) resolved against the engine's current folder, paths handed
// back with "\" separators and a trailing "\", directory searches filling the
// platform's 318-byte find record, attributes, local-time file times, and
// copies and moves that never leave half-written or replaced files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tob {

// A host path in script form: CP932, "\" between components and at the end
// ("/home/a" gives "\home\a\", the root "\"); nullopt when a character has no
// CP932 form.
std::optional<std::string> script_folder_text(const std::filesystem::path& folder);

// Strict UTF-8 -> CP932; nullopt when a character has no CP932 form.
std::optional<std::string> strict_cp932(std::string_view utf8);

// A script path resolved against the current folder.
std::filesystem::path resolve_script_path(std::string_view cp932_path);

// File attributes as scripts know them.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrNormalFile = 0x20;
inline constexpr uint32_t kAttrMissing = 0xFFFFFFFF;

// 100 ns units since 1601-01-01 UTC.
uint64_t file_time_of(int64_t sec, int64_t nsec);

// One entry of a directory search.
struct FoundEntry {
    std::string name;  // CP932, "?" for characters without a CP932 form
    uint32_t attributes = 0;
    uint64_t created = 0, accessed = 0, written = 0;  // file times
    uint64_t size = 0;
};

// The find record scripts receive.
inline constexpr uint32_t kFindRecordSize = 318;
namespace find_record {
inline constexpr size_t kAttributes = 0;
inline constexpr size_t kCreated = 4;
inline constexpr size_t kAccessed = 12;
inline constexpr size_t kWritten = 20;
inline constexpr size_t kSizeHigh = 28;
inline constexpr size_t kSizeLow = 32;
inline constexpr size_t kName = 44;
inline constexpr size_t kNameSize = 260;
inline constexpr size_t kShortName = 304;
}  // namespace find_record
void write_find_record(const FoundEntry& e, uint8_t* record);

// Every entry matching a script pattern whose last component may hold
// wildcards: "." and ".." first (not in the root), then the names in
// case-insensitive order. Empty when the folder is missing.
std::vector<FoundEntry> search_entries(std::string_view cp932_pattern);

// Open searches: handles 1-64.
class FindTable {
  public:
    static constexpr int kSlots = 64;
    // A handle, with `first` pointing at its first entry, or -1 when nothing
    // matches or every slot is taken. Entries stay put until their search
    // is closed.
    int32_t open(std::string_view cp932_pattern, const FoundEntry*& first);
    // The next entry; nullptr when the handle is unknown or exhausted.
    const FoundEntry* next(int32_t handle);
    bool close(int32_t handle);
    void close_all();

  private:
    struct Search {
        bool open = false;
        std::vector<FoundEntry> entries;
        size_t next = 0;
    };
    std::array<Search, kSlots> slots_;
};
FindTable& find_table();

// Attributes of a path, kAttrMissing when it does not exist.
uint32_t file_attributes(const std::filesystem::path& p);
// Applies the read-only bit of `attributes` (the others are accepted).
bool set_file_attributes(const std::filesystem::path& p, uint32_t attributes);

// The platform's local-time record: year, month, day of week, day, hour,
// minute, second, milliseconds.
struct SystemTime {
    uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
void write_system_time(const SystemTime& t, uint8_t* record);
SystemTime read_system_time(const uint8_t* record);
// Local time (TZ honoured) of a time since the epoch, and back; nullopt for
// a record that names no valid time.
SystemTime local_system_time(int64_t sec, int64_t nsec);
std::optional<struct timespec> from_local_system_time(const SystemTime& t);

// Creation (birth time where the file system keeps it, else modification),
// access and modification times; nullopt when the file cannot be opened.
struct FileTimes {
    struct timespec created, accessed, written;
};
std::optional<FileTimes> file_times(const std::filesystem::path& p);
// Sets access and modification times (nullptr leaves one unchanged).
bool set_file_times(const std::filesystem::path& p, const struct timespec* accessed,
                    const struct timespec* written);

// Copies a regular file's contents, read-only bit and modification time
// through a temporary file renamed into place.
bool copy_host_file(const std::filesystem::path& from, const std::filesystem::path& to,
                    bool fail_if_exists);
// Moves or renames; never replaces an existing destination. Across file
// systems, files are copied and the source deleted.
bool move_host_file(const std::filesystem::path& from, const std::filesystem::path& to);
// Deletes a file; directories and read-only files are refused.
bool delete_host_file(const std::filesystem::path& p);
bool create_host_folder(const std::filesystem::path& p);
bool delete_host_folder(const std::filesystem::path& p);
// Makes `p` the current folder (and the process's working directory).
bool change_current_folder(const std::filesystem::path& p);

// The special folders of `dir_getpath` on this host; nullopt when unknown
// or missing.
std::optional<std::filesystem::path> special_folder(int32_t id);

}  // namespace tob
