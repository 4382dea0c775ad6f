// Session threads: poll() on the sockets and a wake-up eventfd, accept and
// connect without blocking, and copy between sockets and rings with the ring
// mutex released around every socket call.
#include "net/session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "net/winsock_errors.h"

namespace tob::net {

namespace {

struct Slot {
    bool in_use = false;
    bool ended = false;  // the connection is over; the slot closes once its bytes are read
    int fd = -1;
    int error = 0;  // an errno net_recv met, for the thread to report
    Ring out, in;
};

}  // namespace

struct Session::Shared {
    SessionOptions options;
    std::mutex lock;  // the rings and the slot flags
    std::array<Slot, kClientSlots> slots;
    std::atomic<bool> run{true};
    std::atomic<bool> running{true};
    std::atomic<bool> connected{false};
    int wake_fd = -1;
    int listen_fd = -1;
    std::string host;
    uint16_t port = 0;

    std::mutex done_lock;
    std::condition_variable done_cv;
    bool done = false;

    ~Shared() {
        if (wake_fd >= 0) ::close(wake_fd);
        if (listen_fd >= 0) ::close(listen_fd);
        for (Slot& s : slots)
            if (s.fd >= 0) ::close(s.fd);
    }
    void wake() {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(wake_fd, &one, sizeof one);
    }
    void report(const std::string& text) {
        if (options.report) options.report(text);
    }
    void report_code(int code) { report(winsock_text(code)); }
    void finish() {
        running = false;
        std::lock_guard g(done_lock);
        done = true;
        done_cv.notify_all();
    }
};

namespace {

using Shared = Session::Shared;

// Sends what the socket takes now; false after a failure (reported).
bool flush(Shared& sh, Slot& s) {
    uint8_t buf[Ring::kSize];
    for (;;) {
        uint32_t n;
        {
            std::lock_guard g(sh.lock);
            n = s.out.peek(buf, sizeof buf);
        }
        if (n == 0) return true;
        ssize_t w = ::send(s.fd, buf, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            sh.report_code(winsock_code_from_errno(errno));
            return false;
        }
        {
            std::lock_guard g(sh.lock);
            s.out.drop(uint32_t(w));
        }
        if (uint32_t(w) < n) return true;
    }
}

// Takes in what has arrived, as far as the ring has room; false when the
// connection is over (closed by the peer, or failed: reported). The socket is
// read under the ring lock: net_recv reads it itself when the ring is empty,
// and the bytes must keep their order.
bool receive(Shared& sh, Slot& s) {
    uint8_t buf[Ring::kSize];
    for (;;) {
        ssize_t r;
        int err = 0;
        {
            std::lock_guard g(sh.lock);
            if (s.error) {  // met by net_recv
                err = std::exchange(s.error, 0);
                r = -1;
            } else {
                uint32_t room = s.in.free_space();
                if (room == 0) return true;
                r = ::recv(s.fd, buf, room, MSG_DONTWAIT);
                err = errno;
                if (r > 0) {
                    s.in.put(buf, uint32_t(r));
                    continue;
                }
            }
        }
        if (r == 0) return false;
        if (err == EINTR) continue;
        if (err == EAGAIN || err == EWOULDBLOCK) return true;
        sh.report_code(winsock_code_from_errno(err));
        return false;
    }
}

void end_slot(Shared& sh, Slot& s) {
    std::lock_guard g(sh.lock);
    s.ended = true;
    s.out.clear();
}

// What to wait for on a live slot.
short slot_events(Shared& sh, Slot& s) {
    std::lock_guard g(sh.lock);
    if (!s.in_use || s.ended) return 0;
    short ev = 0;
    if (s.in.free_space() > 0) ev |= POLLIN;
    if (s.out.pending() > 0) ev |= POLLOUT;
    return ev;
}

void drain_wake(Shared& sh) {
    uint64_t v;
    [[maybe_unused]] ssize_t r = ::read(sh.wake_fd, &v, sizeof v);
}

// One last non-blocking flush, then an orderly close.
void close_all(Shared& sh) {
    for (Slot& s : sh.slots) {
        bool live;
        {
            std::lock_guard g(sh.lock);
            live = s.fd >= 0 && !s.ended;
        }
        if (live) flush(sh, s);
        std::lock_guard g(sh.lock);
        if (s.fd >= 0) ::close(s.fd);
        s.fd = -1;
        s.in_use = false;
    }
}

// One round of moving bytes for every live slot after a poll.
void pump(Shared& sh, const std::vector<pollfd>& fds, const std::vector<int>& slot_of) {
    for (size_t i = 0; i < fds.size(); ++i) {
        if (slot_of[i] < 0) continue;
        Slot& s = sh.slots[size_t(slot_of[i])];
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && !receive(sh, s)) end_slot(sh, s);
    }
    for (Slot& s : sh.slots) {
        bool live;
        {
            std::lock_guard g(sh.lock);
            live = s.in_use && !s.ended && s.out.pending() > 0;
        }
        if (live && !flush(sh, s)) end_slot(sh, s);
    }
}

void poll_round(Shared& sh, std::vector<pollfd>& fds) {
    ::poll(fds.data(), fds.size(), kPollMillis);
    if (fds[0].revents & POLLIN) drain_wake(sh);
}

void add_slot_fds(Shared& sh, std::vector<pollfd>& fds, std::vector<int>& slot_of) {
    for (int i = 0; i < kClientSlots; ++i) {
        Slot& s = sh.slots[size_t(i)];
        short ev = slot_events(sh, s);
        if (!ev) continue;
        fds.push_back({s.fd, ev, 0});
        slot_of.push_back(i);
    }
}

void accept_clients(Shared& sh) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(sh.listen_fd, reinterpret_cast<sockaddr*>(&peer), &len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                sh.report_code(winsock_code_from_errno(errno));
            return;
        }
        Slot* free_slot = nullptr;
        {
            std::lock_guard g(sh.lock);
            for (Slot& s : sh.slots)
                if (!s.in_use && s.fd < 0) {
                    free_slot = &s;
                    break;
                }
            if (free_slot) {
                free_slot->in_use = true;
                free_slot->ended = false;
                free_slot->fd = fd;
                free_slot->in.clear();
                free_slot->out.clear();
            }
        }
        if (!free_slot) {
            sh.report("クライアントの接続数が最大数を超えました");
            ::close(fd);
        }
    }
}

