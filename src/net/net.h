// The network subsystem's public face: the net_* built-ins over one current
// session, and its start and end with the engine.
#pragma once

#include <span>

namespace tob {

struct TrapBinding;

// net_open, net_close, net_send, net_recv, net_state.
std::span<const TrapBinding> net_builtins();
// `started`: the `Net` setting was nonzero (sockets may be made). Ends any
// session left from before.
void init_net(bool started);
// Closes the current session.
void shutdown_net();

}  // namespace tob
