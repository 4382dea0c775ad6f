// A small echo server for the network script tests: listens on 127.0.0.1 at a
// free port, writes the port to the file named on the command line, and echoes
// every byte of one connection back. Ends when that connection ends or after
// 30 seconds, whichever comes first.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: net_peer PORT_FILE\n");
        return 2;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
        std::perror("net_peer");
        return 1;
    }
    std::string tmp = std::string(argv[1]) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return 1;
    std::fprintf(f, "%d\n", ntohs(at.sin_port));
    std::fclose(f);
    std::rename(tmp.c_str(), argv[1]);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto left = [&] {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(
                       end - std::chrono::steady_clock::now())
                       .count());
    };
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, left()) <= 0) return 1;
    int peer = ::accept(fd, nullptr, nullptr);
    if (peer < 0) return 1;
    char buf[4096];
    while (left() > 0) {
        pollfd q{peer, POLLIN, 0};
        if (::poll(&q, 1, left()) <= 0) break;
        ssize_t n = ::recv(peer, buf, sizeof buf, 0);
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::send(peer, buf + done, size_t(n - done), MSG_NOSIGNAL);
            if (w <= 0) return 1;
            done += w;
        }
    }
    ::close(peer);
    ::close(fd);
    return 0;
}
