// One TCP session: a server with up to five clients, or a client of one
// server. A thread of its own moves bytes between the sockets and the rings
// and never blocks: it waits in poll() on its sockets and a wake-up eventfd
// for at most 5 ms. The built-ins copy into and out of the rings under one
// mutex that guards the rings, and move bytes straight to or from a socket
// when a ring is empty (the sockets never block, so nobody waits).
#pragma once

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "net/ring.h"

namespace tob::net {

inline constexpr int kClientSlots = 5;
inline constexpr int kBacklog = 5;
// Longest wait of the session thread, and of a close for the thread.
inline constexpr int kPollMillis = 5;
inline constexpr int kCloseMillis = 200;

// A name lookup for IPv4 (a seam for tests): the address, or the WinSock code
// of the failure.
struct Lookup {
    std::optional<in_addr> address;
    int error = 0;
};
using Resolver = std::function<Lookup(const std::string& host)>;
Lookup resolve_ipv4(const std::string& host);

struct SessionOptions {
    bool started = true;                             // the `Net` setting: sockets may be made
    std::function<void(const std::string&)> report;  // level-1 reports; never waits
    Resolver resolver = resolve_ipv4;
    in_addr_t server_address = INADDR_ANY;  // host byte order; tests use loopback
};

class Session {
  public:
    enum class Mode { Server, Client };

    // A server on `port` of any address (0: a free port), or nullptr after a
    // report.
    static std::shared_ptr<Session> server(uint16_t port, SessionOptions options);
    // A client of host:port; connecting goes on in the session's thread.
    static std::shared_ptr<Session> client(std::string host, uint16_t port, SessionOptions options);
    ~Session();

    // Ends the session: the thread sends what it can of the send rings and
    // closes gracefully. Waits for the thread at most kCloseMillis.
    void close();

    // Bytes copied; -1 for a bad or unused slot (the client ignores it) or a
    // client whose connection is over and whose received bytes are all read.
    int32_t send(int32_t slot, const uint8_t* data, uint32_t len);
    int32_t recv(int32_t slot, uint8_t* out, uint32_t len);
    // Server: 1 while its thread runs. Client: 1 connected, 2 connecting, else 0.
    int32_t state() const;

    Mode mode() const { return mode_; }
    uint16_t port() const { return port_; }

    struct Shared;

  private:
    Session(Mode mode, uint16_t port, std::shared_ptr<Shared> shared);

    Mode mode_;
    uint16_t port_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace tob::net
