// Socket sessions on 127.0.0.1 only, against raw-socket peers: a seeded soak,
// five clients and a refused sixth, peers that close, reset or never read,
// refused and hanging connects, `Net` 0, the error texts, and the built-ins.
#include "net/net.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "net/session.h"
#include "net/winsock_errors.h"
#include "support/call_site.h"

namespace tob::net {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Polls `done` every millisecond for at most `limit`.
template <typename F>
bool wait_for(F done, std::chrono::milliseconds limit = 5000ms) {
    auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Reports a session made, kept for the test to read.
struct Reports {
    std::mutex lock;
    std::vector<std::string> texts;
    SessionOptions options(bool started = true) {
        SessionOptions o;
        o.started = started;
        o.server_address = INADDR_LOOPBACK;
        o.report = [this](const std::string& t) {
            std::lock_guard g(lock);
            texts.push_back(t);
        };
        o.resolver = [](const std::string&) { return Lookup{std::nullopt, 11001}; };
        return o;
    }
    bool has(const std::string& t) {
        std::lock_guard g(lock);
        return std::find(texts.begin(), texts.end(), t) != texts.end();
    }
};

// A plain non-blocking socket connected to 127.0.0.1:port.
struct RawPeer {
    int fd = -1;
    explicit RawPeer(uint16_t port) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~RawPeer() {
        if (fd >= 0) ::close(fd);
    }
    void send_all(const std::string& s) const {
        ASSERT_EQ(::send(fd, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size()));
    }
    std::string read_some(size_t want, std::chrono::milliseconds limit = 3000ms) const {
        std::string out;
        auto end = Clock::now() + limit;
        while (out.size() < want && Clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            char buf[4096];
            ssize_t r = ::recv(fd, buf, std::min(sizeof buf, want - out.size()), MSG_DONTWAIT);
            if (r <= 0) break;
            out.append(buf, size_t(r));
        }
        return out;
    }
    void reset() {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd);
        fd = -1;
    }
};

// Waits until slot `slot` of a server is in use (send of 0 bytes works).
bool slot_ready(Session& s, int slot) {
    return wait_for([&] { return s.send(slot, nullptr, 0) == 0; });
}

std::string drain(Session& s, int slot, size_t want) {
    std::string out;
    uint8_t buf[1024];
    wait_for([&] {
        int32_t n = s.recv(slot, buf, sizeof buf);
        if (n > 0) out.append(reinterpret_cast<char*>(buf), size_t(n));
        return out.size() >= want || n < 0;
    });
    return out;
}

// A port nothing listens on.
uint16_t closed_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    socklen_t len = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
    ::close(fd);
    return ntohs(at.sin_port);
}

TEST(NetSession, SeededSoakBothWays) {
    Reports reports;
    auto server = Session::server(0, reports.options());
    ASSERT_TRUE(server);
    auto client = Session::client("127.0.0.1", server->port(), reports.options());
    ASSERT_TRUE(wait_for([&] { return client->state() == 1; }));
    ASSERT_TRUE(slot_ready(*server, 0));
    constexpr size_t kTotal = 2u << 20;
    std::mt19937 rng(27);
    std::vector<uint8_t> a(kTotal), b(kTotal);
    for (auto& x : a) x = uint8_t(rng());
    for (auto& x : b) x = uint8_t(rng());
    std::vector<uint8_t> got_a, got_b;
    size_t sent_a = 0, sent_b = 0;
    uint8_t buf[9000];
    auto end = Clock::now() + 60s;
    while ((got_a.size() < kTotal || got_b.size() < kTotal) && Clock::now() < end) {
        uint32_t chunk = 1 + rng() % 9000;
        if (sent_a < kTotal)
            sent_a += size_t(client->send(0, a.data() + sent_a,
                                          uint32_t(std::min<size_t>(chunk, kTotal - sent_a))));
        if (sent_b < kTotal)
            sent_b += size_t(server->send(0, b.data() + sent_b,
                                          uint32_t(std::min<size_t>(chunk, kTotal - sent_b))));
        int32_t n = server->recv(0, buf, 1 + rng() % 9000);
        ASSERT_GE(n, 0);
        got_a.insert(got_a.end(), buf, buf + n);
        n = client->recv(0, buf, 1 + rng() % 9000);
        ASSERT_GE(n, 0);
        got_b.insert(got_b.end(), buf, buf + n);
        if (n == 0) std::this_thread::sleep_for(50us);
    }
    EXPECT_TRUE(got_a == a);
    EXPECT_TRUE(got_b == b);
    client->close();
    server->close();
    EXPECT_TRUE(reports.texts.empty());
}

