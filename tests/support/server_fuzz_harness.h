// One run of arbitrary bytes through the PDU decoders and a fresh server connection, shared by the
// libFuzzer target (fuzz/) and the deterministic bit-flip test. Memory errors are the sanitizers'
// to find; the harness itself checks that feeding the bytes whole and in 7-byte pieces gives the
// same output, and that the output stays bounded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/rpc/pdu.h"
#include "platform/rpc/server_connection.h"

namespace tarvik::rpc::fuzzing {

class FuzzInterfaces final : public InterfaceLookup {
 public:
  std::optional<SyntaxId> find(const SyntaxId& requested) const override {
    for (const SyntaxId& id : {kHost, kMachine})
      if (version_compatible(id, requested)) return id;
    return std::nullopt;
  }
  std::optional<std::size_t> opnum_count(const SyntaxId& id) const override {
    if (id == kHost) return 10;
    if (id == kMachine) return 17;
    return std::nullopt;
  }
  const SyntaxId kHost{*Uuid::parse("d3d7d860-c15a-11d0-a0cb-00a0244ce687"), 1, 0};
  const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};
};

// Feeds `data` in pieces of `chunk` bytes; calls are answered with an echo of up to 3000 stub
// bytes (so responses get fragmented at small negotiated sizes) or, for every third opnum, a fault.
inline std::vector<std::uint8_t> run_connection(std::span<const std::uint8_t> data, std::size_t chunk) {
  static const FuzzInterfaces interfaces;
  AssocGroups groups;
  ServerConnection conn(interfaces, groups, 3010);
  std::vector<std::uint8_t> out;
  for (std::size_t at = 0; at < data.size() && !conn.closing(); at += chunk) {
    conn.feed(data.subspan(at, std::min(chunk, data.size() - at)));
    while (auto call = conn.take_call()) {
      const std::size_t n = std::min<std::size_t>(call->stub.size(), 3000);
      conn.complete(call->opnum % 3 == 2 ? nca::s_fault_ndr : 0, std::span(call->stub).first(n));
    }
    const std::vector<std::uint8_t> o = conn.take_output();
    out.insert(out.end(), o.begin(), o.end());
  }
  return out;
}

inline void decode_everything(std::span<const std::uint8_t> data) {
  PduHeader h;
  if (!decode_header(data, h)) return;
  const auto pdu = data.first(std::min<std::size_t>(h.frag_length, data.size()));
  BindPdu bind;
  BindAckPdu ack;
  BindNakPdu nak;
  RequestPdu req;
  ResponsePdu resp;
  FaultPdu fault;
  (void)decode_bind(pdu, h, bind);
  (void)decode_bind_ack(pdu, h, ack);
  (void)decode_bind_nak(pdu, h, nak);
  (void)decode_request(pdu, h, req);
  (void)decode_response(pdu, h, resp);
  (void)decode_fault(pdu, h, fault);
}

// False when the two ways of feeding disagree or the server answered with more than the input
// could justify (each PDU in gets at most a few PDUs out; responses echo at most 3000 bytes).
inline bool exercise(std::span<const std::uint8_t> data) {
  decode_everything(data);
  const std::vector<std::uint8_t> whole = run_connection(data, data.size() + 1);
  const std::vector<std::uint8_t> pieces = run_connection(data, 7);
  const std::size_t bound = 4096 + 2 * data.size() + (data.size() / 16 + 1) * 3200;
  return whole == pieces && whole.size() <= bound;
}

}  // namespace tarvik::rpc::fuzzing
