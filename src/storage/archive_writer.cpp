// The archive writer shared by `tobtool pack` and the tests.
#include "storage/archive_writer.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/byte_order.h"
#include "platform/file.h"
#include "storage/archive_format.h"

namespace tob {
namespace {

constexpr size_t kCopyBlock = 1 << 20;

struct Sized {
    std::string_view name;
    uint64_t size;
};

// Header, directory and names for members already in archive order; nullopt
// with `error` set when the archive cannot hold them.
std::optional<std::vector<uint8_t>> layout(const std::vector<Sized>& members, uint32_t seed,
                                           std::string& error) {
    for (size_t i = 0; i < members.size(); ++i) {
        if (members[i].name.empty()) {
            error = "a member has an empty name";
            return std::nullopt;
        }
        if (i > 0 && archive_name_compare(members[i - 1].name, members[i].name) == 0) {
            error = "two members have the same name ignoring case: " + std::string(members[i].name);
            return std::nullopt;
        }
    }
    uint64_t names_size = 0;
    for (const auto& m : members) names_size += m.name.size() + 1;
    uint64_t head =
        sizeof(ArchiveHeader) + members.size() * sizeof(ArchiveEntryLayout) + names_size;
    uint64_t end = head;
    for (const auto& m : members) end += m.size;
    if (end > std::numeric_limits<uint32_t>::max()) {
        error = "the archive would pass 4 GiB";
        return std::nullopt;
    }

    std::vector<uint8_t> out(size_t(head), 0);
    ArchiveKeyChain keys(seed);
    std::copy(kArchiveMagic.begin(), kArchiveMagic.end(), out.begin());
    store_le32(&out[offsetof(ArchiveHeader, seed)], seed);
    store_le32(&out[offsetof(ArchiveHeader, scrambled_count)],
               uint32_t(members.size()) ^ keys.next());
    store_le32(&out[offsetof(ArchiveHeader, scrambled_names_size)],
               uint32_t(names_size) ^ keys.next());
    size_t entry_at = sizeof(ArchiveHeader);
    size_t name_at = size_t(head - names_size);
    uint32_t name_offset = 0;
    uint64_t data_offset = head;
    for (const auto& m : members) {
        uint32_t words[kArchiveWordsPerEntry] = {name_offset, uint32_t(data_offset),
                                                 uint32_t(m.size)};
        for (uint32_t w : words) {
            store_le32(&out[entry_at], w ^ keys.next());
            entry_at += 4;
        }
        std::copy(m.name.begin(), m.name.end(),
                  out.begin() + std::ptrdiff_t(name_at + name_offset));
        name_offset += uint32_t(m.name.size() + 1);
        data_offset += m.size;
    }
    return out;
}

template <typename T>
void sort_by_name(std::vector<T>& members) {
    std::stable_sort(members.begin(), members.end(), [](const T& a, const T& b) {
        return archive_name_compare(a.name, b.name) < 0;
    });
}

}  // namespace

ArchiveWriteResult write_archive(const std::filesystem::path& out_path,
                                 std::vector<ArchiveInput> members, uint32_t seed) {
    ArchiveWriteResult result;
    sort_by_name(members);
    std::vector<File> inputs;
    std::vector<Sized> sized;
    for (const auto& m : members) {
        auto f = File::open_read(m.host_path);
        auto size = f ? f->size() : std::nullopt;
        if (!size) {
            result.error = "cannot read " + m.host_path.string();
            return result;
        }
        inputs.push_back(std::move(*f));
        sized.push_back({m.name, *size});
    }
    auto head = layout(sized, seed, result.error);
    if (!head) return result;

    auto out = File::create(out_path);
    if (!out) {
        result.error = "cannot create " + out_path.string();
        return result;
    }
    if (!out->write(head->data(), head->size())) {
        result.error = "cannot write " + out_path.string();
        return result;
    }
    std::vector<uint8_t> block(kCopyBlock);
    for (size_t i = 0; i < inputs.size(); ++i) {
        for (uint64_t done = 0; done < sized[i].size;) {
            size_t want = size_t(std::min<uint64_t>(block.size(), sized[i].size - done));
            if (!inputs[i].read_exact_at(done, block.data(), want)) {
                result.error = "cannot read " + members[i].host_path.string() + " (did it change?)";
                return result;
            }
            if (!out->write(block.data(), want)) {
                result.error = "cannot write " + out_path.string();
                return result;
            }
            done += want;
        }
    }
    if (!out->close()) {
        result.error = "cannot write " + out_path.string();
        return result;
    }
    result.ok = true;
    return result;
}

std::vector<uint8_t> build_archive(std::vector<ArchiveMemoryInput> members, uint32_t seed) {
    sort_by_name(members);
    std::vector<Sized> sized;
    for (const auto& m : members) sized.push_back({m.name, m.data.size()});
    std::string error;
    auto out = layout(sized, seed, error);
    if (!out) return {};
    for (const auto& m : members) out->insert(out->end(), m.data.begin(), m.data.end());
    return std::move(*out);
}

}  // namespace tob
