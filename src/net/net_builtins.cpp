// The net_open, net_close, net_send, net_recv and net_state built-ins: thin
// handlers over the one current session.
#include <cstdlib>
#include <memory>

#include "base/error_report.h"
#include "net/net.h"
#include "net/session.h"
#include "vm/trap.h"

namespace tob {
namespace {

struct NetState {
    bool started = false;
    std::shared_ptr<net::Session> session;
};

NetState& state() {
    static NetState s;
    return s;
}

net::SessionOptions options() {
    net::SessionOptions o;
    o.started = state().started;
    o.report = [](const std::string& text) { post_error_text(1, text); };
    // Test runs keep servers on the loopback address.
    if (std::getenv("MORVANE_NET_LOOPBACK")) o.server_address = INADDR_LOOPBACK;
    return o;
}

void end_session() {
    if (state().session) state().session->close();
    state().session.reset();
}

uint32_t builtin_net_open(TrapCall& call) {
    end_session();
    uint16_t port = uint16_t(call.word(1));
    if (call.word(0) == 0) {
        state().session = net::Session::server(port, options());
    } else {
        auto host = call.string(0, 1024);
        if (!host) return 0;
        state().session = net::Session::client(std::string(*host), port, options());
    }
    return state().session ? 1 : 0;
}

uint32_t builtin_net_close(TrapCall&) {
    end_session();
    return 1;
}

uint32_t builtin_net_send(TrapCall& call) {
    auto& s = state().session;
    if (!s) return uint32_t(-1);
    uint32_t len = call.integer(2) > 0 ? call.word(2) : 0;
    const uint8_t* data = len ? call.pointer(1, len) : nullptr;
    if (len && !data) return uint32_t(-1);
    return uint32_t(s->send(call.integer(0), data, len));
}

uint32_t builtin_net_recv(TrapCall& call) {
    auto& s = state().session;
    if (!s) return uint32_t(-1);
    uint32_t len = call.integer(2) > 0 ? call.word(2) : 0;
    uint8_t* out = len ? call.pointer(1, len) : nullptr;
    if (len && !out) return uint32_t(-1);
    return uint32_t(s->recv(call.integer(0), out, len));
}

uint32_t builtin_net_state(TrapCall&) {
    auto& s = state().session;
    return s ? uint32_t(s->state()) : 0;
}

constexpr TrapBinding kNetBuiltins[] = {
    {"net_open", builtin_net_open},   {"net_close", builtin_net_close},
    {"net_send", builtin_net_send},   {"net_recv", builtin_net_recv},
    {"net_state", builtin_net_state},
};

}  // namespace

std::span<const TrapBinding> net_builtins() {
    return kNetBuiltins;
}

void init_net(bool started) {
    end_session();
    state().started = started;
}

void shutdown_net() {
    end_session();
}

}  // namespace tob
