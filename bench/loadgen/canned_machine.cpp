#include "bench/loadgen/canned_machine.h"

#include <string>

#include "platform/rpc/pdu.h"

namespace tarvik::loadgen {
namespace {

constexpr std::uint8_t kFirstLast = rpc::pfc::first_frag | rpc::pfc::last_frag;

// The call id sits at bytes 12..15 of every PDU; ours are little-endian.
void set_call_id(std::vector<std::uint8_t>& pdu, std::uint32_t id) {
  for (int i = 0; i < 4; ++i) pdu[12 + i] = static_cast<std::uint8_t>(id >> (8 * i));
}

}  // namespace

CannedMachine::CannedMachine(std::vector<std::uint8_t> response_stub)
    : response_stub_(std::move(response_stub)),
      server_(std::make_unique<bench::EchoServer>([this](int fd) { serve(fd); })) {}

std::size_t CannedMachine::response_size() const { return rpc::kResponseHeaderSize + response_stub_.size(); }

void CannedMachine::serve(int fd) const {
  std::vector<std::uint8_t> response;
  rpc::encode_response(response, kFirstLast, 0,
                       rpc::ResponsePdu{static_cast<std::uint32_t>(response_stub_.size()), 0, 0, response_stub_});
  std::vector<std::uint8_t> pdu(rpc::kTcpMaxFrag), reply;
  for (;;) {
    rpc::PduHeader h;
    if (!bench::read_exact(fd, pdu.data(), rpc::kHeaderSize) || !rpc::decode_header(pdu, h)) return;
    if (h.frag_length < rpc::kHeaderSize || h.frag_length > pdu.size() ||
        !bench::read_exact(fd, pdu.data() + rpc::kHeaderSize, h.frag_length - rpc::kHeaderSize))
      return;
    const std::span<const std::uint8_t> whole(pdu.data(), h.frag_length);
    if (h.type == static_cast<std::uint8_t>(rpc::PduType::bind)) {
      rpc::BindPdu bind;
      if (!rpc::decode_bind(whole, h, bind) || bind.contexts.empty()) return;
      rpc::BindAckPdu ack;
      ack.assoc_group_id = 0x5e11;
      ack.secondary_address = std::to_string(port());
      ack.results.push_back({rpc::ctx::acceptance, 0, rpc::kNdr20Syntax});
      for (std::size_t i = 1; i < bind.contexts.size(); ++i) ack.results.push_back({rpc::ctx::provider_rejection, 0, {}});
      reply.clear();
      rpc::encode_bind_ack(reply, rpc::PduType::bind_ack, kFirstLast, h.call_id, ack);
      if (!bench::write_all(fd, reply.data(), reply.size())) return;
    } else if (h.type == static_cast<std::uint8_t>(rpc::PduType::request)) {
      set_call_id(response, h.call_id);
      if (!bench::write_all(fd, response.data(), response.size())) return;
    } else {
      return;  // anything else ends the connection
    }
  }
}

}  // namespace tarvik::loadgen
