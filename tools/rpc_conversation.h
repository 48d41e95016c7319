// DCE RPC calls out of the two byte streams of one TCP connection, as read from a capture: PDUs
// framed by their headers, presentation contexts from bind and alter_context, request and response
// fragments joined per call id, each request paired with its response or fault.
//
// Bytes are untrusted. A direction whose first bytes are not a DCE RPC header is taken for other
// traffic and ignored; once a direction has carried DCE RPC, a malformed PDU is an error naming the
// packet it ended in.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/rpc/ndr.h"
#include "platform/rpc/uuid.h"

namespace tarvik::cli {

struct CapturedCall {
  std::size_t connection = 0;   // index of the TCP connection, in order of appearance
  std::size_t packet = 0;       // 1-based number of the packet that completed the request
  double time = 0;              // seconds since the first packet of the capture
  std::optional<rpc::SyntaxId> iface;  // nullopt when the context's bind was not captured
  std::uint16_t opnum = 0;
  rpc::ByteOrder order = rpc::ByteOrder::little;
  std::vector<std::uint8_t> stub;
  // What came back, when the capture holds it: the response stub or the fault status.
  bool answered = false;
  rpc::ByteOrder response_order = rpc::ByteOrder::little;
  std::vector<std::uint8_t> response_stub;
  std::optional<std::uint32_t> fault;
};

// Longest call (request or response stub, all fragments) kept; telegrams are far smaller.
inline constexpr std::size_t kMaxCapturedStub = 1 << 20;

class RpcConversation {
 public:
  // `calls` receives the calls of this connection (shared by all connections of a capture).
  RpcConversation(std::size_t connection, std::vector<CapturedCall>& calls) : connection_(connection), calls_(calls) {}

  // Bytes of one direction in stream order. False with `error` set on a malformed PDU.
  bool feed(int direction, std::span<const std::uint8_t> bytes, std::size_t packet, double time,
            std::string& error);
  // Whether this direction has shown to carry something other than DCE RPC.
  bool ignores(int direction) const { return dir_[direction & 1].ignored; }

 private:
  struct Direction {
    std::vector<std::uint8_t> pending;  // bytes of a PDU not yet complete
    bool checked = false;               // the first header has been seen
    bool ignored = false;               // not DCE RPC
  };
  struct Partial {
    std::vector<std::uint8_t> stub;
    std::uint16_t opnum = 0;
    std::uint16_t cont_id = 0;
    rpc::ByteOrder order = rpc::ByteOrder::little;
  };

  bool handle_pdu(std::span<const std::uint8_t> pdu, std::size_t packet, double time, std::string& error);
  CapturedCall* open_call(std::uint32_t call_id);

  std::size_t connection_;
  std::vector<CapturedCall>& calls_;
  Direction dir_[2];
  std::map<std::uint16_t, rpc::SyntaxId> contexts_;
  std::map<std::uint32_t, Partial> requests_;   // by call id, first fragment seen
  std::map<std::uint32_t, Partial> responses_;  // by call id
  std::map<std::uint32_t, std::size_t> unanswered_;  // call id -> index in calls_
};

}  // namespace tarvik::cli
