// Server side of the runtime: endpoints, interface registration, connection limits and statistics.
//
// One process-wide server, as with the runtime host programs already know: listening endpoints are
// opened with use_protseq_ep (one per TCP port, on all interfaces, kept open for the life of the
// process), interfaces are registered with a routine table, flags and a concurrent-call limit and
// are served as soon as they are registered. Routines run on the runtime's own threads, several at
// once, and may block. Every byte from the network is untrusted: a peer can never crash, hang or
// exhaust the server, it can only waste its own connections, and only as many as its address may hold.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/rpc/ndr.h"
#include "platform/rpc/status.h"
#include "platform/rpc/uuid.h"

namespace tarvik::rpc {

// What a routine is told about the call it serves.
struct CallInfo {
  std::uint16_t opnum = 0;
  ByteOrder byte_order = ByteOrder::little;  // of the request stub
  std::uint32_t call_id = 0;
};

// A server routine: reads the request stub, writes the response stub into `out` and returns 0, or
// returns a fault status (nca::... or 0x6F7 for bad stub data) that is sent as a fault PDU instead.
using Routine = std::function<std::uint32_t(const CallInfo& call, std::span<const std::uint8_t> stub,
                                            std::vector<std::uint8_t>& out)>;

// An interface served by this process: its identity and one routine per opnum (index = opnum).
struct ServerInterface {
  SyntaxId id;
  std::vector<Routine> routines;
};

inline constexpr unsigned RPC_IF_AUTOLISTEN = 0x0001;
inline constexpr unsigned RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH = 0x0010;
inline constexpr unsigned RPC_C_PROTSEQ_MAX_REQS_DEFAULT = 10;

// Opens a listening endpoint. protseq must be "ncacn_ip_tcp", endpoint a decimal port ("0" picks a
// free port; `actual_port` receives the port in use). A port this process already listens on gives
// RPC_S_DUPLICATE_ENDPOINT (callers treat it as success); a port held by another program gives
// RPC_S_CANT_CREATE_ENDPOINT. `max_calls` is accepted for compatibility (the backlog hint).
Status use_protseq_ep(std::string_view protseq, unsigned max_calls, std::string_view endpoint,
                      std::uint16_t* actual_port = nullptr);

// Registers an interface (by UUID and version) on every endpoint. Calls beyond `max_calls` running
// at once get the server-too-busy fault. RPC_S_ALREADY_REGISTERED if the same id is registered.
Status register_if(const ServerInterface& iface, unsigned flags, unsigned max_calls);

// Unregisters an interface; with `wait_for_calls`, returns only after its routines in progress have
// returned. RPC_S_UNKNOWN_IF if it is not registered. Endpoints stay open.
Status unregister_if(const SyntaxId& id, bool wait_for_calls);

// How long and how many connections the server keeps. Changes apply to connections accepted
// afterwards and to the next deadline of those already open.
struct ConnectionPolicy {
  std::size_t max_connections = 4096;             // in all; more are closed at once
  std::size_t max_connections_per_address = 256;  // from one peer address; more are closed at once
  std::chrono::milliseconds first_pdu_timeout{10'000};  // accept to the first complete PDU (the bind)
  std::chrono::milliseconds idle_timeout{300'000};      // between calls
  std::chrono::milliseconds pdu_timeout{30'000};        // first byte of a PDU (or call) to its last
  std::chrono::milliseconds send_timeout{30'000};       // a peer that stops reading its replies
  std::chrono::milliseconds linger_timeout{2'000};      // to let a final fault reach the peer
};
inline constexpr std::size_t kMaxServerConnections = 4096;

// ERROR_INVALID_PARAMETER when a count is 0 or above kMaxServerConnections or a time-out is not positive.
Status set_connection_policy(const ConnectionPolicy& policy);
ConnectionPolicy connection_policy();

// Counters since the process started.
struct ServerStats {
  std::uint64_t accepted = 0;               // connections taken into service
  std::uint64_t refused_connection_cap = 0;   // closed at once: max_connections open
  std::uint64_t refused_address_limit = 0;    // closed at once: max_connections_per_address open
  std::uint64_t closed_first_pdu_timeout = 0; // no complete first PDU in time
  std::uint64_t closed_idle_timeout = 0;
  std::uint64_t closed_pdu_timeout = 0;       // a PDU or call left unfinished
  std::uint64_t closed_send_timeout = 0;      // replies not taken by the peer
  std::uint64_t calls = 0;                    // calls handed to a routine (refused ones included)
  std::uint64_t open_connections = 0;         // now
  std::uint64_t threads = 0;                  // runtime threads now
};
ServerStats server_stats();

// Called from a routine: the runtime thread running it ends after 200 ms without work instead of
// staying for later calls. For routines that call into a managed runtime which, when the program
// ends, waits for every thread that ever entered it: a thread kept waiting for calls would keep such
// a program from ending. Costs a thread start per quiet spell, so only they should call it.
void end_thread_when_idle();

}  // namespace tarvik::rpc
