// The archive-aware open and the member-bounded reads and seeks, with a small
// cache of parsed directories keyed by archive path, size and modification time.
#include "storage/archive_reader.h"

#include <bit>
#include <cstring>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "base/error_report.h"
#include "platform/byte_order.h"
#include "platform/cp932.h"
#include "platform/paths.h"
#include "storage/archive_directory.h"
#include "storage/archive_format.h"

namespace tob {
namespace {

constexpr uint32_t kReportLevel = 2;
constexpr const char* kMsgNoMemory = "OpenFastFile : メモリ不足です。";
constexpr const char* kMsgOpenFailed = "ファイルのオープンに失敗しました。FILE - %s";
constexpr const char* kMsgReadFailed = "ファイルの読み込み失敗しました。FILE - %s";
constexpr const char* kMsgNotFound = "ファイルが見つかりません。FILE - %s";
constexpr const char* kMsgSeekFailed = "ファイルのシークに失敗しました。FILE - %s";
constexpr size_t kDirectoryCacheSize = 8;

class DirectoryCache {
  public:
    std::shared_ptr<const ArchiveDirectory> get(const std::string& path, const FileStamp& stamp) {
        std::lock_guard lock(mutex_);
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (it->path == path && it->stamp == stamp) {
                items_.splice(items_.begin(), items_, it);  // most recently used first
                return it->directory;
            }
        }
        return nullptr;
    }
    void put(const std::string& path, const FileStamp& stamp,
             std::shared_ptr<const ArchiveDirectory> dir) {
        std::lock_guard lock(mutex_);
        items_.remove_if([&](const Item& i) { return i.path == path; });
        items_.push_front({path, stamp, std::move(dir)});
        if (items_.size() > kDirectoryCacheSize) items_.pop_back();
    }
    void clear() {
        std::lock_guard lock(mutex_);
        items_.clear();
    }

  private:
    struct Item {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<const ArchiveDirectory> directory;
    };
    std::mutex mutex_;
    std::list<Item> items_;
};

DirectoryCache& directory_cache() {
    static DirectoryCache cache;
    return cache;
}

// The archive's checked directory, from the cache or read now. Reports failures.
std::shared_ptr<const ArchiveDirectory> load_directory(const File& file,
                                                       const std::filesystem::path& host,
                                                       const FileStamp& stamp,
                                                       const std::string& shown_path) {
    if (auto cached = directory_cache().get(host.native(), stamp)) return cached;
    auto result =
        ArchiveDirectory::parse([&file](uint64_t offset, void* dst,
                                        size_t n) { return file.read_exact_at(offset, dst, n); },
                                stamp.size);
    if (!result.directory) {
        if (result.error == ArchiveError::kNoMemory) {
            report_error(kReportLevel, "%s", kMsgNoMemory);
        } else {
            report_error(kReportLevel, kMsgReadFailed, shown_path.c_str());
        }
        return nullptr;
    }
    auto dir = std::make_shared<const ArchiveDirectory>(std::move(*result.directory));
    directory_cache().put(host.native(), stamp, dir);
    return dir;
}

}  // namespace

void clear_archive_directory_cache() {
    directory_cache().clear();
}

std::optional<ArchiveReader> ArchiveReader::open(std::string_view path,
                                                 const std::filesystem::path& base) {
    if (auto plain = File::open_read(to_host_path(path, base))) {
        return ArchiveReader(std::move(*plain), false, 0, 0);
    }
    std::string shown = cp932_to_utf8(path);

    std::optional<File> archive;
    std::filesystem::path archive_host;
    std::string_view member;
    auto separators = path_separator_positions(path);
    for (auto it = separators.rbegin(); it != separators.rend() && !archive; ++it) {
        std::string_view prefix = path.substr(0, *it);
        // No archive stands for a root, a drive ("C:") or an empty component.
        bool after_separator = std::next(it) != separators.rend() && *std::next(it) + 1 == *it;
        if (prefix.empty() || after_separator || (prefix.size() == 2 && prefix[1] == ':')) continue;
        archive_host = to_host_path(std::string(prefix) + std::string(kArchiveExtension), base);
        archive = File::open_read(archive_host);
        member = path.substr(*it + 1);
    }
    if (!archive) {
        report_error(kReportLevel, kMsgOpenFailed, shown.c_str());
        return std::nullopt;
    }

    auto stamp = archive->stamp();
    if (!stamp) {
        report_error(kReportLevel, kMsgReadFailed, shown.c_str());
        return std::nullopt;
    }
    auto dir = load_directory(*archive, archive_host, *stamp, shown);
    if (!dir) return std::nullopt;
    auto found = dir->find(member);
    if (!found) {
        report_error(kReportLevel, kMsgNotFound, shown.c_str());
        return std::nullopt;
    }
    if (uint64_t(found->offset) + found->size > stamp->size) {
        report_error(kReportLevel, kMsgSeekFailed, shown.c_str());
        return std::nullopt;
    }
    return ArchiveReader(std::move(*archive), true, found->offset, found->size);
}

int64_t ArchiveReader::size() const {
    if (in_archive_) return int64_t(size_);
    auto s = file_.size();
    return s ? int64_t(*s) : -1;
}

int64_t ArchiveReader::seek(int64_t offset, int origin) {
    int64_t from;
    switch (origin) {
        case kSeekSet:
            from = 0;
            break;
        case kSeekCurrent:
            from = int64_t(pos_ - base_);
            break;
        case kSeekEnd:
            from = size();
            break;
        default:
            return -1;
    }
    if (from < 0) return -1;
    int64_t target;
    if (__builtin_add_overflow(from, offset, &target)) return -1;
    if (target < 0 || (in_archive_ && uint64_t(target) > size_)) return -1;
    pos_ = base_ + uint64_t(target);
    return target;
}

bool ArchiveReader::read(void* buf, size_t count, size_t* bytes_read) {
    if (bytes_read) *bytes_read = 0;
    if (in_archive_) count = size_t(std::min<uint64_t>(count, base_ + size_ - pos_));
    auto got = file_.read_at(pos_, buf, count);
    if (!got) return false;
    pos_ += *got;
    if (bytes_read) *bytes_read = *got;
    return true;
}

uint8_t ArchiveReader::read_u8() {
    uint8_t b = 0;
    read(&b, 1);
    return b;
}

uint16_t ArchiveReader::read_u16() {
    uint8_t b[2] = {};
    read(b, 2);
    return load_le16(b);
}

float ArchiveReader::read_f32() {
    uint8_t b[4] = {};
    read(b, 4);
    return std::bit_cast<float>(load_le32(b));
}

}  // namespace tob
