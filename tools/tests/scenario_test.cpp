// Scenario files: every kind of mistake is refused with the line it is on, and what a valid file
// says is what the machine does (matching, "every", references copied from the trigger).
#include <gtest/gtest.h>

#include "platform/codepage/codepage.h"
#include "tools/scenario.h"

namespace tarvik::cli {
namespace {

using protocol::WireText;
using protocol::WireValue;

struct Mistake {
  const char* text;
  int line;
  const char* says;
};

TEST(Scenario, MistakesAreRefusedWithFileLineAndWhat) {
  const Mistake mistakes[] = {
      {"{\n \"answers\": [\n  {\"telegram\": \"C_ORDER\"}\n ]\n}", 3, "unknown telegram C_ORDER"},
      {"{\"answers\": [\n {\"telegram\": \"R_MACHINE_H\"}]}", 2, "unknown telegram R_MACHINE_H"},  // an _H telegram is not answered
      {"{\"answers\": [{\"telegram\": \"C_ORDER_M\",\n \"when\": {\"Sfkt\": 3}}]}", 2, "C_ORDER_M has no field Sfkt"},
      {"{\"answers\": [{\"telegram\": \"C_ORDER_M\",\n\n \"when\": {\"SFkt\": \"3\"}}]}", 3, "SFkt is a 32-bit whole number"},
      {"{\"answers\": [{\"telegram\": \"C_ORDER_M\", \"status\": 2147483648}]}", 1, "\"status\" must be a whole number"},
      {"{\"answers\": [{\"telegram\": \"C_MODE_M\", \"then\": [\n{\"send\": \"R_MACHINE_H\", \"fields\":\n"
       " {\"OrderNum\": \"${Name1}\"}}]}]}",
       3, "bad reference ${Name1}: C_MODE_M has no such field"},
      {"{\"answers\": [{\"telegram\": \"C_ORDER_M\", \"then\": [{\"send\": \"R_MACHINE_H\", \"fields\":\n"
       " {\"OrderNum\": \"${Name1}\"}}]}]}",
       2, "wrong type: OrderNum is a number and ${Name1} a text"},
      {"{\"timers\": [{\"every_ms\": 10,\n \"send\": \"R_TPS_H\", \"fields\": {\"pszResByte\": \"at ${OrderNum}\"}}]}", 2,
       "a timer has no telegram to copy from"},
      {"{\"timers\": [{\"send\": \"R_TPS_H\"}]}", 1, "a timer needs \"every_ms\""},
      {"{\"timers\": [{\"send\": \"R_TPS_H\", \"every_ms\": 0}]}", 1, "at least 1"},
      {"{\"timers\": [{\"send\": \"R_MACHINE_H\", \"every_ms\": 5, \"fields\": {\n\"pszWPC\": [\"ABCDEFG\"]}}]}", 2,
       "a name has at most 6 characters"},
      {"{\"timers\": [{\"send\": \"R_TPS_H\", \"every_ms\": 5, \"fields\": {\"DockPos\": [1, 2, 3]}}]}", 1,
       "DockPos has 2 entries, not 3"},
      {"{\"timers\": [{\"send\": \"R_REPORT_H\", \"every_ms\": 5, \"fields\": {\"Flag\": [256]}}]}", 1, "0..255"},
      {"{\"answers\": [{\"telegram\": \"*\", \"when\": {\"SFkt\": 1}}]}", 1, "any telegram has no field SFkt"},
      {"{\"machine\": {\"name\": \"MC1\",\n \"prot\": 3011}}", 2, "unknown key \"prot\""},
      {"{\"host\": {\"port\": 70000}}", 1, "\"port\" must be a whole number from 1 to 65535"},
      {"{\"answers\": [\n{\"telegram\": \"C_ORDER_M\",, }\n]}", 2, "not valid JSON"},
      {"{\"answers\": [{\"telegram\": \"C_ORDER_M\", \"then\": [{\"send\": \"R_MESSAGE_H\", \"fields\":\n"
       " {\"pszMessage\": \"${OrderNum\"}}]}]}",
       2, "without \"}\""},
      {"[1, 2]", 1, "a scenario is a JSON object"},
  };
  for (const Mistake& m : mistakes) {
    SCOPED_TRACE(m.text);
    Scenario s;
    std::string error;
    EXPECT_FALSE(parse_scenario(m.text, "bad.json", s, error));
    EXPECT_NE(error.find("bad.json:" + std::to_string(m.line) + ": "), std::string::npos) << error;
    EXPECT_NE(error.find(m.says), std::string::npos) << error;
  }
}

TEST(Scenario, AnswersMatchInOrderAndSendsCopyTheTrigger) {
  codepage::set_thread_codepage(1252);
  const char* text = R"({
    "comment": "a machine",
    "machine": {"name": "MC\u00e41", "port": 0},
    "host": {"name": "HOST1", "ip": "127.0.0.2", "port": 3999, "timeout": 2},
    "default_status": 9,
    "answers": [
      {"telegram": "C_ORDER_M", "when": {"SFkt": 3, "Name1": "P\u00e4RT"}, "status": -5},
      {"telegram": "C_ORDER_M", "status": 0, "delay_ms": 20, "then": [
        {"after_ms": 500, "send": "R_MACHINE_H",
         "fields": {"OrderNum": "${OrderNum}", "MachineStatus": 1, "pszNCProgramm": "${Name1}",
                    "pszWPC": ["W\u00e41"], "DockPos": [-1]}},
        {"send": "R_MESSAGE_H", "fields": {"pszMessage": "order ${OrderNum}/${Name1} $${x} done"}}]},
      {"telegram": "*", "every": 3, "status": -7}
    ],
    "timers": [{"every_ms": 10000, "first_after_ms": 5, "send": "R_TPS_H", "fields": {"MachineStatus": 2}}]
  })";
  Scenario s;
  std::string error;
  ASSERT_TRUE(parse_scenario(text, "good.json", s, error)) << error;
  EXPECT_EQ(s.machine_name, "MC\u00e41");
  EXPECT_EQ(s.host_ip, "127.0.0.2");
  EXPECT_EQ(s.host_port, 3999);
  EXPECT_EQ(s.timeout, 2);
  ASSERT_EQ(s.answers.size(), 3u);
  EXPECT_EQ(s.answers[1].delay.count(), 20);
  EXPECT_EQ(s.answers[2].status, -7);
  ASSERT_EQ(s.timers.size(), 1u);
  EXPECT_EQ(s.timers[0].first.count(), 5);

