// The per-connection server state machine, fed bytes directly: bind negotiation, requests and
// responses, and the reply to each kind of malformed input.
#include "platform/rpc/server_connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/server_fuzz_harness.h"

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;

const SyntaxId kHost{*Uuid::parse("d3d7d860-c15a-11d0-a0cb-00a0244ce687"), 1, 0};
const SyntaxId kOther{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};
const SyntaxId kFeatures{*Uuid::parse("6cb71c2c-9812-4540-0300-000000000000"), 1, 0};

// The host interface with 10 opnums and the machine interface (kOther) with 17.
using FakeInterfaces = fuzzing::FuzzInterfaces;

struct Reply {
  PduHeader h;
  Bytes pdu;
};

// Splits output into PDUs (the encoder's output, so lengths are trusted here).
std::vector<Reply> split(const Bytes& out) {
  std::vector<Reply> replies;
  for (std::size_t at = 0; at + kHeaderSize <= out.size();) {
    Reply r;
    EXPECT_TRUE(decode_header(std::span(out).subspan(at), r.h));
    r.pdu.assign(out.begin() + at, out.begin() + at + r.h.frag_length);
    at += r.h.frag_length;
    replies.push_back(std::move(r));
  }
  return replies;
}

Bytes bind_pdu(std::vector<ContextElem> contexts, std::uint32_t group = 0, PduType type = PduType::bind,
               std::uint16_t max_frag = kTcpMaxFrag) {
  Bytes out;
  encode_bind(out, type, 0x03, 1, BindPdu{max_frag, max_frag, group, std::move(contexts)});
  return out;
}
Bytes host_bind(std::uint16_t max_frag = kTcpMaxFrag) {
  return bind_pdu({{0, kHost, {kNdr20Syntax}}}, 0, PduType::bind, max_frag);
}
Bytes request(std::uint32_t call_id, std::uint16_t opnum, Bytes stub, std::uint8_t flags = 0x03,
              std::uint16_t cont_id = 0, std::uint32_t alloc_hint = 0) {
  Bytes out;
  encode_request(out, flags, call_id, RequestPdu{alloc_hint, cont_id, opnum, std::nullopt, stub});
  return out;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// One connection driven like the socket driver drives it; every call is answered with a 4-byte
// response stub holding its opnum, or with `fault` when set.
struct Session {
  FakeInterfaces interfaces;
  AssocGroups groups;
  ServerConnection conn{interfaces, groups, 3010};
  std::vector<ServerCall> calls;
  std::uint32_t fault = 0;
  Bytes stub_out;

  Bytes feed(std::span<const std::uint8_t> bytes, std::size_t chunk = SIZE_MAX) {
    Bytes out;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
      conn.feed(bytes.subspan(at, std::min(chunk, bytes.size() - at)));
      while (auto call = conn.take_call()) {
        Bytes result = stub_out.empty() ? Bytes{static_cast<std::uint8_t>(call->opnum), 0, 0, 0} : stub_out;
        calls.push_back(std::move(*call));
        conn.complete(fault, result);
      }
      const Bytes o = conn.take_output();
      out.insert(out.end(), o.begin(), o.end());
    }
    return out;
  }
  std::vector<Reply> replies(const Bytes& bytes) { return split(feed(bytes)); }
};

std::vector<ContextResult> results_of(const Reply& r) {
  BindAckPdu ack;
  EXPECT_TRUE(decode_bind_ack(r.pdu, r.h, ack));
  return ack.results;
}
FaultPdu fault_of(const Reply& r) {
  FaultPdu f;
  EXPECT_EQ(r.h.type, static_cast<std::uint8_t>(PduType::fault));
  EXPECT_TRUE(decode_fault(r.pdu, r.h, f));
  return f;
}