TEST(NetSession, FiveClientsAndARefusedSixth) {
    Reports reports;
    auto server = Session::server(0, reports.options());
    ASSERT_TRUE(server);
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int i = 0; i < 5; ++i) {
        peers.push_back(std::make_unique<RawPeer>(server->port()));
        ASSERT_TRUE(slot_ready(*server, i));
    }
    RawPeer sixth(server->port());
    ASSERT_TRUE(wait_for([&] { return reports.has("クライアントの接続数が最大数を超えました"); }));
    EXPECT_EQ(sixth.read_some(1, 500ms), "");  // closed by the server
    for (int i = 0; i < 5; ++i) {
        std::string msg = "hello " + std::to_string(i);
        peers[size_t(i)]->send_all(msg);
        std::string got = drain(*server, i, msg.size());
        ASSERT_EQ(got, msg);
        ASSERT_EQ(
            server->send(i, reinterpret_cast<const uint8_t*>(got.data()), uint32_t(got.size())),
            int32_t(got.size()));
        EXPECT_EQ(peers[size_t(i)]->read_some(msg.size()), msg);
    }
    EXPECT_EQ(server->send(5, nullptr, 0), -1);
    EXPECT_EQ(server->recv(-1, nullptr, 0), -1);
}

TEST(NetSession, BytesOutliveTheConnection) {
    for (bool reset : {false, true}) {
        Reports reports;
        auto server = Session::server(0, reports.options());
        RawPeer peer(server->port());
        ASSERT_TRUE(slot_ready(*server, 0));
        peer.send_all("last words");
        std::this_thread::sleep_for(50ms);  // the bytes arrive before the end
        if (reset)
            peer.reset();
        else
            ::shutdown(peer.fd, SHUT_RDWR);
        std::this_thread::sleep_for(50ms);
        uint8_t buf[64];
        int32_t n = server->recv(0, buf, 4);
        ASSERT_EQ(n, 4) << "reset " << reset;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "last");
        EXPECT_EQ(drain(*server, 0, 6), " words");
        EXPECT_TRUE(wait_for([&] { return server->recv(0, buf, 1) == -1; })) << "the slot closes";
    }
}

