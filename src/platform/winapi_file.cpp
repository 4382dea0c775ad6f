// File functions of the platform library: opening and asking about files under
// the Win32 names and argument layouts, so that every open of the engine passes
// through one dynamic-linkage slot a hook library may rewrite.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/winapi.h"

namespace {

constexpr int kNoFlags = -1;

// The open(2) flags for an access mask and a disposition; kNoFlags for an
// unknown disposition.
int open_flags(DWORD access, DWORD disposition) {
    bool read = (access & (TOB_GENERIC_READ | TOB_GENERIC_ALL)) != 0;
    bool write = (access & (TOB_GENERIC_WRITE | TOB_GENERIC_ALL)) != 0;
    int flags = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (disposition) {
        case TOB_CREATE_NEW:
            return flags | O_CREAT | O_EXCL;
        case TOB_CREATE_ALWAYS:
            return flags | O_CREAT | O_TRUNC;
        case TOB_OPEN_EXISTING:
            return flags;
        case TOB_OPEN_ALWAYS:
            return flags | O_CREAT;
        case TOB_TRUNCATE_EXISTING:
            return write ? flags | O_TRUNC : kNoFlags;
        default:
            return kNoFlags;
    }
}

}  // namespace

extern "C" {

HANDLE CreateFileA(const char* name, DWORD access, DWORD /*share_mode*/, void* /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*template_file*/) {
    int oflags = open_flags(access, disposition);
    if (!name || oflags == kNoFlags) {
        errno = EINVAL;
        return TOB_INVALID_HANDLE_VALUE;
    }
    // A name as written opens at once; a file to create must first be
    // matched ignoring case, so that it replaces the file the name stands for.
    int fd = -1;
    if (!(oflags & O_CREAT)) fd = ::open(name, oflags | O_CLOEXEC);
    if (fd < 0 && ((oflags & O_CREAT) || errno == ENOENT || errno == ENOTDIR)) {
        std::filesystem::path path = tob::resolve_host_path(name);
        fd = ::open(path.c_str(), oflags | O_CLOEXEC, 0666);
    }
    if (fd < 0) return TOB_INVALID_HANDLE_VALUE;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return TOB_INVALID_HANDLE_VALUE;
    }
    if (flags & TOB_FILE_FLAG_SEQUENTIAL_SCAN) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return reinterpret_cast<HANDLE>(intptr_t(fd));
}

DWORD GetFileAttributesA(const char* name) {
    if (!name) return TOB_INVALID_FILE_ATTRIBUTES;
    std::filesystem::path path = name;
    struct stat st;
    if (::stat(name, &st) != 0) {
        path = tob::resolve_host_path(name);
        if (::stat(path.c_str(), &st) != 0) return TOB_INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= TOB_FILE_ATTRIBUTE_DIRECTORY;
    if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attributes |= TOB_FILE_ATTRIBUTE_READONLY;
    std::string base = path.filename().native();
    if (base.size() > 1 && base[0] == '.' && base != "..") attributes |= TOB_FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : TOB_FILE_ATTRIBUTE_NORMAL;
}

BOOL CloseHandle(HANDLE handle) {
    auto fd = reinterpret_cast<intptr_t>(handle);
    if (fd < 0 || fd > INT32_MAX) return 0;
    return ::close(int(fd)) == 0;
}

}  // extern "C"