TEST(ServerBind, WindowsThreeContextBindGetsWindowsBindAck) {
  // The bind of a 64-bit Windows client and the bind_ack a Windows server sends on port 3010.
  Session s;
  const Bytes ack =
      s.feed(bind_pdu({{0, kHost, {kNdr20Syntax}}, {1, kHost, {kNdr64Syntax}}, {2, kHost, {kFeatures}}}));
  Bytes golden{0x05, 0x00, 0x0c, 0x03, 0x10, 0,    0,    0,    0x6c, 0,    0,    0,    0x01, 0,    0,    0,
               0xd0, 0x16, 0xd0, 0x16, 0x45, 0x23, 0x01, 0x00, 0x05, 0x00, '3',  '0',  '1',  '0',  0,    0,
               3,    0,    0,    0,    0,    0,    0,    0,    0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11,
               0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60, 2,    0,    0,    0,    2,    0,    2,    0};
  golden.resize(golden.size() + 20);
  golden.insert(golden.end(), {3, 0, 0, 0});
  golden.resize(golden.size() + 20);
  EXPECT_EQ(ack, golden);
  EXPECT_FALSE(s.conn.closing());
}

TEST(ServerBind, NegotiationMatrix) {
  struct Row {
    const char* name;
    std::vector<ContextElem> offered;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> expected;  // result, reason
  };
  const SyntaxId host_1_1{kHost.uuid, 1, 1}, host_2_0{kHost.uuid, 2, 0}, other_1_0{kOther.uuid, 1, 0};
  const SyntaxId unknown{*Uuid::parse("00000001-0002-0003-0405-060708090a0b"), 1, 0};
  const std::vector<Row> rows = {
      {"ndr64 only", {{0, kHost, {kNdr64Syntax}}}, {{2, 2}}},
      {"ndr among several", {{0, kHost, {kNdr64Syntax, kNdr20Syntax}}}, {{0, 0}}},
      {"unknown uuid", {{0, unknown, {kNdr20Syntax}}}, {{2, 1}}},
      {"other major", {{0, host_2_0, {kNdr20Syntax}}}, {{2, 1}}},
      {"client minor higher", {{0, host_1_1, {kNdr20Syntax}}}, {{2, 1}}},
      {"client minor lower", {{0, other_1_0, {kNdr20Syntax}}}, {{0, 0}}},
      {"one accepted per bind", {{0, kHost, {kNdr20Syntax}}, {1, kOther, {kNdr20Syntax}}}, {{0, 0}, {2, 2}}},
      {"unknown then known", {{5, unknown, {kNdr20Syntax}}, {6, kHost, {kNdr20Syntax}}}, {{2, 1}, {0, 0}}},
      {"repeated id", {{0, kHost, {kNdr20Syntax}}, {0, kHost, {kNdr20Syntax}}}, {{0, 0}, {2, 2}}},
      {"feature first", {{2, kHost, {kFeatures}}, {0, kHost, {kNdr20Syntax}}}, {{3, 0}, {0, 0}}},
  };
  for (const Row& row : rows) {
    Session s;
    const auto replies = s.replies(bind_pdu(row.offered));
    ASSERT_EQ(replies.size(), 1u) << row.name;
    const auto results = results_of(replies[0]);
    ASSERT_EQ(results.size(), row.expected.size()) << row.name;
    for (std::size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i].result, row.expected[i].first) << row.name << " #" << i;
      EXPECT_EQ(results[i].reason, row.expected[i].second) << row.name << " #" << i;
      EXPECT_EQ(results[i].transfer_syntax, results[i].result == 0 ? kNdr20Syntax : SyntaxId{}) << row.name;
    }
    EXPECT_FALSE(s.conn.closing()) << row.name;
  }
}

