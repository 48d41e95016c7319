// The socket driver of the server: one epoll set holds every listening endpoint, every connection
// and a sweep timer; a small pool of runtime threads waits on it, one event at a time.
//
// Why this shape: a host serves tens of machines, but idle connections must cost no thread, and
// routines may block (they do the host program's work, and the control's routine waits for room
// in its owner queue). So the thread that takes a connection's event reads, parses, runs the
// routine itself and writes the reply (one wake-up per call, no hand-over), and before a routine
// runs the pool makes sure a thread outside routines is left to serve events: threads grow on demand with
// the routines that block (the interface's call limit bounds those) and exit again after a while
// idle. Each connection is registered one-shot, so exactly one thread serves it at a time and its
// calls stay in order. The sans-I/O ServerConnection does all protocol work.
//
// Fair service: connections are counted in all and per peer address, and refused by closing at
// once beyond either limit; a connection must deliver its first complete PDU within a short
// deadline of the accept; afterwards the idle, per-PDU and send time-outs apply. A sweep over the
// connections not being served closes those whose deadline passed.
//
// The driver is process-wide and never torn down: endpoints stay open for the life of the process
// (as host programs expect) and its threads are detached, so nothing is destroyed under them.
#pragma once

#include <cstdint>

#include "platform/rpc/server.h"
#include "platform/rpc/server_registry.h"

namespace tarvik::rpc {

// The registry and association groups the driver's connections use (process-wide).
Registry& server_registry();

// Takes a bound, listening IPv4 socket into the driver. False (and the socket untouched) when the
// driver cannot start its threads.
bool serve_listener(int fd, std::uint16_t port);

Status apply_connection_policy(const ConnectionPolicy& policy);
ConnectionPolicy current_connection_policy();
ServerStats current_server_stats();

}  // namespace tarvik::rpc
