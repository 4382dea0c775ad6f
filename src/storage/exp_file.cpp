// The expanded-file reader and the compressed-file writer over the file layer.
#include "storage/exp_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "base/error_report.h"
#include "platform/cp932.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "storage/lzw.h"

namespace tob {
namespace {

constexpr uint32_t kReportLevel = 2;
constexpr const char* kMsgInputBuffer = "ファイル入力バッファのメモリ確保に失敗しました";
constexpr const char* kMsgTable = "辞書オブジェクトの作成に失敗しました。";
constexpr const char* kMsgCorrupt = "圧縮ファイルが壊れています。FILE - %s";
constexpr const char* kMsgCreateFailed = "ファイルの作成に失敗しました FILE - %s";
constexpr const char* kMsgWriteFailed = "ビットデータの書き込みに失敗しました";
constexpr const char* kMsgCloseFailed = "ファイルの書き込みに失敗しました";

}  // namespace

std::optional<ExpFile> ExpFile::open(std::string_view path, const std::filesystem::path& base) {
    auto reader = ArchiveReader::open(path, base);
    if (!reader) return std::nullopt;
    ExpFile file;
    uint8_t magic[kCompressedMagic.size()];
    size_t got = 0;
    if (!reader->read(magic, sizeof magic, &got) || got != sizeof magic ||
        !is_compressed(std::span(magic))) {
        if (reader->seek(0, kSeekSet) != 0) return std::nullopt;
        file.reader_ = std::move(reader);
        return file;
    }

    // Compressed: the stored bytes come into memory whole, then expand.
    int64_t stored_size = reader->size();
    std::vector<uint8_t> stored;
    try {
        stored.resize(size_t(std::max<int64_t>(stored_size, 0)));
    } catch (const std::bad_alloc&) {
        report_error(kReportLevel, "%s", kMsgInputBuffer);
        return std::nullopt;
    }
    std::memcpy(stored.data(), magic, std::min(sizeof magic, stored.size()));
    size_t rest = 0;
    if (stored.size() < sizeof magic ||
        !reader->read(stored.data() + sizeof magic, stored.size() - sizeof magic, &rest)) {
        return std::nullopt;
    }
    stored.resize(sizeof magic + rest);
    LzwResult expanded = lzw_expand(stored);
    if (expanded.error == LzwError::kNoMemory) {
        report_error(kReportLevel, "%s", kMsgTable);
        return std::nullopt;
    }
    if (expanded.error != LzwError::kNone) {
        report_error(kReportLevel, kMsgCorrupt, cp932_to_utf8(path).c_str());
        return std::nullopt;
    }
    file.data_ = std::move(expanded.data);
    return file;
}

int64_t ExpFile::size() const {
    return reader_ ? reader_->size() : int64_t(data_.size());
}

int64_t ExpFile::seek(int64_t offset, int origin) {
    if (reader_) return reader_->seek(offset, origin);
    int64_t from;
    switch (origin) {
        case kSeekSet:
            from = 0;
            break;
        case kSeekCurrent:
            from = int64_t(pos_);
            break;
        case kSeekEnd:
            from = int64_t(data_.size());
            break;
        default:
            return int64_t(pos_);
    }
    int64_t target;
    if (__builtin_add_overflow(from, offset, &target) || target < 0 ||
        uint64_t(target) > data_.size()) {
        return -1;
    }
    pos_ = size_t(target);
    return target;
}

bool ExpFile::read(void* buf, size_t count, size_t* bytes_read) {
    if (reader_) return reader_->read(buf, count, bytes_read);
    size_t n = std::min(count, data_.size() - pos_);
    if (n > 0) std::memcpy(buf, data_.data() + pos_, n);
    pos_ += n;
    if (bytes_read) *bytes_read = n;
    return true;
}

std::optional<std::vector<uint8_t>> read_expanded_file(std::string_view cp932_path,
                                                       const std::filesystem::path& base) {
    auto file = ExpFile::open(cp932_path, base);
    if (!file) return std::nullopt;
    if (file->in_memory()) return std::move(file->data_);
    int64_t size = file->size();
    if (size < 0) return std::nullopt;
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        report_error(kReportLevel, "%s", kMsgInputBuffer);
        return std::nullopt;
    }
    size_t got = 0;
    if (!file->read(data.data(), data.size(), &got)) return std::nullopt;
    data.resize(got);  // a plain file may have shrunk since its size was taken
    return data;
}

std::optional<std::string> read_expanded_text(std::string_view cp932_path,
                                              const std::filesystem::path& base, size_t room) {
    auto file = ExpFile::open(cp932_path, base);
    if (!file) return std::nullopt;
    int64_t size = file->size();
    if (size < 0) return std::nullopt;
    std::string text;
    try {
        text.reserve(size_t(size) + room);
        text.resize(size_t(size));
    } catch (const std::exception&) {  // too large or out of memory
        report_error(kReportLevel, "%s", kMsgInputBuffer);
        return std::nullopt;
    }
    size_t got = 0;
    if (!file->read(text.data(), text.size(), &got)) return std::nullopt;
    text.resize(got);  // a plain file may have shrunk since its size was taken
    return text;
}

bool write_compressed_file(std::string_view cp932_path, std::span<const uint8_t> data,
                           const std::filesystem::path& base) {
    auto out = File::create(to_host_path(cp932_path, base));
    if (!out) {
        report_error(kReportLevel, kMsgCreateFailed, cp932_to_utf8(cp932_path).c_str());
        return false;
    }
    bool written = lzw_compress(data, [&out](std::span<const uint8_t> block) {
        return out->write(block.data(), block.size());
    });
    if (!written) report_error(kReportLevel, "%s", kMsgWriteFailed);
    if (!out->close()) {
        report_error(kReportLevel, "%s", kMsgCloseFailed);
        return false;
    }
    return written && !data.empty();
}

}  // namespace tob
