// PDU codec against bytes produced by other implementations: the worked examples of our wire
// reference and captures of the independent peer (`rpcpeer.py --trace`). None of the expected bytes
// come from our own encoder. (The Windows bind_ack and the worked request/response are checked
// through the server connection, which produces them.)
#include "platform/rpc/pdu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/hex.h"

namespace tarvik::rpc {
namespace {

using test::from_hex;

const std::string kHostIface = "60 d8 d7 d3 5a c1 d0 11 a0 cb 00 a0 24 4c e6 87 01 00 00 00";
const SyntaxId kHostId{*Uuid::parse("d3d7d860-c15a-11d0-a0cb-00a0244ce687"), 1, 0};

// Windows bind with NDR 2.0, NDR64 and feature negotiation (three contexts, 160 bytes).
std::vector<std::uint8_t> windows_bind() {
  return from_hex(
      "05 00 0b 03 10 00 00 00 a0 00 00 00 02 00 00 00 d0 16 d0 16 00 00 00 00 03 00 00 00"
      "00 00 01 00" +
      kHostIface +
      "04 5d 88 8a eb 1c c9 11 9f e8 08 00 2b 10 48 60 02 00 00 00"
      "01 00 01 00" +
      kHostIface +
      "33 05 71 71 ba be 37 49 83 19 b5 db ef 9c cc 36 01 00 00 00"
      "02 00 01 00" +
      kHostIface + "2c 1c b7 6c 12 98 40 45 03 00 00 00 00 00 00 00 01 00 00 00");
}

PduHeader header_of(const std::vector<std::uint8_t>& pdu) {
  PduHeader h;
  EXPECT_TRUE(decode_header(pdu, h));
  return h;
}

TEST(PduGolden, WindowsBindDecodes) {
  const auto pdu = windows_bind();
  const PduHeader h = header_of(pdu);
  EXPECT_EQ(h.type, static_cast<std::uint8_t>(PduType::bind));
  EXPECT_EQ(h.frag_length, 160);
  EXPECT_EQ(h.call_id, 2u);
  BindPdu b;
  ASSERT_TRUE(decode_bind(pdu, h, b));
  EXPECT_EQ(b.max_xmit_frag, 5840);
  EXPECT_EQ(b.max_recv_frag, 5840);
  EXPECT_EQ(b.assoc_group_id, 0u);
  ASSERT_EQ(b.contexts.size(), 3u);
  for (std::uint16_t i = 0; i < 3; ++i) {
    EXPECT_EQ(b.contexts[i].cont_id, i);
    EXPECT_EQ(b.contexts[i].abstract_syntax, kHostId);
    ASSERT_EQ(b.contexts[i].transfer_syntaxes.size(), 1u);
  }
  EXPECT_EQ(b.contexts[0].transfer_syntaxes[0], kNdr20Syntax);
  EXPECT_EQ(b.contexts[1].transfer_syntaxes[0], kNdr64Syntax);
  const SyntaxId& fn = b.contexts[2].transfer_syntaxes[0];
  EXPECT_TRUE(is_feature_negotiation(fn));
  EXPECT_EQ(fn.uuid.node[0], 0x03);  // both feature bits requested
  EXPECT_EQ(fn.major, 1);
}

TEST(PduGolden, FaultOpnumOutOfRange) {
  const auto golden =
      from_hex("05 00 03 23 10 00 00 00 20 00 00 00 03 00 00 00 20 00 00 00 00 00 00 00"
          "02 00 01 1c 00 00 00 00");
  std::vector<std::uint8_t> out;
  encode_fault(out, pfc::first_frag | pfc::last_frag | pfc::did_not_execute, 3,
               FaultPdu{.alloc_hint = 32, .status = nca::s_op_rng_error});
  EXPECT_EQ(out, golden);

  FaultPdu f;
  ASSERT_TRUE(decode_fault(golden, header_of(golden), f));
  EXPECT_EQ(f.status, nca::s_op_rng_error);
  EXPECT_EQ(f.cont_id, 0);
}

// Captured from rpcpeer (impacket's client and rpcpeer's server) with --trace.
TEST(PduGolden, PeerCaptures) {
  const auto bind = from_hex(
      "05000b03100000004800000001000000b810b81000000000010000000000010060d8d7d35ac1d011a0cb00a0244ce6870100"
      "0000045d888aeb1cc9119fe808002b10486002000000");
  BindPdu b;
  ASSERT_TRUE(decode_bind(bind, header_of(bind), b));
  EXPECT_EQ(b.max_xmit_frag, 4280);
  ASSERT_EQ(b.contexts.size(), 1u);
  EXPECT_EQ(b.contexts[0].abstract_syntax, kHostId);

  const auto ack = from_hex(
      "05000c03100000003c00000001000000b810b8100100341206003432383235000100000000000000045d888aeb1cc9119fe8"
      "08002b10486002000000");
  BindAckPdu a;
  ASSERT_TRUE(decode_bind_ack(ack, header_of(ack), a));
  EXPECT_EQ(a.assoc_group_id, 0x12340001u);
  EXPECT_EQ(a.secondary_address, "42825");
  ASSERT_EQ(a.results.size(), 1u);
  EXPECT_EQ(a.results[0].result, ctx::acceptance);
  EXPECT_EQ(a.results[0].transfer_syntax, kNdr20Syntax);

  // R_MESSAGE_H (opnum 3): 73 stub bytes with impacket's non-zero alignment gaps.
  const auto request = from_hex(
      "05000003100000006100000001000000490000000000030001000000000000000100000000ababab0100000000000000010000"
      "0000bfbfbf00000000030000000000000003000000686900bf000000000000000001000000000000000100000000");
  RequestPdu q;
  ASSERT_TRUE(decode_request(request, header_of(request), q));
  EXPECT_EQ(q.opnum, 3);
  EXPECT_EQ(q.alloc_hint, 0x49u);
  EXPECT_EQ(q.stub.size(), 0x49u);

  const auto response = from_hex("05000203100000001c00000001000000040000000000000000000000");
  ResponsePdu p;
  ASSERT_TRUE(decode_response(response, header_of(response), p));
  EXPECT_EQ(p.alloc_hint, 4u);
  EXPECT_EQ(p.stub.size(), 4u);
}

// Everything after byte 4 of a big-endian PDU is in big-endian order, the UUID's first three fields
// and the syntax version (minor half first) included.
TEST(PduByteOrder, BigEndianBindAndRequest) {
  const auto bind =
      from_hex("05 00 0b 03 00 00 00 00 00 48 00 00 00 00 00 07 10 b8 0f f0 00 00 00 09 01 00 00 00"
          "00 04 01 00 d3 d7 d8 60 c1 5a 11 d0 a0 cb 00 a0 24 4c e6 87 00 03 00 01"
          "8a 88 5d 04 1c eb 11 c9 9f e8 08 00 2b 10 48 60 00 00 00 02");
  const PduHeader h = header_of(bind);
  EXPECT_EQ(h.byte_order(), ByteOrder::big);
  EXPECT_EQ(h.frag_length, 72);
  EXPECT_EQ(h.call_id, 7u);
  BindPdu b;
  ASSERT_TRUE(decode_bind(bind, h, b));
  EXPECT_EQ(b.max_xmit_frag, 4280);
  EXPECT_EQ(b.max_recv_frag, 4080);
  EXPECT_EQ(b.assoc_group_id, 9u);
  ASSERT_EQ(b.contexts.size(), 1u);
  EXPECT_EQ(b.contexts[0].cont_id, 4);
  EXPECT_EQ(b.contexts[0].abstract_syntax, (SyntaxId{kHostId.uuid, 1, 3}));
  EXPECT_EQ(b.contexts[0].transfer_syntaxes.at(0), kNdr20Syntax);

  const auto request =
      from_hex("05 00 00 83 00 00 00 00 00 2c 00 00 00 00 00 05 00 00 00 04 00 01 00 02"
          "d3 d7 d8 60 c1 5a 11 d0 a0 cb 00 a0 24 4c e6 87 00 00 00 2a");
  RequestPdu q;
  ASSERT_TRUE(decode_request(request, header_of(request), q));
  EXPECT_EQ(q.cont_id, 1);
  EXPECT_EQ(q.opnum, 2);
  ASSERT_TRUE(q.object);
  EXPECT_EQ(*q.object, kHostId.uuid);
  EXPECT_EQ(q.stub.size(), 4u);  // the object UUID is not stub data
}

TEST(PduBounds, TruncatedBodiesAreRefused) {
  const auto bind = windows_bind();
  for (std::size_t n = 16; n < bind.size(); ++n) {
    const std::span<const std::uint8_t> cut(bind.data(), n);
    BindPdu b;
    EXPECT_FALSE(decode_bind(cut, header_of(bind), b)) << n;
  }
  // A context claiming 255 transfer syntaxes in a short PDU.
  auto many = windows_bind();
  many[30] = 0xFF;
  BindPdu b;
  EXPECT_FALSE(decode_bind(many, header_of(many), b));

  const auto request =
      from_hex("05 00 00 83 10 00 00 00 24 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00"
          "00 00 00 00 00 00 00 00 00 00 00 00");
  RequestPdu q;  // object UUID flag but only 12 of its 16 bytes
  EXPECT_FALSE(decode_request(request, header_of(request), q));

  // bind_ack whose secondary address length runs past the end.
  const auto ack =
      from_hex("05 00 0c 03 10 00 00 00 20 00 00 00 01 00 00 00 d0 16 d0 16 00 00 00 00 ff 00 33 00"
          "00 00 00 00");
  BindAckPdu a;
  EXPECT_FALSE(decode_bind_ack(ack, header_of(ack), a));
}

TEST(PduBounds, AuthTrailerIsNotStubData) {
  // 8-byte sec_trailer + 4 auth bytes at the end of a request with 8 stub bytes.
  auto request =
      from_hex("05 00 00 03 10 00 00 00 2c 00 04 00 01 00 00 00 08 00 00 00 00 00 00 00"
          "11 22 33 44 55 66 77 88  0a 02 00 00 00 00 00 00  aa bb cc dd");
  RequestPdu q;
  ASSERT_TRUE(decode_request(request, header_of(request), q));
  EXPECT_EQ(q.stub.size(), 8u);
  EXPECT_EQ(q.stub[7], 0x88);

  request[10] = 0x20;  // auth_length 32: the trailer would overlap the request header
  EXPECT_FALSE(decode_request(request, header_of(request), q));
  request[10] = 0xFF;
  request[11] = 0xFF;
  EXPECT_FALSE(decode_request(request, header_of(request), q));
}

TEST(PduGolden, BindNakAsWindowsSendsIt) {
  const auto golden = from_hex("05 00 0d 03 10 00 00 00 18 00 00 00 05 00 00 00 04 00 01 05 00 00 00 00");
  std::vector<std::uint8_t> out;
  encode_bind_nak(out, 5, BindNakPdu{.reject_reason = nak::protocol_version_not_supported});
  EXPECT_EQ(out, golden);
  BindNakPdu n;
  ASSERT_TRUE(decode_bind_nak(golden, header_of(golden), n));
  EXPECT_EQ(n.reject_reason, nak::protocol_version_not_supported);
  ASSERT_EQ(n.versions.size(), 1u);
  EXPECT_EQ(n.versions[0], (std::pair<std::uint8_t, std::uint8_t>{5, 0}));
}

}  // namespace
}  // namespace tarvik::rpc
