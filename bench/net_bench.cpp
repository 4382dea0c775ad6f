// Socket sessions beside plain blocking POSIX sockets, over 127.0.0.1 in one
// process: the round trip of a 64-byte echo, and one-way throughput of 16 MiB
// in 8 KiB writes. A session's thread wakes on poll() at once when bytes are
// queued or arrive, so a round trip costs a few thread hand-overs.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "net/session.h"

namespace {

using tob::net::Session;
using tob::net::SessionOptions;

constexpr uint32_t kEcho = 64;
constexpr size_t kVolume = 16u << 20;
constexpr uint32_t kWrite = 8192;

SessionOptions loopback() {
    SessionOptions o;
    o.server_address = INADDR_LOOPBACK;
    return o;
}

// A connected server and client session.
struct SessionPair {
    std::shared_ptr<Session> server, client;
    SessionPair() {
        server = Session::server(0, loopback());
        client = Session::client("127.0.0.1", server->port(), loopback());
        while (client->state() != 1 || server->send(0, nullptr, 0) != 0) usleep(100);
    }
};

// Two plain connected blocking sockets with Nagle off, as a session has none.
struct PlainPair {
    int a = -1, b = -1;
    PlainPair() {
        int l = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof at;
        ::bind(l, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(l, 1);
        ::getsockname(l, reinterpret_cast<sockaddr*>(&at), &len);
        a = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(a, reinterpret_cast<sockaddr*>(&at), sizeof at);
        b = ::accept(l, nullptr, nullptr);
        ::close(l);
        int one = 1;
        ::setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(b, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~PlainPair() {
        ::close(a);
        ::close(b);
    }
};

void read_exactly(int fd, uint8_t* buf, size_t n) {
    for (size_t got = 0; got < n;) {
        ssize_t r = ::recv(fd, buf + got, n - got, 0);
        if (r <= 0) std::abort();
        got += size_t(r);
    }
}

void recv_exactly(Session& s, uint8_t* buf, uint32_t n) {
    for (uint32_t got = 0; got < n;) {
        int32_t r = s.recv(0, buf + got, n - got);
        if (r < 0) std::abort();
        if (r == 0) std::this_thread::yield();  // leave the core to the session threads
        got += uint32_t(r);
    }
}

void send_all(Session& s, const uint8_t* buf, uint32_t n) {
    for (uint32_t done = 0; done < n;) {
        int32_t w = s.send(0, buf + done, n - done);
        if (w < 0) std::abort();
        if (w == 0) std::this_thread::yield();
        done += uint32_t(w);
    }
}

void BM_EchoRoundTrip_Session(benchmark::State& state) {
    SessionPair p;
    uint8_t msg[kEcho] = {1}, buf[kEcho];
    for (auto _ : state) {
        send_all(*p.client, msg, kEcho);
        recv_exactly(*p.server, buf, kEcho);
        send_all(*p.server, buf, kEcho);
        recv_exactly(*p.client, buf, kEcho);
    }
}
void BM_EchoRoundTrip_Plain(benchmark::State& state) {
    PlainPair p;
    uint8_t msg[kEcho] = {1}, buf[kEcho];
    for (auto _ : state) {
        ::send(p.a, msg, kEcho, 0);
        read_exactly(p.b, buf, kEcho);
        ::send(p.b, buf, kEcho, 0);
        read_exactly(p.a, buf, kEcho);
    }
}
BENCHMARK(BM_EchoRoundTrip_Session)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_EchoRoundTrip_Plain)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Throughput_Session(benchmark::State& state) {
    SessionPair p;
    std::vector<uint8_t> chunk(kWrite, 7), sink(tob::net::Ring::kSize);
    for (auto _ : state) {
        size_t sent = 0, got = 0;
        while (got < kVolume) {
            if (sent < kVolume) sent += size_t(p.client->send(0, chunk.data(), kWrite));
            int32_t r = p.server->recv(0, sink.data(), uint32_t(sink.size()));
            if (r < 0) std::abort();
            if (r == 0) std::this_thread::yield();
            got += size_t(r);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kVolume));
}
void BM_Throughput_Plain(benchmark::State& state) {
    PlainPair p;
    std::vector<uint8_t> chunk(kWrite, 7), sink(kWrite);
    for (auto _ : state) {
        for (size_t sent = 0; sent < kVolume; sent += kWrite) {
            ::send(p.a, chunk.data(), kWrite, 0);
            read_exactly(p.b, sink.data(), kWrite);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kVolume));
}
BENCHMARK(BM_Throughput_Session)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Throughput_Plain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
