// What the host routines hand to the control and the managed library: flattened event fields,
// whole tables for RxREPORTxH, slot texts, unsigned flags, and the case-sensitive host check.
#include "protocol/incoming_telegram.h"

#include <gtest/gtest.h>

#include "protocol/stub_codec.h"
#include "protocol/tests/peer_stubs.h"
#include "tests/support/hex.h"

namespace tarvik::protocol {
namespace {

std::vector<WireValue> decode(const TelegramInfo& t, const char* hex) {
  std::vector<WireValue> values;
  EXPECT_EQ(unmarshal_request(t, test::from_hex(hex), rpc::ByteOrder::little, values), rpc::RPC_S_OK);
  return values;
}

std::vector<std::string> names_of(const std::vector<EventArg>& args) {
  std::vector<std::string> out;
  for (const EventArg& a : args) out.emplace_back(a.name);
  return out;
}

// R_MACHINE_H has pszWPC slots "AB", "" (zero at byte 6), "CDEFGH" (no zero); R_REPORT_H has
// Flag = 0,1,65,127,128,200,254,255,0,255.
TEST(IncomingTelegram, MachineEventIsFlattenedInEventOrder) {
  const TelegramInfo& t = *find_telegram("R_MACHINE_H");
  const auto values = decode(t, kR_MACHINE_H);
  const IncomingTelegram in(t, values);
  EXPECT_EQ(in.machine(), u"MC01");
  EXPECT_EQ(in.order_num(), 42);
  const auto args = in.event_args(t.events[0]);
  EXPECT_EQ(names_of(args),
            (std::vector<std::string>{"OrderNum", "MachineMode", "MachineStatus", "NCProgramm", "ClampCubeSide",
                                      "DockPos1", "DockPos2", "DockPos3", "DockPosStatus1", "DockPosStatus2",
                                      "DockPosStatus3", "WPC1", "WPC2", "WPC3", "WPCStatus1", "WPCStatus2",
                                      "WPCStatus3", "ResInt1", "ResInt2", "ResByte"}));
  const std::vector<EventValue> expected{42, 1, -3, u"O1000", 4, 1, -2, 3, 10, 11, 12,
                                         u"AB", u"", u"CDEFGH", 7, 8, 9, -1, 65536, u"x"};
  ASSERT_EQ(args.size(), expected.size());
  for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(args[i].value, expected[i]) << args[i].name;
}

TEST(IncomingTelegram, ReportRaisesWholeTablesThenFlattenedUnsignedFlags) {
  const TelegramInfo& t = *find_telegram("R_REPORT_H");
  const auto values = decode(t, kR_REPORT_H);
  const IncomingTelegram in(t, values);
  ASSERT_EQ(t.events.size(), 2u);

  const auto whole = in.event_args(t.events[0]);
  EXPECT_EQ(names_of(whole), (std::vector<std::string>{"OrderNum", "Typ", "Number", "Time", "Flag", "ResInt1",
                                                       "ResInt2", "ResByte"}));
  EXPECT_EQ(whole[4].value, EventValue(std::vector<std::uint8_t>{0, 1, 65, 127, 128, 200, 254, 255, 0, 255}));
  EXPECT_EQ(whole[3].value, EventValue(std::vector<std::int32_t>{-1, 0, 1, 2, 3, 4, 5, 6, 7, 2147483647}));
  EXPECT_EQ(whole[7].value, EventValue(u"rb"));

  const auto flat = in.event_args(t.events[1]);
  ASSERT_EQ(flat.size(), 35u);
  EXPECT_EQ(flat[2].name, "Number1");
  EXPECT_EQ(flat[12].name, "Time1");
  EXPECT_EQ(flat[22].name, "Flag1");
  EXPECT_EQ(flat[31].name, "Flag10");
  EXPECT_EQ(flat[29].value, EventValue(255));  // Flag8: 255, not -1
  EXPECT_EQ(flat[27].value, EventValue(200));
  EXPECT_EQ(flat[34].value, EventValue(u"rb"));
  // The managed event carries the same flattened fields.
  EXPECT_EQ(names_of(in.flattened()), names_of(flat));
}

TEST(IncomingTelegram, FieldNamesFollowTheEventsNotTheWire) {
  const auto data = flattened_names(*find_telegram("R_DATA_H"));
  EXPECT_EQ(std::vector<std::string>(data.begin(), data.end()),
            (std::vector<std::string>{"OrderNum", "SFkt", "Name1", "Name2", "DateVal", "LastFile"}));
  EXPECT_EQ(flattened_names(*find_telegram("R_TPS_H")).size(), 13u);
  EXPECT_TRUE(flattened_names(*find_telegram("Shutdown_H")).empty());
}

TEST(IncomingTelegram, HostCheckIsExactAndCaseSensitive) {
  const TelegramInfo& t = *find_telegram("R_MESSAGE_H");
  std::vector<WireValue> values = default_values(t);
  values[0] = WireText{"HOST1"};
  const IncomingTelegram in(t, values);
  EXPECT_TRUE(in.host_is(u"HOST1"));
  EXPECT_FALSE(in.host_is(u"host1"));
  EXPECT_FALSE(in.host_is(u"HOST1 "));
  EXPECT_FALSE(in.host_is(std::nullopt));

  values[0] = WireText{""};  // a null HostID counts as the empty text
  EXPECT_TRUE(IncomingTelegram(t, values).host_is(std::nullopt));
  values[0] = WireText{"M\xe4"};  // 8-bit host names compare after conversion to the code page
  EXPECT_TRUE(IncomingTelegram(t, values).host_is(u"M\u00e4", codepage::Unmappable::default_char));
}

}  // namespace
}  // namespace tarvik::protocol