  const auto& order = *protocol::find_telegram("C_ORDER_M");
  auto values = protocol::default_values(order);
  values[3] = 3;                       // SFkt
  values[4] = WireText{"P\xe4RT"};     // Name1 as it arrives in Windows-1252
  values[2] = 42;                      // OrderNum
  EXPECT_TRUE(answer_matches(s.answers[0], order, values));
  values[4] = WireText{"PART"};
  EXPECT_FALSE(answer_matches(s.answers[0], order, values));
  EXPECT_TRUE(answer_matches(s.answers[1], order, values));
  EXPECT_TRUE(answer_matches(s.answers[2], *protocol::find_telegram("T_TPS_M"), protocol::default_values(order)));
  EXPECT_FALSE(answer_matches(s.answers[1], *protocol::find_telegram("C_MODE_M"), values));

  const auto& then = s.answers[1].then;
  ASSERT_EQ(then.size(), 2u);
  EXPECT_EQ(then[0].after.count(), 500);
  const auto machine = build_send(s, then[0], &order, values);
  EXPECT_EQ(machine[0], WireValue(WireText{"HOST1"}));
  EXPECT_EQ(machine[1], WireValue(WireText{"MC\xe4" "1"}));
  EXPECT_EQ(machine[2], WireValue(42));
  EXPECT_EQ(machine[4], WireValue(1));
  EXPECT_EQ(machine[5], WireValue(WireText{"PART"}));
  EXPECT_EQ(machine[7], WireValue(std::vector<std::int32_t>{-1, 0, 0}));
  EXPECT_EQ(machine[9], WireValue(protocol::NameTable{"W\xe4" "1", "", ""}));
  const auto message = build_send(s, then[1], &order, values);
  EXPECT_EQ(message[3], WireValue(WireText{"order 42/PART ${x} done"}));
  const auto tps = build_send(s, s.timers[0].send, nullptr, {});
  EXPECT_EQ(tps[4], WireValue(2));
}

}  // namespace
}  // namespace tarvik::cli
