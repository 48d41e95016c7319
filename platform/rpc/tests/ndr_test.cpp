// The NDR reader and writer on strings and longs. Empty strings, embedded zeros and big-endian senders
// are checked through the stub codec, which reads and writes every telegram with this reader and writer.
#include "platform/rpc/ndr.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Stub of ("HOST", "M1", 7) as a Windows client stub lays it out (dcerpc-wire.md, NDR example).
const Bytes kHostM1Seven = {0x05, 0, 0, 0, 0, 0, 0, 0, 0x05, 0, 0, 0, 'H', 'O', 'S', 'T', 0,  0, 0, 0,
                            0x03, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 0, 0, 'M', '1', 0,   0,   0x07, 0, 0, 0};

TEST(Ndr, WritesStringsAndLongWithWindowsLayout) {
  Bytes out;
  NdrWriter w(out);
  w.write_string("HOST");
  w.write_string("M1");
  w.write_i32(7);
  EXPECT_EQ(out, kHostM1Seven);
}

TEST(Ndr, ReadsItBackIgnoringPadContents) {
  Bytes in = kHostM1Seven;
  in[17] = 0xab;  // impacket fills alignment gaps with 0xab/0xbf
  in[35] = 0xbf;
  NdrReader r(in, ByteOrder::little);
  std::string host, machine;
  std::int32_t order = 0;
  ASSERT_EQ(r.read_string(host), RPC_S_OK);
  ASSERT_EQ(r.read_string(machine), RPC_S_OK);
  ASSERT_TRUE(r.read_i32(order));
  EXPECT_EQ(host, "HOST");
  EXPECT_EQ(machine, "M1");
  EXPECT_EQ(order, 7);
  EXPECT_EQ(r.remaining(), 0u);
}

struct BadString {
  const char* what;
  Bytes stub;
  Status expected;
};

// Test listings show the case's description, not the bytes of the struct.
void PrintTo(const BadString& c, std::ostream* os) { *os << c.what; }

class NdrBadString : public ::testing::TestWithParam<BadString> {};

TEST_P(NdrBadString, IsRefusedWithoutMovingTheCursor) {
  const BadString& c = GetParam();
  NdrReader r(c.stub, ByteOrder::little);
  std::string s;
  EXPECT_EQ(r.read_string(s), c.expected) << c.what;
  EXPECT_EQ(r.position(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NdrBadString,
    ::testing::Values(
        BadString{"counts cut short", {2, 0, 0, 0, 0, 0, 0, 0, 2, 0}, RPC_X_BAD_STUB_DATA},
        BadString{"huge max_count, short body", {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 'a', 0},
                  RPC_X_BAD_STUB_DATA},
        BadString{"offset not zero", {2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'a', 0}, RPC_S_INVALID_BOUND},
        BadString{"actual above max", {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0}, RPC_S_INVALID_BOUND},
        BadString{"actual count zero", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, RPC_S_INVALID_BOUND},
        BadString{"no terminating zero", {2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'}, RPC_S_INVALID_BOUND}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Ndr, FailedReadsLeaveTheCursorInPlace) {
  const Bytes in = {1, 2, 3};
  NdrReader r(in, ByteOrder::little);
  std::uint8_t b = 0;
  ASSERT_TRUE(r.read_u8(b));
  std::uint32_t v;
  EXPECT_FALSE(r.read_u32(v));  // padding to 4 would leave nothing to read
  EXPECT_EQ(r.position(), 1u);
  std::span<const std::uint8_t> bytes;
  EXPECT_FALSE(r.read_bytes(3, bytes));
  EXPECT_TRUE(r.read_bytes(2, bytes));
}

}  // namespace
}  // namespace tarvik::rpc
