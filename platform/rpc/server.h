// Server side of the runtime: endpoints, interface registration and the threads that serve calls.
//
// One process-wide server, as with the runtime host programs already know: listening endpoints are
// opened with use_protseq_ep (one per TCP port, on all interfaces, kept open for the life of the
// process), interfaces are registered with a routine table, flags and a concurrent-call limit and
// are served as soon as they are registered. Routines run on the runtime's own threads, several at
// once. Every byte from the network is untrusted: a peer can never crash, hang or exhaust the server,
// it can only waste its own connection.
#pragma once

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

}  // namespace tarvik::rpc