TEST(ServerBind, RefusedBindsGetBindNakAndClose) {
  struct Row {
    const char* name;
    Bytes input;
    std::uint16_t reason;
  };
  Bytes vers51 = host_bind();
  vers51[1] = 1;
  Bytes authed = host_bind();
  authed[10] = 4;  // auth_length 4 with no valid trailer behind it
  authed.insert(authed.end(), 12, 0);
  authed[8] = static_cast<std::uint8_t>(authed.size());
  const std::vector<Row> rows = {
      {"no contexts", bind_pdu({}), nak::reason_not_specified},
      {"no transfer syntax", bind_pdu({{0, kHost, {}}}), nak::reason_not_specified},
      {"two feature elements", bind_pdu({{1, kHost, {kFeatures}}, {2, kHost, {kFeatures}}}), 0},
      {"unknown assoc group", bind_pdu({{0, kHost, {kNdr20Syntax}}}, 0x777), 0},
      {"second bind", cat({host_bind(), host_bind()}), nak::reason_not_specified},
      {"request before bind", request(1, 0, {}), nak::protocol_version_not_supported},
      {"version 5.1", vers51, nak::protocol_version_not_supported},
      {"authenticated bind", authed, nak::protocol_version_not_supported},
  };
  for (const Row& row : rows) {
    Session s;
    const auto replies = s.replies(row.input);
    ASSERT_FALSE(replies.empty()) << row.name;
    BindNakPdu nak;
    ASSERT_EQ(replies.back().h.type, static_cast<std::uint8_t>(PduType::bind_nak)) << row.name;
    ASSERT_TRUE(decode_bind_nak(replies.back().pdu, replies.back().h, nak));
    EXPECT_EQ(nak.reject_reason, row.reason) << row.name;
    EXPECT_TRUE(s.conn.closing()) << row.name;
  }
}

TEST(ServerBind, AssocGroupsAndFragmentSizes) {
  FakeInterfaces interfaces;
  AssocGroups groups;
  auto ack_of = [&](ServerConnection& c, const Bytes& bind) {
    c.feed(bind);
    const auto r = split(c.take_output());
    BindAckPdu ack;
    EXPECT_TRUE(r.size() == 1 && decode_bind_ack(r[0].pdu, r[0].h, ack));
    return ack;
  };
  std::uint32_t group;
  {
    ServerConnection first(interfaces, groups, 3010), second(interfaces, groups, 3010);
    const BindAckPdu a = ack_of(first, host_bind(0xFFFF));
    group = a.assoc_group_id;
    EXPECT_NE(group, 0u);
    EXPECT_EQ(a.max_xmit_frag, 5840);
    EXPECT_EQ(a.secondary_address, "3010");
    const BindAckPdu b = ack_of(second, bind_pdu({{0, kHost, {kNdr20Syntax}}}, group, PduType::bind, 3199));
    EXPECT_EQ(b.assoc_group_id, group);
    EXPECT_EQ(b.max_recv_frag, 3192);
  }
  ServerConnection late(interfaces, groups, 3010);  // every connection of the group has closed
  late.feed(bind_pdu({{0, kHost, {kNdr20Syntax}}}, group));
  EXPECT_TRUE(late.closing());
}

TEST(ServerBind, AlterContextAddsOneContext) {
  Session s;
  s.feed(host_bind());
  const auto replies =
      s.replies(cat({bind_pdu({{1, kOther, {kNdr20Syntax}}}, 99, PduType::alter_context, 100),
                     request(2, 16, {}, 0x03, 1)}));
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].h.type, static_cast<std::uint8_t>(PduType::alter_context_resp));
  BindAckPdu resp;
  ASSERT_TRUE(decode_bind_ack(replies[0].pdu, replies[0].h, resp));
  EXPECT_EQ(resp.secondary_address, "");
  EXPECT_EQ(resp.max_recv_frag, 5840);  // the bind's values, not the alter_context's
  EXPECT_NE(resp.assoc_group_id, 99u);
  ASSERT_EQ(resp.results.size(), 1u);
  EXPECT_EQ(resp.results[0].result, ctx::acceptance);
  ASSERT_EQ(s.calls.size(), 1u);
  EXPECT_EQ(s.calls[0].iface, kOther);

  const auto bad = s.replies(bind_pdu({}, 0, PduType::alter_context));
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(fault_of(bad[0]).status, nca::s_proto_error);
  EXPECT_TRUE(bad[0].h.flags & pfc::did_not_execute);
  EXPECT_TRUE(s.conn.closing());
}

TEST(ServerRequest, WorkedExampleRequestAndResponse) {
  Session s;
  s.feed(bind_pdu({{0, kOther, {kNdr20Syntax}}}));
  const Bytes stub{5, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 'H', 'O', 'S', 'T', 0, 0, 0, 0,
                   3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'M', '1', 0,   0,   7, 0, 0, 0};
  s.stub_out = {0, 0, 0, 0};
  const Bytes out = s.feed(request(3, 5, stub, 0x03, 0, 40));
  ASSERT_EQ(s.calls.size(), 1u);
  EXPECT_EQ(s.calls[0].opnum, 5);
  EXPECT_EQ(s.calls[0].stub, stub);
  EXPECT_EQ(out, (Bytes{0x05, 0x00, 0x02, 0x03, 0x10, 0, 0, 0, 0x1c, 0, 0, 0, 3, 0,
                        0,    0,    4,    0,    0,    0, 0, 0, 0,    0, 0, 0, 0, 0}));
}

