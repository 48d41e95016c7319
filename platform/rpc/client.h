// Client side of the runtime: string bindings, binding handles, communication time-outs and calls.
//
// The operations mirror the runtime operations host programs already know (compose a string
// binding, binding from string binding, set the communication time-out, free a binding, call).
// A Binding owns at most one TCP connection: made on the first call (non-blocking connect), bound
// with one NDR 2.0 presentation context, reused by later calls, closed when the binding is freed or
// a call fails. One deadline, taken from the time-out level, bounds connecting, binding and waiting
// for the whole response, so a machine that accepts but never answers cannot hang the caller.
//
// A Binding is used by one thread at a time (its owner); distinct bindings are independent.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rpc/ndr.h"
#include "platform/rpc/status.h"
#include "platform/rpc/uuid.h"

namespace tarvik::rpc {

// The parts of "[uuid@]protseq:address[endpoint,option=value...]".
struct StringBindingParts {
  std::string object_uuid;  // "" for none
  std::string protseq;      // "ncacn_ip_tcp"
  std::string network_address;  // "" means this computer
  std::string endpoint;     // decimal TCP port for ncacn_ip_tcp
  std::string options;      // "" for none
};

// Composes "[uuid@]protseq:address[endpoint,options]". Empty parts are left out the way the
// Windows runtime leaves them out ("ncacn_ip_tcp:192.0.2.10[3011]", "ncacn_ip_tcp:[3011]").
Status string_binding_compose(const StringBindingParts& parts, std::string& out);
// Parses a string binding; RPC_S_INVALID_STRING_BINDING, RPC_S_INVALID_STRING_UUID ... when malformed.
Status string_binding_parse(std::string_view text, StringBindingParts& out);

// Communication time-out levels 0..10 (10 = no limit); levels above 10 are RPC_S_INVALID_TIMEOUT.
inline constexpr unsigned kMinTimeout = 0;
inline constexpr unsigned kDefaultTimeout = 5;
inline constexpr unsigned kMaxTimeout = 9;
inline constexpr unsigned kInfiniteTimeout = 10;
// The deadline of one call (connect + bind + request + whole response) at a level; zero = none.
std::chrono::milliseconds timeout_for_level(unsigned level);

class Binding {
 public:
  virtual ~Binding() = default;

  // Sets the time-out level for later calls; RPC_S_INVALID_TIMEOUT above 10 (the old level stays).
  virtual Status set_com_timeout(unsigned level) = 0;
  virtual unsigned com_timeout() const = 0;

  // One call of `opnum` on interface `iface` (bound on first use with NDR 2.0). On success `stub_out`
  // holds the response stub as the server wrote it and `stub_order` its integer byte order (from the
  // response's data representation), for an NdrReader. Statuses: 1722 when the machine could not be
  // reached or the request never left, 1726 when the connection was lost after the request left, a
  // fault's status mapped as a Windows client maps it, 1717/1730 when the bind is refused. Any
  // failure closes the connection.
  virtual Status call(const SyntaxId& iface, std::uint16_t opnum, std::span<const std::uint8_t> stub_in,
                      std::vector<std::uint8_t>& stub_out, ByteOrder& stub_order) = 0;

  // The same call for callers that read the response stub as little-endian bytes: a non-empty
  // big-endian stub is refused with RPC_S_PROTOCOL_ERROR rather than handed over to be misread.
  Status call(const SyntaxId& iface, std::uint16_t opnum, std::span<const std::uint8_t> stub_in,
              std::vector<std::uint8_t>& stub_out);

  // Whether a connection is currently open (for tests and diagnostics).
  virtual bool connected() const = 0;
};

// Makes a binding handle from a string binding. Nothing is connected yet. Only ncacn_ip_tcp is
// supported (RPC_S_PROTSEQ_NOT_SUPPORTED otherwise); the endpoint must be a port 1..65535
// (RPC_S_INVALID_ENDPOINT_FORMAT). An empty network address means 127.0.0.1 / this computer.
Status binding_from_string_binding(std::string_view string_binding, std::unique_ptr<Binding>& out);

// Frees a binding (closing its connection) and nulls the pointer; RPC_S_INVALID_BINDING if null.
Status binding_free(std::unique_ptr<Binding>& binding);

}  // namespace tarvik::rpc
