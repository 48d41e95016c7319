// Stub marshalling over the whole telegram table, checked against bytes produced by the
// independent peer (../shared/peers/rpcpeer.py, impacket's NDR encoder), never by our own encoder.
#include "protocol/stub_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/tests/peer_stubs.h"
#include "tests/support/hex.h"
#include "tests/support/sample_values.h"

namespace tarvik::protocol {
namespace {

using rpc::ByteOrder;
using test::from_hex;

std::vector<WireValue> decode(std::string_view telegram, const std::vector<std::uint8_t>& stub,
                              rpc::Status expect = rpc::RPC_S_OK) {
  std::vector<WireValue> values;
  EXPECT_EQ(unmarshal_request(*find_telegram(telegram), stub, ByteOrder::little, values), expect) << telegram;
  return values;
}

// Our encoder pads with zeros; impacket fills alignment gaps with 0xab (before a text or long
// array) or 0xbf (before a long). Equal length and equal bytes except such gaps.
void expect_same_stub_but_padding(const std::vector<std::uint8_t>& ours, const std::vector<std::uint8_t>& peer) {
  ASSERT_EQ(ours.size(), peer.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const bool padding = ours[i] == 0 && (peer[i] == 0xab || peer[i] == 0xbf);
    EXPECT_TRUE(ours[i] == peer[i] || padding) << "byte " << i << ": ours " << int{ours[i]} << ", peer "
                                               << int{peer[i]};
  }
}

WireValue text(std::string s) { return WireText{std::move(s)}; }

// Produced with: /usr/bin/python3 -c "import rpcpeer as rp; print(rp.MACHINE['T_DATA_M'].encode({
//   'pszHost':'HOST1','pszMachine':'MC01','OrderNum':-2,'SFkt':7,'Name1':'','Name2':'M\xe4x'}).hex())"
const char kT_DATA_M[] =
    "060000000000000006000000484f53543100abab0500000000000000050000004d43303100bfbfbffeffffff07000000010000000000"
    "00000100000000ababab0400000000000000040000004de47800";
// rp.MACHINE['C_ORDER_M'].encode({'pszHost':'H','pszMachine':'CNC-12A','OrderNum':2147483647,'SFkt':-1,
//   'Name1':'PART0001','Name2':'ab','Name3':'abc','Name4':'abcd','Parameter1':1,'Parameter2':-2,
//   'Parameter3':0x7fffffff,'Parameter4':-2147483648})
const char kC_ORDER_M[] =
    "0200000000000000020000004800abab080000000000000008000000434e432d31324100ffffff7fffffffff09000000000000000900"
    "0000504152543030303100ababab030000000000000003000000616200ab040000000000000004000000616263000500000000000000"
    "050000006162636400bfbfbf01000000feffffffffffff7f00000080";
// rp.HOST['R_TPS_H'].encode({'pszHost':'H','pszMachine':'M','OrderNum':-2,'MachineMode':3,'MachineStatus':4,
//   'TpOStatus':5,'DockPos':[1,-2],'DockPosStatus':[6,7],'pszWPC':['CDEFGH','\xe4'],'ResInt1':8,'ResInt2':9,
//   'pszResByte':''})
const char kR_TPS_H[] =
    "0200000000000000020000004800abab0200000000000000020000004d00bfbffeffffff03000000040000000500000001000000feff"
    "ffff0600000007000000434445464748e40000000000080000000900000001000000000000000100000000";
struct Golden {
  const char* telegram;
  const char* hex;
  std::vector<WireValue> values;
};

std::vector<Golden> golden_stubs() {
  using N = std::vector<std::int32_t>;
  using B = std::vector<std::uint8_t>;
  return {
      {"T_DATA_M", kT_DATA_M, {text("HOST1"), text("MC01"), -2, 7, text(""), text("M\xe4x")}},
      {"C_ORDER_M",
       kC_ORDER_M,
       {text("H"), text("CNC-12A"), 2147483647, -1, text("PART0001"), text("ab"), text("abc"), text("abcd"), 1, -2,
        0x7fffffff, std::int32_t{-2147483647 - 1}}},
      {"R_MACHINE_H",
       kR_MACHINE_H,
       {text("HOST1"), text("MC01"), 42, 1, -3, text("O1000"), 4, N{1, -2, 3}, N{10, 11, 12},
        NameTable{"AB", "", "CDEFGH"}, N{7, 8, 9}, -1, 65536, text("x")}},
      {"R_TPS_H",
       kR_TPS_H,
       {text("H"), text("M"), -2, 3, 4, 5, N{1, -2}, N{6, 7}, NameTable{"CDEFGH", "\xe4"}, 8, 9, text("")}},
      {"R_REPORT_H",
       kR_REPORT_H,
       {text("H"), text("M"), 5, 2, N{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, N{-1, 0, 1, 2, 3, 4, 5, 6, 7, 2147483647},
        B{0, 1, 65, 127, 128, 200, 254, 255, 0, 255}, 1, 2, text("rb")}},
      {"Shutdown_M", "", {}},
      {"Shutdown_H", "", {}},
  };
}

TEST(StubCodec, PeerStubsDecodeToTheirValues) {
  for (const Golden& g : golden_stubs()) {
    EXPECT_EQ(decode(g.telegram, from_hex(g.hex)), g.values) << g.telegram;
  }
}

TEST(StubCodec, OurStubsMatchThePeersByteForByte) {
  for (const Golden& g : golden_stubs()) {
    std::vector<std::uint8_t> ours;
    ASSERT_EQ(marshal_request(*find_telegram(g.telegram), g.values, ours), rpc::RPC_S_OK) << g.telegram;
    SCOPED_TRACE(g.telegram);
    expect_same_stub_but_padding(ours, from_hex(g.hex));
  }
}

TEST(StubCodec, EveryTelegramRoundTripsRequestAndResponse) {
  for (const TelegramInfo& t : telegrams()) {
    SCOPED_TRACE(t.name);
    const std::vector<WireValue> values = test::sample_values(t, 1);
    std::vector<std::uint8_t> stub;
    ASSERT_EQ(marshal_request(t, values, stub), rpc::RPC_S_OK);
    std::vector<WireValue> back;
    ASSERT_EQ(unmarshal_request(t, stub, ByteOrder::little, back), rpc::RPC_S_OK);
    EXPECT_EQ(back, values);

    std::vector<std::uint8_t> response;
    marshal_response(t, -1234567, response);
    EXPECT_EQ(response.size(), t.has_result ? 4u : 0u);
    std::int32_t result = 1;
    ASSERT_EQ(unmarshal_response(t, response, ByteOrder::little, result), rpc::RPC_S_OK);
    EXPECT_EQ(result, t.has_result ? -1234567 : 0);
  }
}

// Every stub cut short, at every length, is refused as bad stub data: never read past the end.
TEST(StubCodec, EveryTruncationIsBadStubData) {
  for (const TelegramInfo& t : telegrams()) {
    std::vector<std::uint8_t> stub;
    ASSERT_EQ(marshal_request(t, test::sample_values(t, 2), stub), rpc::RPC_S_OK);
    for (std::size_t n = 0; n < stub.size(); ++n) {
      std::vector<std::uint8_t> cut(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(n));
      std::vector<WireValue> values;
      EXPECT_EQ(unmarshal_request(t, cut, ByteOrder::little, values), rpc::RPC_X_BAD_STUB_DATA)
          << t.name << " cut at " << n;
    }
  }
}

TEST(StubCodec, ReceiverReadsNameSlotsUpToTheirZeroOrTheirEnd) {
  // R_TPS_H's table, slot 0 six letters without a zero, slot 1 "X" with garbage after its zero.
  auto stub = from_hex(kR_TPS_H);
  const std::size_t table = std::string(kR_TPS_H).find("434445464748") / 2;
  const std::uint8_t slots[12] = {'A', 'B', 'C', 'D', 'E', 'F', 'X', 0, 'g', 'a', 'r', 'b'};
  std::copy(std::begin(slots), std::end(slots), stub.begin() + static_cast<std::ptrdiff_t>(table));
  const auto values = decode("R_TPS_H", stub);
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(std::get<NameTable>(values[8]), (NameTable{"ABCDEF", "X"}));
}

TEST(StubCodec, SenderRefusesWhatCannotBeSentAndWritesNothing) {
  const TelegramInfo& data = *find_telegram("T_DATA_M");
  const TelegramInfo& tps = *find_telegram("R_TPS_H");
  std::vector<std::uint8_t> stub{0xAA};
  // A null text anywhere, even the last parameter: 1780 with nothing written.
  EXPECT_EQ(marshal_request(data, std::vector<WireValue>{text("H"), text("M"), 1, 2, text("a"), WireText{}}, stub),
            rpc::RPC_X_NULL_REF_POINTER);
  auto tps_values = decode("R_TPS_H", from_hex(kR_TPS_H));
  tps_values[8] = NameTable{"ABCDEFG", ""};  // seven bytes do not fit a slot
  EXPECT_EQ(marshal_request(tps, tps_values, stub), rpc::RPC_S_INVALID_BOUND);
  tps_values[8] = NameTable{"AB"};  // one slot of two
  EXPECT_EQ(marshal_request(tps, tps_values, stub), rpc::RPC_S_INVALID_BOUND);
  tps_values[8] = std::int32_t{1};
  EXPECT_EQ(marshal_request(tps, tps_values, stub), rpc::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(marshal_request(data, std::vector<WireValue>{text("H")}, stub), rpc::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(stub, std::vector<std::uint8_t>{0xAA});
}

// Both ways: the sender cuts like a C string, the receiver sees the text up to its first zero.
TEST(StubCodec, TextStopsAtAnEmbeddedZeroLikeACString) {
  std::vector<std::uint8_t> stub;
  const std::vector<WireValue> values{text(std::string("AB\0CD", 5)), text("M"), 3};
  ASSERT_EQ(marshal_request(*find_telegram("T_TPS_M"), values, stub), rpc::RPC_S_OK);
  EXPECT_EQ(stub, from_hex("03000000000000000300000041420000" "020000000000000002000000" "4d000000" "03000000"));
  EXPECT_EQ(decode("T_TPS_M", from_hex("04000000000000000400000041004200" "020000000000000002000000" "4d000000" "03000000")),
            (std::vector<WireValue>{text("A"), text("M"), 3}));
}

// Broken string counts and terminators in the first text of T_MACHINE_M ("HOST", "M1", 7).
TEST(StubCodec, InconsistentStringsAreBadStubData) {
  const std::string tail = "030000000000000003000000" "4d310000" "07000000";
  const char* broken[] = {
      "05000000" "01000000" "05000000" "484f535400000000",  // offset 1
      "04000000" "00000000" "05000000" "484f535400000000",  // actual above max
      "00000000" "00000000" "00000000",                     // actual 0: no terminator at all
      "05000000" "00000000" "05000000" "484f535441000000",  // last counted byte not zero
      "ffffffff" "00000000" "ffffffff" "484f535400000000",  // huge count, short body
  };
  for (const char* head : broken) {
    decode("T_MACHINE_M", from_hex(std::string(head) + tail), rpc::RPC_X_BAD_STUB_DATA);
  }
}

TEST(StubCodec, BigEndianSenderIsReadInItsOwnOrder) {
  const auto stub = from_hex("00000002" "00000000" "00000002" "4800" "0000" "00000002" "00000000" "00000002" "4d00"
                             "0000" "fffffffe");
  std::vector<WireValue> values;
  ASSERT_EQ(unmarshal_request(*find_telegram("T_REPORT_M"), stub, ByteOrder::big, values), rpc::RPC_S_OK);
  EXPECT_EQ(values, (std::vector<WireValue>{text("H"), text("M"), -2}));
}

TEST(StubCodec, TrailingBytesAfterTheLastParameterAreIgnored) {
  auto stub = from_hex(kT_DATA_M);
  stub.insert(stub.end(), {0, 0, 0, 0, 0x8a, 0xe3, 0x13, 0x71});
  EXPECT_EQ(decode("T_DATA_M", stub), golden_stubs()[0].values);
}

TEST(StubCodec, ResponseWithoutItsResultIsBadStubData) {
  std::int32_t result = 5;
  EXPECT_EQ(unmarshal_response(*find_telegram("C_MODE_M"), from_hex("000000"), ByteOrder::little, result),
            rpc::RPC_X_BAD_STUB_DATA);
  EXPECT_EQ(unmarshal_response(*find_telegram("C_MODE_M"), from_hex("fdffffff"), ByteOrder::little, result),
            rpc::RPC_S_OK);
  EXPECT_EQ(result, -3);
}

}  // namespace
}  // namespace tarvik::protocol
