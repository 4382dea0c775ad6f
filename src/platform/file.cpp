// POSIX implementation of File. Opens go through the platform library's
// CreateFileA, so a hook library that rewrites it sees every open.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/winapi.h"

namespace tob {

namespace {

// The descriptor behind a handle from CreateFileA; -1 for a failed open.
int descriptor_of(HANDLE h) {
    auto v = reinterpret_cast<intptr_t>(h);
    return h == TOB_INVALID_HANDLE_VALUE || v < 0 || v > std::numeric_limits<int>::max() ? -1
                                                                                         : int(v);
}

}  // namespace

std::optional<File> File::open_read(const std::filesystem::path& path) {
    int fd = descriptor_of(CreateFileA(path.c_str(), TOB_GENERIC_READ, TOB_FILE_SHARE_READ, nullptr,
                                       TOB_OPEN_EXISTING, TOB_FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (fd < 0) return std::nullopt;
    File f(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return f;
}

std::optional<File> File::create(const std::filesystem::path& path) {
    int fd = descriptor_of(CreateFileA(path.c_str(), TOB_GENERIC_WRITE, 0, nullptr,
                                       TOB_CREATE_ALWAYS, TOB_FILE_ATTRIBUTE_NORMAL, nullptr));
    if (fd < 0) return std::nullopt;
    return File(fd);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<FileStamp> File::stamp() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return FileStamp{uint64_t(st.st_size),
                     int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

std::optional<uint64_t> File::size() const {
    auto s = stamp();
    if (!s) return std::nullopt;
    return s->size;
}

std::optional<size_t> File::read_at(uint64_t offset, void* buf, size_t n) const {
    if (fd_ < 0 || offset > uint64_t(std::numeric_limits<off_t>::max())) return std::nullopt;
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, off_t(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return std::nullopt;
        if (r == 0) break;
        done += size_t(r);
    }
    return done;
}

bool File::read_exact_at(uint64_t offset, void* buf, size_t n) const {
    auto got = read_at(offset, buf, n);
    return got && *got == n;
}

bool File::write(const void* buf, size_t n) {
    const auto* p = static_cast<const char*>(buf);
    while (n > 0) {
        ssize_t w = ::write(fd_, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

bool File::close() {
    if (fd_ < 0) return false;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
}

}  // namespace tob