TEST(ServerRequest, FragmentsBothWaysWithBindOffering2048) {
  Session s;
  s.feed(host_bind(2048));
  Bytes stub(5000);
  for (std::size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<std::uint8_t>(i * 7);
  s.stub_out = stub;
  const Bytes in = cat({request(9, 1, Bytes(stub.begin(), stub.begin() + 2000), 0x01, 0, 0xFFFF),
                        request(9, 1, Bytes(stub.begin() + 2000, stub.begin() + 4000), 0x00, 0, 0),
                        request(9, 1, Bytes(stub.begin() + 4000, stub.end()), 0x02, 0, 1000)});
  const auto replies = s.replies(in);
  ASSERT_EQ(s.calls.size(), 1u);
  EXPECT_EQ(s.calls[0].stub, stub);
  Bytes joined;
  std::size_t remaining = stub.size();
  for (std::size_t i = 0; i < replies.size(); ++i) {
    ResponsePdu p;
    ASSERT_TRUE(decode_response(replies[i].pdu, replies[i].h, p));
    EXPECT_LE(replies[i].h.frag_length, 2048);
    EXPECT_EQ(replies[i].h.call_id, 9u);
    EXPECT_EQ(p.alloc_hint, remaining);
    EXPECT_EQ(replies[i].h.flags, (i == 0 ? 1 : 0) | (i + 1 == replies.size() ? 2 : 0));
    joined.insert(joined.end(), p.stub.begin(), p.stub.end());
    remaining -= p.stub.size();
  }
  EXPECT_EQ(replies.size(), 3u);
  EXPECT_EQ(joined, stub);
}

TEST(ServerRequest, BigEndianRequestAnsweredLittleEndian) {
  Session s;
  s.feed(host_bind());
  // drep 00: frag_length 28, call_id 0x0102, alloc_hint 4, context 0, opnum 7, stub 00 00 00 2a.
  const Bytes be{5, 0, 0, 3, 0, 0, 0, 0, 0, 28, 0, 0, 0, 0, 1, 2, 0, 0, 0, 4, 0, 0, 0, 7, 0, 0, 0, 0x2a};
  const auto replies = s.replies(be);
  ASSERT_EQ(s.calls.size(), 1u);
  EXPECT_EQ(s.calls[0].byte_order, ByteOrder::big);
  EXPECT_EQ(s.calls[0].opnum, 7);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].pdu[4], 0x10);
  EXPECT_EQ(replies[0].h.call_id, 0x0102u);
}

