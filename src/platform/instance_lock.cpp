// The single-instance rule on POSIX: an exclusive lock on a file in the
// user's runtime folder stands in for the named mutex, and a datagram socket
// beside it carries the second instance's request to raise the first window.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/window.h"

namespace tob::platform {
namespace {

std::string runtime_dir() {
    const char* d = std::getenv("XDG_RUNTIME_DIR");
    return d && *d ? d : "/tmp";
}

bool fill_address(sockaddr_un& addr, const std::string& path) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

InstanceLock::InstanceLock(const std::string& name) {
    std::string base = runtime_dir() + "/" + name + "-" + std::to_string(getuid());
    socket_path_ = base + ".sock";
    lock_fd_ = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_fd_ < 0) {
        first_ = true;  // cannot tell: behave as the only copy
        return;
    }
    sockaddr_un addr;
    if (flock(lock_fd_, LOCK_EX | LOCK_NB) == 0) {
        first_ = true;
        socket_fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket_fd_ >= 0 && fill_address(addr, socket_path_)) {
            unlink(socket_path_.c_str());
            if (bind(socket_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
                close(socket_fd_);
                socket_fd_ = -1;
            }
        }
        return;
    }
    // Another copy runs: ask it to come to the front.
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && fill_address(addr, socket_path_))
        sendto(fd, "raise", 5, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (fd >= 0) close(fd);
}

InstanceLock::~InstanceLock() {
    if (socket_fd_ >= 0) {
        close(socket_fd_);
        unlink(socket_path_.c_str());
    }
    if (lock_fd_ >= 0) close(lock_fd_);
}

bool InstanceLock::raise_requested() {
    if (socket_fd_ < 0) return false;
    char buf[16];
    bool asked = false;
    while (recv(socket_fd_, buf, sizeof buf, 0) > 0) asked = true;
    return asked;
}

}  // namespace tob::platform
