#include "testprogram/core/call_record.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/codepage.h"

namespace tarvik::testprogram {
namespace {

LocalDateTime FixedTime() {
  return {2026, 12, 5, 18, 3, 9};
}

const std::string kTen(10, ' ');

RpcList TenFlags() {
  RpcList flags;
  flags.elements = {RpcByte{0}, RpcByte{65}, RpcByte{0}, RpcByte{0}, RpcByte{0},
                    RpcByte{0}, RpcByte{0},  RpcByte{0}, RpcByte{0}, RpcByte{0}};
  return flags;
}

// Builds the T_TPS_M example record with a box `columns` characters wide.
std::string TpsRecord(std::size_t columns) {
  FixedWidthMeasure measure(columns);
  clsRpcData record(&measure, FixedTime);
  record.SetRpcName("T_TPS_M", 0);
  record.AddRpcParam("OrderNum", 7);
  record.AddRpcParam("Machine", std::string("M1"));
  record.AddRpcParam("Host", std::string("?"));
  return record.GetAsString();
}

TEST(CallRecord, LayoutOfHeadAndValues) {
  EXPECT_EQ(TpsRecord(200), "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen +
                                "OrderNum->7   Machine->\"M1\"   Host->\"?\"   \r\n");

  clsRpcData no_result(nullptr, FixedTime);
  no_result.SetRpcName("R_DATA_H");
  EXPECT_EQ(no_result.GetAsString(), "05.12.2026 18:03:09  R_DATA_H\r\n");

  clsRpcData negative(nullptr, FixedTime);
  negative.SetRpcName("C_ORDER_M", -1722);
  EXPECT_EQ(negative.GetAsString(), "05.12.2026 18:03:09  C_ORDER_M       Ret=-1722\r\n");
}

TEST(CallRecord, ValuePieces) {
  codepage::set_thread_codepage(1252);
  struct Row {
    const char* what;
    RpcValue value;
    std::string piece;
  };
  RpcList numbers{1, {std::int32_t{10}, std::int32_t{-20}, 2.5}};
  RpcList texts{0, {std::string("a b"), RpcByte{200}}};
  const Row rows[] = {
      {"flag bytes 0, 65, 0 ...", TenFlags(), "Flag( 0 ... 9 ) -> 0 A 0 0 0 0 0 0 0 0    "},
      {"number list with its bounds", numbers, "Flag( 1 ... 3 ) -> 10 -20 2.5    "},
      {"byte in the ANSI code page", texts, "Flag( 0 ... 1 ) -> a b \xc3\x88    "},
      {"number before rounding", 2.5, "Flag->2.5   "},
      {"single byte as a number", RpcByte{65}, "Flag->65   "},
      {"empty text keeps its quotes", std::string(), "Flag->\"\"   "},
  };
  for (const auto& row : rows) EXPECT_EQ(clsRpcData::FormatPiece("Flag", row.value), row.piece) << row.what;
}

TEST(CallRecord, WrapsWhereTheBoxEnds) {
  // "          OrderNum->7   " is 24 wide, + Machine piece 16 = 40, + Host piece 12 = 52.
  EXPECT_EQ(TpsRecord(53), TpsRecord(200));
  EXPECT_EQ(TpsRecord(52), "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen +
                               "OrderNum->7   Machine->\"M1\"   \r\n" + kTen + "Host->\"?\"   \r\n");
  EXPECT_EQ(TpsRecord(30), "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen + "OrderNum->7   \r\n" +
                               kTen + "Machine->\"M1\"   \r\n" + kTen + "Host->\"?\"   \r\n");
  // The first piece alone is too wide: the first value line holds the ten blanks only.
  const std::string head_and_blank_line = "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen + "\r\n";
  EXPECT_EQ(TpsRecord(10).substr(0, head_and_blank_line.size()), head_and_blank_line);
}

TEST(CallRecord, NamesAreUniqueAndTheTextIsStable) {
  clsRpcData record(nullptr, FixedTime);
  record.SetRpcName("T_DATA_M", 0);
  EXPECT_TRUE(record.AddRpcParam("Name1", std::string("x")));
  EXPECT_FALSE(record.AddRpcParam("NAME1", std::string("y")));
  ASSERT_EQ(record.GetRpcParams().size(), 1u);
  EXPECT_EQ(std::get<std::string>(record.GetRpcParams()[0].second), "x");
  const std::string first = record.GetAsString();
  EXPECT_EQ(record.GetAsString(), first);
  EXPECT_EQ(first.find("y"), std::string::npos);

  record.SetRpcName("T_MACHINE_M", 1);  // starts over: nothing of the earlier text remains
  EXPECT_EQ(record.GetAsString(), "05.12.2026 18:03:09  T_MACHINE_M       Ret=1\r\n");
  EXPECT_EQ(record.GetRpcName(), "T_MACHINE_M");
}

}  // namespace
}  // namespace tarvik::testprogram
