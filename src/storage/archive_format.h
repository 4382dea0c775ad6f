// The archive file layout: "QRV-ARC2" header, scrambled directory of 12-byte
// entries, plain name block, member data. Shared by the reader, the writer and
// the tools; the member order (archive_name_compare) lives here too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tob {

inline constexpr std::array<uint8_t, 8> kArchiveMagic = {'Q', 'R', 'V', '-', 'A', 'R', 'C', '2'};
// The fixed key mixed into every scrambling key.
inline constexpr uint32_t kArchiveKey = 0x5D2E7A41;
// The extension that makes a directory name an archive name.
inline constexpr std::string_view kArchiveExtension = ".bin";

// On-disk header; fields are little-endian.
struct ArchiveHeader {
    uint8_t magic[8];
    uint8_t seed[4];
    uint8_t scrambled_count[4];
    uint8_t scrambled_names_size[4];
};
static_assert(sizeof(ArchiveHeader) == 20);
static_assert(offsetof(ArchiveHeader, seed) == 8);
static_assert(offsetof(ArchiveHeader, scrambled_count) == 12);
static_assert(offsetof(ArchiveHeader, scrambled_names_size) == 16);

// On-disk directory entry, after unscrambling; fields are little-endian words.
struct ArchiveEntryLayout {
    uint8_t name_offset[4];  // into the name block; the name is zero-terminated
    uint8_t data_offset[4];  // absolute position in the archive file
    uint8_t data_size[4];
};
static_assert(sizeof(ArchiveEntryLayout) == 12);
static_assert(offsetof(ArchiveEntryLayout, data_offset) == 4);
static_assert(offsetof(ArchiveEntryLayout, data_size) == 8);

inline constexpr uint32_t kArchiveWordsPerEntry = sizeof(ArchiveEntryLayout) / 4;

// The key mixing function of the scrambling.
constexpr uint32_t archive_mix(uint32_t x) {
    return x ^ ((x ^ (x >> 1)) >> 3) ^ ((x ^ (x << 1)) << 3);
}

// The sequence of keys: the count's key, the names size's key, then one key per
// directory word, each derived from the previous one.
class ArchiveKeyChain {
  public:
    explicit constexpr ArchiveKeyChain(uint32_t seed) : key_(seed) {}
    constexpr uint32_t next() {
        key_ = archive_mix(key_ ^ kArchiveKey);
        return key_;
    }

  private:
    uint32_t key_;
};

// The order of archive members: outside double-byte characters ASCII letters
// fold to lower case and "/" to "\", then bytes compare unsigned; a prefix sorts
// first. This
// stands in for the platform's locale-dependent case-insensitive order; archives
// sorted otherwise are still found by a linear scan after a missed search.
int archive_name_compare(std::string_view a, std::string_view b);

}  // namespace tob
