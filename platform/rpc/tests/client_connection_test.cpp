// The sans-I/O client connection: what it sends, and how it judges every reply, split anywhere.
#include <gtest/gtest.h>

#include <vector>

#include "platform/rpc/client_connection.h"

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Progress = ClientConnection::Progress;

const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};

Bytes bind_ack(std::uint16_t result, std::uint16_t reason, const SyntaxId& syntax, std::uint16_t recv_frag = 5840,
               std::size_t n_results = 1) {
  BindAckPdu ack;
  ack.max_xmit_frag = ack.max_recv_frag = recv_frag;
  ack.assoc_group_id = 0x12340001;
  ack.secondary_address = "3011";
  for (std::size_t i = 0; i < n_results; ++i) ack.results.push_back({result, reason, syntax});
  Bytes out;
  encode_bind_ack(out, PduType::bind_ack, 0x03, 1, ack);
  return out;
}
// Built on first use: kNdr20Syntax lives in another translation unit.
const Bytes& accept_ack() {
  static const Bytes bytes = bind_ack(ctx::acceptance, 0, kNdr20Syntax);
  return bytes;
}

Bytes response(std::uint8_t flags, std::uint32_t call_id, const Bytes& stub) {
  Bytes out;
  encode_response(out, flags, call_id, ResponsePdu{static_cast<std::uint32_t>(stub.size()), 0, 0, stub});
  return out;
}
Bytes fault(std::uint32_t status, std::uint8_t flags = 0x03, std::uint32_t call_id = 2) {
  Bytes out;
  encode_fault(out, flags, call_id, FaultPdu{32, 0, 0, 0, status});
  return out;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A connection that has sent its bind, and one that is bound and has sent a call with `stub`.
ClientConnection binding_connection(Bytes* sent = nullptr) {
  ClientConnection c(kMachine);
  Bytes out;
  c.begin_bind(out);
  if (sent) *sent = out;
  return c;
}
ClientConnection calling_connection(const Bytes& ack = accept_ack(), const Bytes& stub = {}, Bytes* sent = nullptr) {
  ClientConnection c = binding_connection();
  EXPECT_EQ(c.feed(ack), Progress::done);
  Bytes out;
  EXPECT_TRUE(c.begin_call(0, stub, out));
  if (sent) *sent = out;
  return c;
}

TEST(ClientConnection, BindMatchesTheReferenceLayout) {
  Bytes sent;
  binding_connection(&sent);
  // Layout of a one-context bind as another implementation writes it, with our 5840/5840.
  const Bytes expected = {
      0x05, 0x00, 0x0b, 0x03, 0x10, 0x00, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  //
      0xd0, 0x16, 0xd0, 0x16, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,  //
      0x00, 0x23, 0x54, 0xd6, 0x5a, 0xc1, 0xd0, 0x11, 0xa0, 0xcb, 0x00, 0xa0, 0x24, 0x4c, 0xe6, 0x87,  //
      0x01, 0x00, 0x01, 0x00,                                                                          //
      0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11, 0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60,  //
      0x02, 0x00, 0x00, 0x00};
  EXPECT_EQ(sent, expected);
}

TEST(ClientConnection, BindRepliesGiveTheRuntimeStatuses) {
  auto nak = [](std::uint16_t reason) {
    Bytes out;
    encode_bind_nak(out, 1, BindNakPdu{reason, {{5, 0}}});
    return out;
  };
  const std::pair<Bytes, Status> rows[] = {
      {accept_ack(), RPC_S_OK},
      {bind_ack(ctx::provider_rejection, ctx::abstract_syntax_not_supported, {}), RPC_S_UNKNOWN_IF},
      {bind_ack(ctx::provider_rejection, ctx::transfer_syntaxes_not_supported, {}), RPC_S_UNSUPPORTED_TRANS_SYN},
      {bind_ack(ctx::provider_rejection, ctx::local_limit_exceeded, {}), RPC_S_SERVER_TOO_BUSY},
      {bind_ack(ctx::user_rejection, 0, {}), RPC_S_CALL_FAILED_DNE},
      {bind_ack(ctx::negotiate_ack, 0, {}), RPC_S_PROTOCOL_ERROR},
      {bind_ack(ctx::acceptance, 0, kNdr64Syntax), RPC_S_PROTOCOL_ERROR},  // a syntax we never offered
      {bind_ack(ctx::acceptance, 0, kNdr20Syntax, 5840, 2), RPC_S_PROTOCOL_ERROR},
      {bind_ack(ctx::acceptance, 0, kNdr20Syntax, 16), RPC_S_PROTOCOL_ERROR},  // unusable fragment size
      {nak(nak::reason_not_specified), RPC_S_CALL_FAILED_DNE},
      {nak(nak::temporary_congestion), RPC_S_SERVER_TOO_BUSY},
      {nak(nak::local_limit_exceeded), RPC_S_SERVER_TOO_BUSY},
      {nak(nak::protocol_version_not_supported), RPC_S_PROTOCOL_ERROR},
      {fault(nca::s_proto_error), RPC_S_PROTOCOL_ERROR},
      {response(0x03, 1, {}), RPC_S_PROTOCOL_ERROR},
  };
  int row = 0;
  for (const auto& [reply, status] : rows) {
    SCOPED_TRACE(row++);
    ClientConnection c = binding_connection();
    EXPECT_EQ(c.feed(reply), status == RPC_S_OK ? Progress::done : Progress::failed);
    EXPECT_EQ(c.status(), status);
    EXPECT_EQ(c.state(), status == RPC_S_OK ? ClientConnection::State::ready : ClientConnection::State::failed);
  }
}

TEST(ClientConnection, RequestsAreFragmentedToTheServersReceiveSize) {
  Bytes stub(5000);
  for (std::size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<std::uint8_t>(i * 7);
  Bytes sent;
  calling_connection(bind_ack(ctx::acceptance, 0, kNdr20Syntax, 2048), stub, &sent);

  Bytes joined;
  std::size_t at = 0, fragments = 0;
  std::uint32_t call_id = 0;
  while (at < sent.size()) {
    PduHeader h;
    ASSERT_TRUE(decode_header(std::span(sent).subspan(at), h));
    ASSERT_LE(h.frag_length, 2048);
    RequestPdu req;
    ASSERT_TRUE(decode_request(std::span(sent).subspan(at, h.frag_length), h, req));
    EXPECT_EQ((h.flags & pfc::first_frag) != 0, fragments == 0);
    EXPECT_EQ((h.flags & pfc::last_frag) != 0, at + h.frag_length == sent.size());
    EXPECT_EQ(req.alloc_hint, stub.size() - joined.size());  // stub bytes still to come
    EXPECT_EQ(req.opnum, 0);
    if (fragments == 0) call_id = h.call_id;
    EXPECT_EQ(h.call_id, call_id);
    EXPECT_NE(call_id, 1u);  // the bind used 1
    joined.insert(joined.end(), req.stub.begin(), req.stub.end());
    at += h.frag_length;
    ++fragments;
  }
  EXPECT_EQ(fragments, 3u);
  EXPECT_EQ(joined, stub);
}

TEST(ClientConnection, EmptyStubIsOneBareRequest) {
  Bytes sent;
  calling_connection(accept_ack(), {}, &sent);
  const Bytes expected = {0x05, 0x00, 0x00, 0x03, 0x10, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00,
                          0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(sent, expected);
}

// Feeds `bytes` cut at the ascending offsets `cuts`; returns the progress after the last piece.
Progress feed_cut(ClientConnection& c, const Bytes& bytes, std::initializer_list<std::size_t> cuts) {
  const std::span<const std::uint8_t> s(bytes);
  std::size_t from = 0;
  Progress p = Progress::need_more;
  for (std::size_t cut : cuts) {
    if (cut > from) p = c.feed(s.subspan(from, cut - from));
    from = cut;
  }
  return from < s.size() ? c.feed(s.subspan(from)) : p;
}

// A response in three fragments under a call_id the request never used (the reply is still ours:
// nothing else is outstanding). Every split of the bytes gives the same result.
TEST(ClientConnection, ReassemblesTheSameAtEveryByteBoundary) {
  for (std::size_t cut = 0; cut <= accept_ack().size(); ++cut) {
    ClientConnection c = binding_connection();
    ASSERT_EQ(feed_cut(c, accept_ack(), {cut}), Progress::done) << cut;
  }
  const Bytes a(40, 0xa1), b(17, 0xb2), c(4, 0xc3);
  const Bytes reply = cat({response(0x01, 1, a), response(0x00, 1, b), response(0x02, 1, c)});
  const Bytes expected = cat({a, b, c});
  for (std::size_t first = 0; first <= reply.size(); ++first) {
    for (std::size_t second = first; second <= reply.size(); ++second) {
      ClientConnection conn = calling_connection();
      ASSERT_EQ(feed_cut(conn, reply, {first, second}), Progress::done) << first << "/" << second;
      ASSERT_TRUE(conn.reusable());
      ASSERT_EQ(conn.take_response(), expected);
    }
  }
  ClientConnection conn = calling_connection();  // one byte at a time
  Progress p = Progress::need_more;
  for (std::uint8_t byte : reply) p = conn.feed(std::span(&byte, 1));
  EXPECT_EQ(p, Progress::done);
  EXPECT_EQ(conn.take_response(), expected);
}

TEST(ClientConnection, MalformedOrMixedRepliesAreProtocolErrors) {
  Bytes bad_version = response(0x03, 2, {0, 0, 0, 0});
  bad_version[0] = 4;
  Bytes with_auth = response(0x03, 2, {0, 0, 0, 0});
  with_auth[10] = 8;
  Bytes too_short = response(0x03, 2, {});
  too_short[8] = 12;  // frag_length below the header
  Bytes unknown_type = response(0x03, 2, {});
  unknown_type[2] = 99;
  const Bytes rows[] = {
      response(0x02, 2, {1}),                                      // no FIRST fragment
      cat({response(0x01, 2, {1}), response(0x01, 2, {2})}),       // FIRST twice
      cat({response(0x01, 2, {1}), response(0x02, 3, {2})}),       // another call's fragment joined
      cat({response(0x01, 2, {1}), fault(nca::s_fault_unspec, 0x03, 5)}),  // another call's fault
      bad_version,
      with_auth,
      too_short,
      unknown_type,
      bind_ack(ctx::acceptance, 0, kNdr20Syntax),
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    ClientConnection c = calling_connection();
    EXPECT_EQ(c.feed(rows[i]), Progress::failed) << i;
    EXPECT_EQ(c.status(), RPC_S_PROTOCOL_ERROR) << i;
  }
}

TEST(ClientConnection, ResponseBeyondTheCapIsRefused) {
  ClientConnection c(kMachine, std::nullopt, ClientConnection::Limits{5840, 5840, 100});
  Bytes out;
  c.begin_bind(out);
  ASSERT_EQ(c.feed(accept_ack()), Progress::done);
  ASSERT_TRUE(c.begin_call(0, {}, out));
  EXPECT_EQ(c.feed(response(0x01, 2, Bytes(64))), Progress::need_more);
  EXPECT_EQ(c.feed(response(0x02, 2, Bytes(64))), Progress::failed);
  EXPECT_EQ(c.status(), RPC_S_PROTOCOL_ERROR);
}

TEST(ClientConnection, FaultsMapToStatusesAndNeverToSuccess) {
  const std::tuple<std::uint32_t, std::uint8_t, Status> rows[] = {
      {nca::s_op_rng_error, 0x23, RPC_S_PROCNUM_OUT_OF_RANGE},
      {nca::s_unk_if, 0x23, RPC_S_UNKNOWN_IF},
      {nca::s_server_too_busy, 0x23, RPC_S_SERVER_TOO_BUSY},
      {nca::manager_not_entered, 0x23, RPC_S_CALL_FAILED_DNE},
      {nca::s_bad_actid, 0x03, RPC_S_CALL_FAILED_DNE},
      {nca::s_proto_error, 0x03, RPC_S_PROTOCOL_ERROR},
      {nca::s_fault_invalid_bound, 0x03, RPC_S_INVALID_BOUND},
      {nca::s_fault_ndr, 0x03, RPC_X_BAD_STUB_DATA},
      {nca::s_fault_unspec, 0x03, RPC_S_CALL_FAILED},
      {5, 0x03, ERROR_ACCESS_DENIED},
      {0, 0x03, RPC_S_CALL_FAILED},      // a fault that claims success
      {0, 0x23, RPC_S_CALL_FAILED_DNE},  // ... and one that did not execute
  };
  for (const auto& [status, flags, expected] : rows) {
    ClientConnection c = calling_connection();
    EXPECT_EQ(c.feed(fault(status, flags)), Progress::done);
    EXPECT_EQ(c.status(), expected) << std::hex << status;
    EXPECT_FALSE(c.reusable());  // after a fault the next call binds anew
  }
}

TEST(ClientConnection, UnaskedBytesNeverReachTheNextCall) {
  {  // bytes after the completing response in the same read
    ClientConnection c = calling_connection();
    EXPECT_EQ(c.feed(cat({response(0x03, 2, {7, 0, 0, 0}), response(0x03, 3, {8, 0, 0, 0})})), Progress::done);
    EXPECT_EQ(c.status(), RPC_S_OK);
    EXPECT_FALSE(c.reusable());
  }
  {  // bytes while nothing is outstanding
    ClientConnection c = calling_connection();
    ASSERT_EQ(c.feed(response(0x03, 2, {})), Progress::done);
    EXPECT_TRUE(c.reusable());
    EXPECT_EQ(c.feed(response(0x03, 3, {})), Progress::failed);
    Bytes out;
    EXPECT_FALSE(c.begin_call(0, {}, out));
    EXPECT_TRUE(out.empty());
  }
  {  // a shutdown request: the call completes, then the connection goes
    ClientConnection c = calling_connection();
    Bytes shutdown;
    encode_header_only(shutdown, PduType::shutdown, 0x03, 0);
    EXPECT_EQ(c.feed(cat({shutdown, response(0x03, 2, {1, 0, 0, 0})})), Progress::done);
    EXPECT_EQ(c.status(), RPC_S_OK);
    EXPECT_FALSE(c.reusable());
  }
}

}  // namespace
}  // namespace tarvik::rpc
