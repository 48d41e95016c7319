#include "testprogram/core/call_record.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/codepage.h"

namespace tarvik::testprogram {
namespace {

LocalDateTime fixed_time() {
  return {2026, 12, 5, 18, 3, 9};
}

const std::string kTen(10, ' ');

RpcList ten_flags() {
  RpcList flags;
  flags.elements = {RpcByte{0}, RpcByte{65}, RpcByte{0}, RpcByte{0}, RpcByte{0},
                    RpcByte{0}, RpcByte{0},  RpcByte{0}, RpcByte{0}, RpcByte{0}};
  return flags;
}

// Builds the T_TPS_M example record with a box `columns` characters wide.
std::string tps_record(std::size_t columns) {
  FixedWidthMeasure measure(columns);
  clsRpcData record(&measure, fixed_time);
  record.set_rpc_name("T_TPS_M", 0);
  record.add_rpc_param("OrderNum", 7);
  record.add_rpc_param("Machine", std::string("M1"));
  record.add_rpc_param("Host", std::string("?"));
  return record.get_as_string();
}

TEST(CallRecord, LayoutOfHeadAndValues) {
  EXPECT_EQ(tps_record(200), "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen +
                                "OrderNum->7   Machine->\"M1\"   Host->\"?\"   \r\n");

  clsRpcData no_result(nullptr, fixed_time);
  no_result.set_rpc_name("R_DATA_H");
  EXPECT_EQ(no_result.get_as_string(), "05.12.2026 18:03:09  R_DATA_H\r\n");

  clsRpcData negative(nullptr, fixed_time);
  negative.set_rpc_name("C_ORDER_M", -1722);
  EXPECT_EQ(negative.get_as_string(), "05.12.2026 18:03:09  C_ORDER_M       Ret=-1722\r\n");
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
      {"flag bytes 0, 65, 0 ...", ten_flags(), "Flag( 0 ... 9 ) -> 0 A 0 0 0 0 0 0 0 0    "},
      {"number list with its bounds", numbers, "Flag( 1 ... 3 ) -> 10 -20 2.5    "},
      {"byte in the ANSI code page", texts, "Flag( 0 ... 1 ) -> a b \xc3\x88    "},
      {"number before rounding", 2.5, "Flag->2.5   "},
      {"single byte as a number", RpcByte{65}, "Flag->65   "},
      {"empty text keeps its quotes", std::string(), "Flag->\"\"   "},
  };
  for (const auto& row : rows) EXPECT_EQ(clsRpcData::format_piece("Flag", row.value), row.piece) << row.what;
}

TEST(CallRecord, WrapsWhereTheBoxEnds) {
  // "          OrderNum->7   " is 24 wide, + Machine piece 16 = 40, + Host piece 12 = 52.
  EXPECT_EQ(tps_record(53), tps_record(200));
  EXPECT_EQ(tps_record(52), "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen +
                               "OrderNum->7   Machine->\"M1\"   \r\n" + kTen + "Host->\"?\"   \r\n");
  EXPECT_EQ(tps_record(30), "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen + "OrderNum->7   \r\n" +
                               kTen + "Machine->\"M1\"   \r\n" + kTen + "Host->\"?\"   \r\n");
  // The first piece alone is too wide: the first value line holds the ten blanks only.
  const std::string head_and_blank_line = "05.12.2026 18:03:09  T_TPS_M       Ret=0\r\n" + kTen + "\r\n";
  EXPECT_EQ(tps_record(10).substr(0, head_and_blank_line.size()), head_and_blank_line);
}

TEST(CallRecord, NamesAreUniqueAndTheTextIsStable) {
  clsRpcData record(nullptr, fixed_time);
  record.set_rpc_name("T_DATA_M", 0);
  EXPECT_TRUE(record.add_rpc_param("Name1", std::string("x")));
  EXPECT_FALSE(record.add_rpc_param("NAME1", std::string("y")));
  ASSERT_EQ(record.get_rpc_params().size(), 1u);
  EXPECT_EQ(std::get<std::string>(record.get_rpc_params()[0].second), "x");
  const std::string first = record.get_as_string();
  EXPECT_EQ(record.get_as_string(), first);
  EXPECT_EQ(first.find("y"), std::string::npos);

  record.set_rpc_name("T_MACHINE_M", 1);  // starts over: nothing of the earlier text remains
  EXPECT_EQ(record.get_as_string(), "05.12.2026 18:03:09  T_MACHINE_M       Ret=1\r\n");
  EXPECT_EQ(record.get_rpc_name(), "T_MACHINE_M");
}

}  // namespace
}  // namespace tarvik::testprogram