// Each malformed input after a successful bind, with the fault it gets and whether the connection
// survives it (then a following good call must still be served).
TEST(ServerRequest, MalformedInputTable) {
  struct Row {
    const char* name;
    Bytes input;
    std::uint32_t status;
    bool dne;
    std::uint32_t call_id;
    bool closes;
  };
  auto with = [](Bytes pdu, std::size_t at, std::uint8_t v) {
    pdu[at] = v;
    return pdu;
  };
  Bytes short_req = request(4, 0, {});
  short_req[8] = 20;  // frag_length below the request header
  short_req.resize(20);
  Bytes huge = request(4, 0, Bytes(5841 - 24));  // one byte over the transport maximum
  Bytes auth_overflow = with(request(4, 0, Bytes(8)), 10, 40);
  Bytes authed = with(request(4, 0, Bytes(16)), 10, 4);
  Bytes over_cap = request(4, 0, Bytes(5000), 0x01);  // 14 fragments of 5000 bytes: past 64 KiB
  for (int i = 0; i < 13; ++i) over_cap = cat({over_cap, request(4, 0, Bytes(5000), i == 12 ? 0x02 : 0x00)});
  const std::vector<Row> rows = {
      {"frag_length 12", with(request(4, 0, {}), 8, 12), nca::s_proto_error, true, 4, true},
      {"shorter than request header", short_req, nca::s_proto_error, true, 4, true},
      {"5841 bytes long", Bytes(huge.begin(), huge.begin() + 16), nca::s_proto_error, false, 4, true},
      {"auth_length past body", auth_overflow, nca::s_proto_error, true, 4, true},
      {"authenticated request", authed, ERROR_ACCESS_DENIED, false, 4, true},
      {"absurd alloc_hint", request(4, 0, Bytes(8), 0x01, 0, 0xFFFFFFFF), ERROR_ACCESS_DENIED, false, 4,
       true},
      {"over reassembly cap", over_cap, ERROR_ACCESS_DENIED, false, 4, true},
      {"unknown context", request(4, 0, {}, 0x03, 7), nca::s_unk_if, true, 4, false},
      {"opnum out of range", request(4, 10, {}), nca::s_op_rng_error, true, 4, false},
      {"middle without first", request(4, 0, {}, 0x00), nca::s_proto_error, true, 4, true},
      {"first twice", cat({request(4, 0, {1}, 0x01), request(4, 0, {1}, 0x01)}), nca::s_proto_error, true, 4,
       true},
      {"interleaved call", cat({request(4, 0, {1}, 0x01), request(5, 0, {1}, 0x02)}), nca::s_proto_error,
       true, 4, true},
      {"data after last", cat({request(3, 0, {1}), request(3, 0, {1}, 0x00)}), nca::s_proto_error, true, 3,
       true},
      {"minor version 1", with(request(4, 0, {}), 1, 1), nca::s_proto_error, true, 4, true},
      {"unknown type", with(request(4, 0, {}), 2, 42), nca::s_proto_error, true, 4, true},
      {"server type", with(request(4, 0, {}), 2, 2), nca::s_proto_error, true, 4, true},
      {"auth3", with(request(4, 0, {}), 2, 16), nca::s_proto_error, true, 4, true},
      {"ebcdic", with(request(4, 0, {}), 4, 0x11), nca::s_proto_error, true, 4, true},
      {"object flag without uuid", request(4, 0, Bytes(8), 0x83), nca::s_proto_error, true, 4, true},
  };
  for (const Row& row : rows) {
    Session s;
    s.feed(host_bind());
    auto replies = s.replies(row.input);
    ASSERT_FALSE(replies.empty()) << row.name;
    const FaultPdu f = fault_of(replies.back());
    EXPECT_EQ(f.status, row.status) << row.name;
    EXPECT_EQ(bool(replies.back().h.flags & pfc::did_not_execute), row.dne) << row.name;
    EXPECT_EQ(replies.back().h.call_id, row.call_id) << row.name;
    EXPECT_EQ(f.cont_id, 0) << row.name;
    EXPECT_EQ(s.conn.closing(), row.closes) << row.name;
    if (!row.closes) {
      replies = s.replies(request(8, 3, {}));
      ASSERT_EQ(replies.size(), 1u) << row.name;
      EXPECT_EQ(replies[0].h.type, static_cast<std::uint8_t>(PduType::response)) << row.name;
    }
  }
}

TEST(ServerRequest, CancelOrphanAndRoutineFaults) {
  Session s;
  s.feed(host_bind());
  Bytes cancel, orphan;
  encode_header_only(cancel, PduType::co_cancel, 0x03, 7);
  encode_header_only(orphan, PduType::orphaned, 0x03, 7);
  // co_cancel is never answered; orphaned drops the half-received call 7, so call 8 starts cleanly.
  EXPECT_TRUE(s.feed(cat({cancel, request(7, 1, {1}, 0x01), orphan})).empty());
  EXPECT_TRUE(s.conn.idle());
  s.fault = nca::s_fault_ndr;
  const auto replies = s.replies(cat({request(8, 1, {1}), request(9, 2, {})}));  // pipelined: served in order
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(fault_of(replies[0]).status, nca::s_fault_ndr);
  EXPECT_FALSE(replies[0].h.flags & pfc::did_not_execute);
  EXPECT_EQ(replies[1].h.call_id, 9u);
  EXPECT_FALSE(s.conn.closing());
}

