// Reading, unscrambling and checking an archive directory; member lookup.
#include "storage/archive_directory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/byte_order.h"
#include "platform/cp932.h"
#include "storage/archive_format.h"

namespace tob {

const char* describe(ArchiveError e) {
    switch (e) {
        case ArchiveError::kNone:
            return "no error";
        case ArchiveError::kRead:
            return "the archive is shorter than its header says";
        case ArchiveError::kNotAnArchive:
            return "not an archive (no QRV-ARC2 magic)";
        case ArchiveError::kCorrupt:
            return "the archive directory is corrupt";
        case ArchiveError::kNoMemory:
            return "out of memory";
    }
    return "unknown error";
}

ArchiveDirectory::Result ArchiveDirectory::parse(const ReadAt& read_at, uint64_t file_size) {
    Result result;
    auto fail = [&](ArchiveError e) {
        result.error = e;
        return std::move(result);
    };
    ArchiveHeader header;
    if (file_size < sizeof header || !read_at(0, &header, sizeof header)) {
        return fail(ArchiveError::kRead);
    }
    if (!std::equal(kArchiveMagic.begin(), kArchiveMagic.end(), header.magic)) {
        return fail(ArchiveError::kNotAnArchive);
    }
    ArchiveDirectory dir;
    dir.seed_ = load_le32(header.seed);
    ArchiveKeyChain keys(dir.seed_);
    uint32_t count = load_le32(header.scrambled_count) ^ keys.next();
    uint32_t names_size = load_le32(header.scrambled_names_size) ^ keys.next();

    // All in 64 bits: a count near 2^32 must not wrap into a small allocation.
    uint64_t dir_bytes = uint64_t(count) * sizeof(ArchiveEntryLayout);
    if (sizeof header + dir_bytes + names_size > file_size) return fail(ArchiveError::kCorrupt);

    std::vector<uint8_t> raw;
    try {
        raw.resize(size_t(dir_bytes));
        dir.names_.resize(names_size);
        dir.entries_.resize(count);
    } catch (const std::bad_alloc&) {
        return fail(ArchiveError::kNoMemory);
    }
    if (!read_at(sizeof header, raw.data(), raw.size()) ||
        !read_at(sizeof header + dir_bytes, dir.names_.data(), names_size)) {
        return fail(ArchiveError::kRead);
    }

    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* p = raw.data() + size_t(i) * sizeof(ArchiveEntryLayout);
        for (uint32_t w = 0; w < kArchiveWordsPerEntry; ++w) {
            store_le32(p + 4 * w, load_le32(p + 4 * w) ^ keys.next());
        }
        Entry e{load_le32(p + offsetof(ArchiveEntryLayout, name_offset)), 0,
                load_le32(p + offsetof(ArchiveEntryLayout, data_offset)),
                load_le32(p + offsetof(ArchiveEntryLayout, data_size))};
        if (e.name_offset >= names_size) return fail(ArchiveError::kCorrupt);
        const char* name = dir.names_.data() + e.name_offset;
        const void* end = std::memchr(name, 0, names_size - e.name_offset);
        if (!end) return fail(ArchiveError::kCorrupt);
        e.name_length = uint32_t(static_cast<const char*>(end) - name);
        if (uint64_t(e.offset) + e.size > file_size) return fail(ArchiveError::kCorrupt);
        dir.entries_[i] = e;
    }
    result.directory = std::move(dir);
    return result;
}

ArchiveDirectory::Result ArchiveDirectory::parse(std::span<const uint8_t> archive) {
    return parse(
        [archive](uint64_t offset, void* dst, size_t n) {
            if (offset > archive.size() || n > archive.size() - offset) return false;
            if (n > 0) std::memcpy(dst, archive.data() + offset, n);
            return true;
        },
        archive.size());
}

ArchiveMember ArchiveDirectory::member(size_t index) const {
    const Entry& e = entries_[index];
    return {std::string_view(names_.data() + e.name_offset, e.name_length), e.offset, e.size};
}

std::optional<ArchiveMember> ArchiveDirectory::find(std::string_view cp932_name) const {
    size_t low = 0, high = entries_.size();  // the half-open range still to search
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        int c = archive_name_compare(cp932_name, member(middle).name);
        if (c == 0) return member(middle);
        if (c < 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    // Archives written in another case-insensitive order: the binary search may
    // have passed the member by.
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (archive_name_compare(cp932_name, member(i).name) == 0) return member(i);
    }
    return std::nullopt;
}

}  // namespace tob