TEST(NetSession, ClientKeepsBytesAfterTheServerCloses) {
    Reports reports;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ::listen(fd, 1);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
    auto client = Session::client("127.0.0.1", ntohs(at.sin_port), reports.options());
    int peer = ::accept(fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(::send(peer, "bye", 3, MSG_NOSIGNAL), 3);
    ::close(peer);
    ::close(fd);
    ASSERT_TRUE(wait_for([&] { return client->state() == 0; }));
    uint8_t buf[8];
    EXPECT_EQ(client->send(0, buf, 1), -1);
    EXPECT_EQ(client->recv(0, buf, 8), 3);
    EXPECT_EQ(client->recv(0, buf, 8), -1);
}

TEST(NetSession, APeerThatNeverReadsBlocksNothing) {
    Reports reports;
    auto server = Session::server(0, reports.options());
    RawPeer peer(server->port());
    ASSERT_TRUE(slot_ready(*server, 0));
    std::vector<uint8_t> data(10000, 'x');
    EXPECT_EQ(server->send(0, data.data(), 10000), 8191);
    // The kernel's buffers fill, then the ring.
    ASSERT_TRUE(wait_for(
        [&] {
            return server->send(0, data.data(), 10000) == 0 && server->send(0, data.data(), 1) == 0;
        },
        20000ms));
    auto start = Clock::now();
    server->close();
    EXPECT_LT(Clock::now() - start, 300ms);
    EXPECT_EQ(server->state(), 0);
}

TEST(NetSession, RefusedConnect) {
    Reports reports;
    auto client = Session::client("127.0.0.1", closed_port(), reports.options());
    EXPECT_NE(client->state(), 1);
    ASSERT_TRUE(wait_for([&] { return client->state() == 0; }));
    EXPECT_TRUE(reports.has("WSAECONNREFUSED 接続が拒否されました"));
    uint8_t b;
    EXPECT_EQ(client->send(0, &b, 1), -1);
    EXPECT_EQ(client->recv(0, &b, 1), -1);
}

TEST(NetSession, HangingLookupNeverHoldsUpClose) {
    Reports reports;
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> gate = release->get_future().share();
    SessionOptions o = reports.options();
    o.resolver = [gate](const std::string&) {
        gate.wait();
        return Lookup{std::nullopt, 11001};
    };
    auto client = Session::client("nowhere.invalid", 80, o);
    EXPECT_EQ(client->state(), 2);
    auto start = Clock::now();
    client->close();
    EXPECT_LT(Clock::now() - start, 300ms);
    client.reset();
    release->set_value();  // the lookup returns; its thread ends on its own
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(reports.has("サーバーに接続できません"));
}

TEST(NetSession, UnknownHostIsReported) {
    Reports reports;
    auto client = Session::client("nowhere.invalid", 80, reports.options());
    ASSERT_TRUE(wait_for([&] { return client->state() == 0; }));
    EXPECT_TRUE(reports.has("サーバーに接続できません"));
}

TEST(NetSession, NetZeroMeansNoSockets) {
    Reports reports;
    EXPECT_FALSE(Session::server(0, reports.options(false)));
    EXPECT_TRUE(reports.has("WSANOTINITIALISED Winsockが初期化されていません"));
    Reports client_reports;
    auto client = Session::client("127.0.0.1", 1, client_reports.options(false));
    ASSERT_TRUE(client);
    ASSERT_TRUE(wait_for([&] { return client->state() == 0; }));
    EXPECT_TRUE(client_reports.has("WSANOTINITIALISED Winsockが初期化されていません"));
}

TEST(NetErrors, TextsAndCodes) {
    struct Row {
        int code;
        const char* prefix;
    };
    const Row rows[] = {
        {10004, "WSAEINTR "},          {10035, "WSAEWOULDBLOCK "},    {10054, "WSAECONNRESET "},
        {10061, "WSAECONNREFUSED "},   {10071, "WSAEREMOTE "},        {10091, "WSASYSNOTREADY "},
        {10093, "WSANOTINITIALISED "}, {11001, "WSAHOST_NOT_FOUND "}, {11004, "WSANO_DATA "}};
    for (const Row& r : rows)
        EXPECT_EQ(std::string(winsock_text(r.code)).rfind(r.prefix, 0), 0u) << r.code;
    int known = 0;
    for (int code = 10000; code <= 11010; ++code)
        if (std::string(winsock_text(code)) != "未定義エラー") ++known;
    EXPECT_EQ(known, 50);
    for (int code : {0, 10000, 10072, 11005, 20000, -1})
        EXPECT_STREQ(winsock_text(code), "未定義エラー");
    const std::pair<int, int> errnos[] = {
        {EINTR, 10004},        {EAGAIN, 10035},       {EINPROGRESS, 10036},
        {ECONNRESET, 10054},   {EPIPE, 10054},        {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065}, {EADDRINUSE, 10048}};
    for (auto [err, code] : errnos) EXPECT_EQ(winsock_code_from_errno(err), code) << err;
    EXPECT_STREQ(winsock_text(winsock_code_from_errno(ENOMEM)), "未定義エラー");
    EXPECT_EQ(winsock_code_from_resolver(EAI_NONAME), 11001);
    EXPECT_EQ(winsock_code_from_resolver(EAI_AGAIN), 11002);
    EXPECT_EQ(winsock_code_from_resolver(EAI_FAIL), 11003);
}

TEST(NetSession, CloseSendsWhatWasQueuedAndEndsInOrder) {
    Reports reports;
    auto server = Session::server(0, reports.options());
    auto client = Session::client("127.0.0.1", server->port(), reports.options());
    ASSERT_TRUE(wait_for([&] { return client->state() == 1; }));
    ASSERT_TRUE(slot_ready(*server, 0));
    // Bytes queued just before the close still go out, then an orderly end.
    std::string tail(6000, 't');
    ASSERT_EQ(client->send(0, reinterpret_cast<const uint8_t*>(tail.data()), 6000), 6000);
    client->close();
    EXPECT_EQ(drain(*server, 0, 6000), tail);
    uint8_t b;
    EXPECT_TRUE(wait_for([&] { return server->recv(0, &b, 1) == -1; }));
    EXPECT_FALSE(reports.has(winsock_text(10054)));
}

// A listener on 127.0.0.1 for the built-ins' client sessions.
struct Listener {
    int fd = -1;
    uint16_t port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof at;
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(fd, 1);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
        port = ntohs(at.sin_port);
    }
    ~Listener() { ::close(fd); }
};