void server_thread(std::shared_ptr<Shared> sh) {
    std::vector<pollfd> fds;
    std::vector<int> slot_of;
    while (sh->run) {
        fds.assign({{sh->wake_fd, POLLIN, 0}, {sh->listen_fd, POLLIN, 0}});
        slot_of.assign({-1, -1});
        add_slot_fds(*sh, fds, slot_of);
        poll_round(*sh, fds);
        if (!sh->run) break;
        if (fds[1].revents & POLLIN) accept_clients(*sh);
        pump(*sh, fds, slot_of);
        // A slot whose connection is over closes once its bytes are read.
        for (Slot& s : sh->slots) {
            std::lock_guard g(sh->lock);
            if (s.in_use && s.ended && s.in.empty()) {
                ::close(s.fd);
                s.fd = -1;
                s.in_use = false;
            }
        }
    }
    close_all(*sh);
    sh->finish();
}

void client_thread(std::shared_ptr<Shared> sh) {
    in_addr addr{};
    if (::inet_pton(AF_INET, sh->host.c_str(), &addr) != 1) {
        Lookup found = sh->options.resolver(sh->host);
        if (!found.address) {
            if (sh->run) sh->report("サーバーに接続できません");
            sh->finish();
            return;
        }
        addr = *found.address;
    }
    if (!sh->run) {
        sh->finish();
        return;
    }
    if (!sh->options.started) {
        sh->report_code(kWsaNotInitialised);
        sh->finish();
        return;
    }
    Slot& s = sh->slots[0];
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        sh->report_code(winsock_code_from_errno(errno));
        sh->finish();
        return;
    }
    {
        std::lock_guard g(sh->lock);
        s.fd = fd;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sh->port);
    to.sin_addr = addr;
    int err = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) err = errno;
    while (err == EINPROGRESS || err == EINTR) {
        pollfd w[2] = {{sh->wake_fd, POLLIN, 0}, {fd, POLLOUT, 0}};
        ::poll(w, 2, kPollMillis);
        if (w[0].revents & POLLIN) drain_wake(*sh);
        if (!sh->run) break;
        if (w[1].revents) {
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
    }
    if (sh->run && err != 0) sh->report_code(winsock_code_from_errno(err));
    if (sh->run && err == 0) {
        {
            std::lock_guard g(sh->lock);
            s.in_use = true;
        }
        sh->connected = true;
        std::vector<pollfd> fds;
        std::vector<int> slot_of;
        while (sh->run) {
            fds.assign({{sh->wake_fd, POLLIN, 0}});
            slot_of.assign({-1});
            add_slot_fds(*sh, fds, slot_of);
            poll_round(*sh, fds);
            if (!sh->run) break;
            pump(*sh, fds, slot_of);
            std::lock_guard g(sh->lock);
            if (s.ended) break;
        }
    }
    close_all(*sh);
    sh->connected = false;
    sh->finish();
}

std::shared_ptr<Shared> make_shared_state(SessionOptions options) {
    auto sh = std::make_shared<Shared>();
    sh->options = std::move(options);
    sh->wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return sh->wake_fd >= 0 ? sh : nullptr;
}

}  // namespace

Lookup resolve_ipv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
    Lookup out;
    if (rc != 0 || !res) {
        out.error = winsock_code_from_resolver(rc);
        return out;
    }
    out.address = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
    return out;
}

