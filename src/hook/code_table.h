// The hook's code-page table file ("morvane_cp.tbl") and the conversion of the
// engine's double-byte text to UTF-16 through it, with plain CP932 for what the
// table does not map. Plain functions: the file is read through a TableSource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace morvane::hook {

inline constexpr char kTableFileName[] = "morvane_cp.tbl";
inline constexpr uint32_t kTableMagic = 0x5450434D;  // "MCPT"
inline constexpr uint32_t kTableVersion = 1;
inline constexpr size_t kTableHeaderBytes = 76;
inline constexpr size_t kTableFaceOffset = 12;
inline constexpr size_t kTableFaceBytes = 64;
inline constexpr size_t kTableEntries = 256 * 256;
inline constexpr uint64_t kTableFileBytes = kTableHeaderBytes + kTableEntries * 4;  // 262220

struct CodeTable {
    // Entry lead << 8 | trail: a Unicode scalar value, 0 for no mapping.
    std::unique_ptr<uint32_t[]> entries;
    uint32_t private_count = 0;
    char face[kTableFaceBytes] = {};  // zero-terminated, at most 63 bytes
};

// Where a table is read from: its size and reads at an offset.
class TableSource {
  public:
    virtual ~TableSource() = default;
    virtual std::optional<uint64_t> size() = 0;
    // Reads up to n bytes at offset; fewer at the end or on an error.
    virtual size_t read(uint64_t offset, void* buf, size_t n) = 0;
};

struct TableLoad {
    std::unique_ptr<CodeTable> table;  // null when the file was refused
    std::string message;               // the log line, success or failure
};

// Reads and checks a table file. Entries that are not Unicode scalar values
// (surrogates, above 0x10FFFF) are taken as no mapping.
TableLoad load_table(TableSource& source, const std::string& path);

// The log line for a table file that does not open.
std::string table_open_failed_message(const std::string& path, unsigned long error);

// Converts `length` bytes of engine text to UTF-16 into out[0, capacity): a
// double-byte pair the table maps becomes its character (two units above
// 0xFFFF) and sets used_private; other pairs go through CP932 and an unmapped
// one fails the whole conversion; single bytes go through CP932, or stand for
// themselves when CP932 has nothing for them. The number of units written, or
// -1 on failure (a pair without a mapping, or not enough room). Never writes
// at or past out + capacity.
ptrdiff_t convert_text(const char* text, size_t length, const CodeTable* table, char16_t* out,
                       size_t capacity, bool& used_private);

// CP932 text to UTF-8 for the log; nullopt when a character does not convert.
std::optional<std::string> cp932_to_utf8_for_log(const char* text, size_t length);

}  // namespace morvane::hook