// --- the built-ins over the current session ---

TEST(NetBuiltins, NoSessionAndServerSlots) {
    test::CallSite site;
    site.table.bind_all(net_builtins());
    init_net(true);
    ScriptAddr buf = site.string("", 10000);
    EXPECT_EQ(site.call("net_send", {0, buf, 1}), uint32_t(-1));
    EXPECT_EQ(site.call("net_recv", {0, buf, 1}), uint32_t(-1));
    EXPECT_EQ(site.call("net_state", {}), 0u);
    EXPECT_EQ(site.call("net_close", {}), 1u);
    init_net(false);
    EXPECT_EQ(site.call("net_open", {0, 0}), 0u);
    EXPECT_EQ(site.call("net_state", {}), 0u);
    shutdown_net();
}

TEST(NetBuiltins, ClientThroughTheBuiltins) {
    test::CallSite site;
    site.table.bind_all(net_builtins());
    init_net(true);
    Listener listener;
    // The port is the low 16 bits of the argument.
    ASSERT_EQ(site.call("net_open", {site.string("127.0.0.1"), 0x10000u + listener.port}), 1u);
    ASSERT_TRUE(wait_for([&] { return site.call("net_state", {}) == 1; }));
    int peer = ::accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ScriptAddr buf = site.string("", 10000);
    EXPECT_EQ(site.call("net_send", {7, buf, 10000}), 8191u);
    EXPECT_EQ(site.call("net_send", {0, 0x7FFFFFF0, 100}), uint32_t(-1));
    ASSERT_EQ(::send(peer, "pong", 4, MSG_NOSIGNAL), 4);
    ASSERT_TRUE(wait_for([&] { return site.call("net_recv", {0, buf, 100}) == 4; }));
    EXPECT_EQ(site.read(buf).substr(0, 4), "pong");
    // A new net_open ends the current session first.
    Listener second;
    ASSERT_EQ(site.call("net_open", {site.string("127.0.0.1"), second.port}), 1u);
    // The old session's peer reads the 8191 bytes, then the orderly end.
    EXPECT_TRUE(wait_for([&] {
        char junk[16384];
        ssize_t r = ::recv(peer, junk, sizeof junk, MSG_DONTWAIT);
        return r == 0 || (r < 0 && errno != EAGAIN);
    }));
    ::close(peer);
    shutdown_net();
    EXPECT_EQ(site.call("net_state", {}), 0u);
}

}  // namespace
}  // namespace tob::net