// What the socket driver relies on: the first-PDU deadline ends exactly when a whole PDU has
// arrived, and buffers it hands back or keeps never leak one call's bytes into the next.
TEST(ServerDriverHooks, FirstPduFlagRecycledStubsAndKeptOutput) {
  const Bytes bind = host_bind();
  for (std::size_t cut : {std::size_t{1}, std::size_t{15}, std::size_t{16}, bind.size() - 1}) {
    Session s;
    s.feed(std::span(bind).first(cut));
    EXPECT_FALSE(s.conn.received_pdu()) << "cut at " << cut;  // a trickled bind does not count
    s.feed(std::span(bind).subspan(cut));
    EXPECT_TRUE(s.conn.received_pdu()) << "cut at " << cut;
  }
  Session garbage;
  garbage.feed(Bytes(16, 0xEE));  // a header the connection fails on is not a received PDU
  EXPECT_FALSE(garbage.conn.received_pdu());
  EXPECT_TRUE(garbage.conn.closing());

  AssocGroups groups;
  FakeInterfaces interfaces;
  ServerConnection conn(interfaces, groups, 3010);
  conn.feed(host_bind());
  const Bytes ack(conn.output().begin(), conn.output().end());
  conn.clear_output();
  EXPECT_EQ(split(ack).size(), 1u);
  EXPECT_TRUE(conn.output().empty());
  conn.feed(request(2, 1, Bytes(40, 0xAA)));
  auto first = conn.take_call();
  ASSERT_TRUE(first);
  conn.complete(0, Bytes{1, 0, 0, 0});
  conn.recycle_stub(std::move(first->stub));  // 40 bytes of 0xAA stay in its capacity
  // A fragmented call reuses the buffer: it must hold only its own fragments.
  conn.feed(cat({request(3, 1, {1, 2, 3, 4, 5, 6, 7, 8}, 0x01), request(3, 1, {9}, 0x02)}));
  auto second = conn.take_call();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->stub, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  conn.complete(0, Bytes{2, 0, 0, 0});
  const auto replies = split(Bytes(conn.output().begin(), conn.output().end()));
  ASSERT_EQ(replies.size(), 2u);  // both responses, in order, kept until cleared
  EXPECT_EQ(replies[0].h.call_id, 2u);
  EXPECT_EQ(replies[1].h.call_id, 3u);
  EXPECT_EQ(conn.take_output().size(), replies[0].pdu.size() + replies[1].pdu.size());
}

// The same conversation fed whole, in two pieces split at every byte, and one byte at a time must
// give the same bytes back.
TEST(ServerSplit, EveryByteBoundaryGivesTheSameOutput) {
  Bytes cancel;
  encode_header_only(cancel, PduType::co_cancel, 0x03, 2);
  const Bytes conversation = cat(
      {bind_pdu({{0, kHost, {kNdr20Syntax}}, {1, kHost, {kNdr64Syntax}}, {2, kHost, {kFeatures}}}),
       request(2, 3, Bytes(30, 0xab), 0x01), cancel, request(2, 3, Bytes(20, 0xcd), 0x02),
       bind_pdu({{1, kOther, {kNdr20Syntax}}}, 0, PduType::alter_context), request(3, 16, {1, 2, 3}, 0x03, 1),
       request(4, 99, {}), request(5, 0, {}, 0x03, 9), request(6, 1, {}, 0x00)});
  Session whole;
  const Bytes expected = whole.feed(conversation);
  ASSERT_EQ(split(expected).size(), 7u);  // bind_ack, response, alter_resp, response, 3 faults
  ASSERT_TRUE(whole.conn.closing());
  for (std::size_t cut = 1; cut < conversation.size(); ++cut) {
    Session s;
    Bytes out = s.feed(std::span(conversation).first(cut));
    const Bytes rest = s.feed(std::span(conversation).subspan(cut));
    out.insert(out.end(), rest.begin(), rest.end());
    ASSERT_EQ(out, expected) << "cut at " << cut;
  }
  Session bytewise;
  EXPECT_EQ(bytewise.feed(conversation, 1), expected);
}

}  // namespace
}  // namespace tarvik::rpc