Session::Session(Mode mode, uint16_t port, std::shared_ptr<Shared> shared)
    : mode_(mode), port_(port), shared_(std::move(shared)) {}

Session::~Session() {
    close();
}

std::shared_ptr<Session> Session::server(uint16_t port, SessionOptions options) {
    auto sh = make_shared_state(std::move(options));
    if (!sh) return nullptr;
    if (!sh->options.started) {
        sh->report_code(kWsaNotInitialised);
        return nullptr;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    auto fail = [&] {
        sh->report_code(winsock_code_from_errno(errno));
        return nullptr;
    };
    if (fd < 0) return fail();
    sh->listen_fd = fd;
    int one = 1;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(sh->options.server_address);
    socklen_t len = sizeof at;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd, kBacklog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len) != 0)
        return fail();
    auto session = std::shared_ptr<Session>(new Session(Mode::Server, ntohs(at.sin_port), sh));
    session->thread_ = std::thread(server_thread, sh);
    return session;
}

std::shared_ptr<Session> Session::client(std::string host, uint16_t port, SessionOptions options) {
    auto sh = make_shared_state(std::move(options));
    if (!sh) return nullptr;
    sh->host = std::move(host);
    sh->port = port;
    auto session = std::shared_ptr<Session>(new Session(Mode::Client, port, sh));
    session->thread_ = std::thread(client_thread, sh);
    return session;
}

void Session::close() {
    if (!thread_.joinable()) return;
    shared_->run = false;
    shared_->wake();
    std::unique_lock g(shared_->done_lock);
    bool done = shared_->done_cv.wait_for(g, std::chrono::milliseconds(kCloseMillis),
                                          [&] { return shared_->done; });
    g.unlock();
    // A thread held up in a name lookup ends by itself later; it owns its state.
    if (done)
        thread_.join();
    else
        thread_.detach();
}

// The built-ins copy into and out of the rings. When a ring is empty they
// also move bytes straight to or from the socket, never waiting (the socket
// does not block); the counts stay what the rings allow, so a script sees the
// same results, only sooner.
int32_t Session::send(int32_t slot, const uint8_t* data, uint32_t len) {
    Shared& sh = *shared_;
    if (mode_ == Mode::Client) {
        if (!sh.connected) return -1;
        slot = 0;
    } else if (slot < 0 || slot >= kClientSlots) {
        return -1;
    }
    bool wake;
    uint32_t n = 0;
    {
        std::lock_guard g(sh.lock);
        Slot& s = sh.slots[size_t(slot)];
        if (!s.in_use || s.fd < 0 || (mode_ == Mode::Server && s.ended)) return -1;
        uint32_t want = std::min(len, s.out.free_space());
        bool was_empty = s.out.empty();
        if (was_empty && want > 0 && !s.ended) {
            ssize_t w = ::send(s.fd, data, want, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (w > 0) n = uint32_t(w);  // a failure is the thread's to meet and report
        }
        uint32_t queued = s.out.put(data + n, want - n);
        n += queued;
        // With bytes already waiting the thread is sending or waits for the
        // socket to take more; only a ring that was empty needs a wake-up.
        wake = was_empty && queued > 0;
    }
    if (wake) sh.wake();
    return int32_t(n);
}

int32_t Session::recv(int32_t slot, uint8_t* out, uint32_t len) {
    Shared& sh = *shared_;
    if (mode_ == Mode::Client)
        slot = 0;
    else if (slot < 0 || slot >= kClientSlots)
        return -1;
    bool wake;
    uint32_t n;
    {
        std::lock_guard g(sh.lock);
        Slot& s = sh.slots[size_t(slot)];
        if (mode_ == Mode::Server && !s.in_use) return -1;
        if (mode_ == Mode::Client && !sh.connected && s.in.empty()) return -1;
        bool was_full = s.in.free_space() == 0;
        n = s.in.take(out, len);
        uint32_t want = std::min(len, Ring::kSize - 1);
        if (n < want && s.in.empty() && s.fd >= 0 && !s.ended && !s.error) {
            ssize_t r = ::recv(s.fd, out + n, want - n, MSG_DONTWAIT);
            if (r > 0)
                n += uint32_t(r);
            else if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                s.error = errno;
            // An end of stream (0) stays for the thread to see as well.
        }
        // The thread waits again for a ring that had no room, reports an
        // error met here, and closes a finished slot once it is read.
        wake = was_full || s.error || (s.ended && s.in.empty());
    }
    if (wake) sh.wake();
    return int32_t(n);
}

int32_t Session::state() const {
    const Shared& sh = *shared_;
    if (mode_ == Mode::Server) return sh.running ? 1 : 0;
    if (sh.connected) return 1;
    return sh.running ? 2 : 0;
}

}  // namespace tob::net
