// The sans-I/O client connection: what it sends, and how it judges replies split anywhere.
#include "platform/rpc/client_connection.h"

#include <gtest/gtest.h>

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Progress = ClientConnection::Progress;

const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};

Bytes bind_ack(std::uint16_t result, std::uint16_t reason, const SyntaxId& syntax, std::uint16_t frag = 5840,
               int n_results = 1) {
  BindAckPdu ack{frag, frag, 0x12340001, "3011", {}};
  ack.results.assign(n_results, ContextResult{result, reason, syntax});
  Bytes out;
  encode_bind_ack(out, PduType::bind_ack, 0x03, 1, ack);
  return out;
}
Bytes accept_ack() {
  return bind_ack(ctx::acceptance, 0, kNdr20Syntax);
}
Bytes response(std::uint8_t flags, std::uint32_t call_id, const Bytes& stub) {
  Bytes out;
  encode_response(out, flags, call_id, ResponsePdu{static_cast<std::uint32_t>(stub.size()), 0, 0, stub});
  return out;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A connection that sent its bind; one bound by `ack` that sent a call of `stub` (`sent` = its bytes).
ClientConnection binding(Bytes* sent = nullptr) {
  ClientConnection c(kMachine);
  Bytes out;
  c.begin_bind(out);
  if (sent) *sent = out;
  return c;
}
ClientConnection calling(const Bytes& ack = accept_ack(), const Bytes& stub = {}, Bytes* sent = nullptr,
                         ClientConnection::Limits limits = {}) {
  ClientConnection c(kMachine, std::nullopt, limits);
  Bytes out;
  c.begin_bind(out);
  EXPECT_EQ(c.feed(ack), Progress::done);
  out.clear();
  EXPECT_TRUE(c.begin_call(0, stub, out));
  if (sent) *sent = out;
  return c;
}

TEST(ClientConnection, BindMatchesTheReferenceLayout) {
  Bytes sent;
  binding(&sent);
  // A one-context bind as another implementation lays it out, with our 5840/5840.
  const Bytes expected = {
      0x05, 0x00, 0x0b, 0x03, 0x10, 0x00, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  //
      0xd0, 0x16, 0xd0, 0x16, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,  //
      0x00, 0x23, 0x54, 0xd6, 0x5a, 0xc1, 0xd0, 0x11, 0xa0, 0xcb, 0x00, 0xa0, 0x24, 0x4c, 0xe6, 0x87,  //
      0x01, 0x00, 0x01, 0x00, 0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11, 0x9f, 0xe8, 0x08, 0x00,  //
      0x2b, 0x10, 0x48, 0x60, 0x02, 0x00, 0x00, 0x00};
  EXPECT_EQ(sent, expected);
}

TEST(ClientConnection, BindRefusalsGiveTheirStatuses) {
  auto nak = [](std::uint16_t reason) {
    Bytes out;
    encode_bind_nak(out, 1, BindNakPdu{reason, {{5, 0}}});
    return out;
  };
  const std::pair<Bytes, Status> rows[] = {
      {bind_ack(ctx::provider_rejection, ctx::abstract_syntax_not_supported, {}), RPC_S_UNKNOWN_IF},
      {bind_ack(ctx::provider_rejection, ctx::transfer_syntaxes_not_supported, {}), RPC_S_UNSUPPORTED_TRANS_SYN},
      {bind_ack(ctx::provider_rejection, ctx::local_limit_exceeded, {}), RPC_S_SERVER_TOO_BUSY},
      {bind_ack(ctx::user_rejection, 0, {}), RPC_S_CALL_FAILED_DNE},
      {bind_ack(ctx::negotiate_ack, 0, {}), RPC_S_PROTOCOL_ERROR},
      {bind_ack(ctx::acceptance, 0, kNdr64Syntax), RPC_S_PROTOCOL_ERROR},  // never offered
      {bind_ack(ctx::acceptance, 0, kNdr20Syntax, 5840, 2), RPC_S_PROTOCOL_ERROR},
      {bind_ack(ctx::acceptance, 0, kNdr20Syntax, 16), RPC_S_PROTOCOL_ERROR},  // no room for a request
      {nak(nak::reason_not_specified), RPC_S_CALL_FAILED_DNE},
      {nak(nak::temporary_congestion), RPC_S_SERVER_TOO_BUSY},
      {nak(nak::protocol_version_not_supported), RPC_S_PROTOCOL_ERROR},
      {response(0x03, 1, {}), RPC_S_PROTOCOL_ERROR},
  };
  for (const auto& [reply, status] : rows) {
    ClientConnection c = binding();
    EXPECT_EQ(c.feed(reply), Progress::failed);
    EXPECT_EQ(c.status(), status);
  }
}

TEST(ClientConnection, RequestsAreFragmentedToTheServersReceiveSize) {
  Bytes stub(5000), sent, joined;
  for (std::size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<std::uint8_t>(i * 7);
  calling(bind_ack(ctx::acceptance, 0, kNdr20Syntax, 2048), stub, &sent);
  std::size_t fragments = 0;
  for (std::size_t at = 0; at < sent.size(); ++fragments) {
    PduHeader h;
    RequestPdu req;
    ASSERT_TRUE(decode_header(std::span(sent).subspan(at), h));
    ASSERT_LE(h.frag_length, 2048);
    ASSERT_TRUE(decode_request(std::span(sent).subspan(at, h.frag_length), h, req));
    EXPECT_EQ(h.flags, (fragments == 0 ? 0x01 : 0) | (at + h.frag_length == sent.size() ? 0x02 : 0));
    EXPECT_EQ(req.alloc_hint, stub.size() - joined.size());  // stub bytes still to come
    EXPECT_EQ(h.call_id, 2u);                                // the bind used 1
    joined.insert(joined.end(), req.stub.begin(), req.stub.end());
    at += h.frag_length;
  }
  EXPECT_EQ(fragments, 3u);
  EXPECT_EQ(joined, stub);
}

// A response in three fragments under call_id 1, which the request (call_id 2) never used: with
// one call outstanding the reply is still ours. Every two-cut split gives the same result.
TEST(ClientConnection, ReassemblesTheSameAtEveryByteBoundary) {
  const Bytes a(40, 0xa1), b(17, 0xb2), c(4, 0xc3), expected = cat({a, b, c});
  const Bytes reply = cat({response(0x01, 1, a), response(0x00, 1, b), response(0x02, 1, c)});
  for (std::size_t first = 0; first <= reply.size(); ++first) {
    for (std::size_t second = first; second <= reply.size(); ++second) {
      ClientConnection conn = calling();
      const std::span<const std::uint8_t> s(reply);
      Progress p = Progress::need_more;
      for (auto piece : {s.first(first), s.subspan(first, second - first), s.subspan(second)}) {
        if (!piece.empty()) p = conn.feed(piece);
      }
      ASSERT_EQ(p, Progress::done) << first << "/" << second;
      ASSERT_TRUE(conn.reusable());
      ASSERT_EQ(conn.take_response(), expected);
    }
  }
}

TEST(ClientConnection, MalformedOrMixedRepliesAreProtocolErrors) {
  auto patched = [](std::size_t offset, std::uint8_t value) {
    Bytes pdu = response(0x03, 2, {0, 0, 0, 0});
    pdu[offset] = value;
    return pdu;
  };
  Bytes other_fault;
  encode_fault(other_fault, 0x03, 5, FaultPdu{32, 0, 0, 0, nca::s_fault_unspec});
  const Bytes rows[] = {
      response(0x02, 2, {1}),                                             // no FIRST fragment
      cat({response(0x01, 2, {1}), response(0x01, 2, {2})}),              // FIRST twice
      cat({response(0x01, 2, {1}), response(0x02, 3, {2})}),              // another call's fragment
      cat({response(0x01, 2, {1}), other_fault}),                         // another call's fault
      cat({response(0x01, 2, Bytes(64)), response(0x02, 2, Bytes(64))}),  // beyond the 100-byte cap
      patched(0, 4),                                                      // rpc_vers
      patched(2, 99),                                                     // unknown PDU type
      patched(8, 12),                                                     // frag_length below the header
      patched(10, 8),                                                     // auth data we never negotiated
      accept_ack(),                                                       // a bind reply during a call
  };
  for (const Bytes& row : rows) {
    ClientConnection c = calling(accept_ack(), {}, nullptr, {5840, 5840, 100});
    EXPECT_EQ(c.feed(row), Progress::failed) << &row - rows;
    EXPECT_EQ(c.status(), RPC_S_PROTOCOL_ERROR);
  }
}

TEST(ClientConnection, UnaskedBytesNeverReachTheNextCall) {
  Bytes shutdown, out;
  encode_header_only(shutdown, PduType::shutdown, 0x03, 0);
  // Bytes after the response, or a shutdown request: the call succeeds, the connection goes.
  for (const Bytes& reply :
       {cat({response(0x03, 2, {7}), response(0x03, 3, {8})}), cat({shutdown, response(0x03, 2, {7})})}) {
    ClientConnection c = calling();
    EXPECT_EQ(c.feed(reply), Progress::done);
    EXPECT_EQ(c.take_response(), Bytes{7});
    EXPECT_FALSE(c.reusable());
  }
  ClientConnection c = calling();  // bytes while nothing is outstanding
  ASSERT_EQ(c.feed(response(0x03, 2, {})), Progress::done);
  EXPECT_EQ(c.feed(response(0x03, 3, {})), Progress::failed);
  EXPECT_FALSE(c.begin_call(0, {}, out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tarvik::rpc
