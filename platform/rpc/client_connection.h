// The client side of one connection-oriented DCE RPC connection, without I/O.
//
// The socket driver (client.cpp) hands this class the bytes it received and sends the bytes it
// produces; the class owns the protocol: one bind with a single NDR 2.0 presentation context, then
// sequential calls, each request fragmented to the size the server can receive and each response
// reassembled and checked. Any split of the received bytes gives the same result.
//
//   ClientConnection c(iface);
//   c.begin_bind(out);                 // send `out`, then feed what arrives until not need_more
//   c.feed(bytes) == Progress::done    // bound
//   c.begin_call(opnum, stub, out);    // send `out`, feed until done or failed
//   c.take_response()                  // the response stub
//
// A connection carries one call at a time, so every response or fault that arrives while a call
// is outstanding belongs to that call, whatever call_id it carries (some runtimes answer every
// call with call_id 1). Anything that arrives when nothing is outstanding, or after the PDU that
// completed a call, makes the connection unusable (reusable() false) so that it can never be
// mistaken for the answer to a later call.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/rpc/pdu.h"
#include "platform/rpc/status.h"
#include "platform/rpc/uuid.h"

namespace tarvik::rpc {

class ClientConnection {
 public:
  enum class State {
    unbound,  // nothing sent yet
    binding,  // bind sent, waiting for bind_ack / bind_nak
    ready,    // bound, no call outstanding
    calling,  // request sent, waiting for the whole response
    failed,   // a protocol failure or a refused bind; the connection must be closed
  };
  enum class Progress { need_more, done, failed };

  struct Limits {
    std::uint16_t max_xmit_frag = kTcpMaxFrag;  // offered in the bind: largest fragment we send
    std::uint16_t max_recv_frag = kTcpMaxFrag;  // offered in the bind: largest fragment we accept
    std::size_t max_response_stub = 4u << 20;   // reassembled response cap, bytes
  };

  // `object`, when given, is sent with every request (PFC_OBJECT_UUID).
  explicit ClientConnection(const SyntaxId& iface, std::optional<Uuid> object = std::nullopt);
  ClientConnection(const SyntaxId& iface, std::optional<Uuid> object, const Limits& limits);

  // Appends the bind PDU to `out`. Only in State::unbound.
  void begin_bind(std::vector<std::uint8_t>& out);

  // Appends every request fragment of one call to `out`. False (nothing appended) unless the state
  // is State::ready.
  [[nodiscard]] bool begin_call(std::uint16_t opnum, std::span<const std::uint8_t> stub,
                                std::vector<std::uint8_t>& out);

  // Consumes received bytes. done: the bind was accepted or the call completed (status() tells
  // whether it succeeded: a fault completes a call with the fault's mapped status). failed: the
  // bind was refused or the reply was malformed; status() says why and the state is `failed`.
  Progress feed(std::span<const std::uint8_t> bytes);

  State state() const { return state_; }
  // Result of the last completed step: RPC_S_OK, a mapped fault, 1717/1723/1727/1728/1730 ...
  Status status() const { return status_; }
  // The response stub of the last successful call (moved out).
  std::vector<std::uint8_t> take_response() { return std::move(response_); }
  // The integer byte order the server used for the last response stub.
  ByteOrder response_byte_order() const { return response_order_; }
  // False once the connection must not carry another call: failure, fault, stray or trailing bytes,
  // a shutdown request from the server.
  bool reusable() const { return state_ == State::ready && reusable_; }

  // Largest request fragment we send (from the bind_ack, never more than we offered).
  std::uint16_t send_frag_size() const { return send_frag_; }
  std::uint32_t assoc_group_id() const { return assoc_group_; }
  const SyntaxId& interface_id() const { return iface_; }

 private:
  Progress handle_pdu(std::span<const std::uint8_t> pdu, const PduHeader& h);
  Progress handle_bind_reply(std::span<const std::uint8_t> pdu, const PduHeader& h);
  Progress handle_call_reply(std::span<const std::uint8_t> pdu, const PduHeader& h);
  Progress fail(Status s);
  Progress complete(Status s);

  SyntaxId iface_;
  std::optional<Uuid> object_;
  Limits limits_;
  State state_ = State::unbound;
  Status status_ = RPC_S_OK;
  bool reusable_ = true;

  std::uint32_t next_call_id_ = 1;
  std::uint16_t send_frag_ = kTcpMaxFrag;
  std::uint32_t assoc_group_ = 0;

  // Receive side: bytes of the PDU being assembled (at most 65535).
  std::vector<std::uint8_t> inbox_;
  // Response reassembly of the outstanding call.
  bool response_started_ = false;
  std::uint32_t response_call_id_ = 0;
  ByteOrder response_order_ = ByteOrder::little;
  std::vector<std::uint8_t> response_;
};

}  // namespace tarvik::rpc
