// The control against the independent peer, through control_host as a container drives it: one
// method reaches rpcpeer's serve-machine with every field in place, and one `_H` telegram from its
// call-host comes out as its events with every argument checked. (Every telegram is checked against
// the peer in the protocol tests, and every method's wire traffic in typed_methods_test.cpp.)
#include <gtest/gtest.h>

#include "protocol/telegram_json.h"
#include "protocol/telegram_table.h"
#include "tests/support/child_process.h"
#include "tests/support/peer.h"
#include "tests/support/sample_values.h"

namespace tarvik::control::test {
namespace {

using nlohmann::json;
using protocol::Kind;
using protocol::WireValue;

// control_host as a container program drives the control: arguments, method lines on stdin, JSON
// lines on stdout; closing its input ends it.
struct ControlHostProcess {
  explicit ControlHostProcess(std::vector<std::string> args) : process(command(std::move(args)), true) {}
  static std::vector<std::string> command(std::vector<std::string> args) {
    args.insert(args.begin(), std::string(TARVIK_BINARY_DIR) + "/examples/control_host/control_host");
    return args;
  }
  void write_line(const std::string& line) { process.write_line(line); }
  json read_json() {
    const auto line = process.read_line();
    return line ? json::parse(*line, nullptr, false) : json(nullptr);
  }
  tarvik::test::ChildProcess process;
};

// The values by parameter name as the peer and control_host write them (texts in UTF-8; the samples
// stay within Latin-1, which the peer decodes).
json values_json(const protocol::TelegramInfo& t, const std::vector<WireValue>& values) {
  return json::parse(protocol::telegram_to_json(t, values, 1252).dump());
}

// The arguments an event carries, from the values that were sent: tables flattened element by
// element unless the event takes them whole.
json expected_args(const protocol::TelegramInfo& t, const protocol::Event& e,
                   const std::vector<WireValue>& values) {
  json args = json::array();
  const json by_name = values_json(t, values);
  const auto own = t.own_params();
  for (std::size_t i = 0; i < own.size(); ++i) {
    const json& v = by_name[std::string(own[i].name)];
    if (!own[i].is_table() || (e.whole_tables && own[i].kind != Kind::name_table)) {
      args.push_back(v);
    } else {
      for (const json& element : v) args.push_back(element);
    }
  }
  return args;
}

TEST(ControlInterop, AMethodReachesThePeerAndAHostTelegramBecomesEventsOnTheMatchingObjects) {
  tarvik::test::PeerServer peer("machine", {"--status", "7"});
  ControlHostProcess host({"--host-id", "H1", "--host-port", "0", "--machine",
                           "cnc-12a@127.0.0.1:" + std::to_string(peer.port()), "--machine", "Other", "--machine",
                           "CNC-12A"});
  const json listening = host.read_json();
  ASSERT_TRUE(listening.contains("listening")) << listening;
  const std::uint16_t port = listening["listening"].get<std::uint16_t>();

  const protocol::TelegramInfo& order = *protocol::find_telegram("C_ORDER_M");
  const std::vector<WireValue> values = tarvik::test::sample_values(order, 1);
  const json fields = values_json(order, values);
  std::string line = "1 C_ORDER_M";
  for (std::size_t i = 2; i < values.size(); ++i) line += " " + fields[std::string(order.params[i].name)].dump();
  host.write_line(line);
  const json reply = host.read_json();
  EXPECT_EQ(reply["object"], 1);
  EXPECT_EQ(reply["method"], "C_ORDER_M");
  EXPECT_EQ(reply["ret"], 7) << reply;
  const json call = peer.next_call();
  ASSERT_TRUE(call.is_object());
  EXPECT_EQ(call["telegram"], "C_ORDER_M");
  EXPECT_EQ(call["pszHost"], "H1");
  EXPECT_EQ(call["pszMachine"], "CNC-12A");  // upper-cased when it was set
  for (std::size_t i = 2; i < order.params.size(); ++i)
    EXPECT_EQ(call[std::string(order.params[i].name)], fields[std::string(order.params[i].name)]) << order.params[i].name;

  // R_REPORT_H: two events (whole tables, then flattened), each to both objects named CNC-12A.
  const protocol::TelegramInfo& report = *protocol::find_telegram("R_REPORT_H");
  std::vector<WireValue> sent_values = tarvik::test::sample_values(report, 2);
  sent_values[0] = protocol::WireText("H1");
  sent_values[1] = protocol::WireText("cnc-12a");
  json sent = values_json(report, sent_values);
  sent.erase("telegram");
  sent.erase("opnum");
  const json answer = tarvik::test::peer_call("host", port, "R_REPORT_H", sent);
  EXPECT_EQ(answer["status"], 0) << answer;
  for (const protocol::Event& e : report.events) {
    for (int object : {1, 3}) {
      const json raised = host.read_json();
      EXPECT_EQ(raised["object"], object) << raised;
      EXPECT_EQ(raised["event"], std::string(e.name)) << raised;
      EXPECT_EQ(raised["args"], expected_args(report, e, sent_values)) << raised;
    }
  }

  // A host name that differs only in case is refused, and nothing is raised for it: the next line
  // belongs to the telegram after it.
  EXPECT_EQ(tarvik::test::peer_call("host", port, "R_DDEDATA_H", {{"pszHost", "h1"}, {"pszMachine", "Other"}})["status"],
            -110);
  tarvik::test::peer_call("host", port, "R_DDEDATA_H", {{"pszHost", "H1"}, {"pszMachine", "Other"}, {"OrderNum", 42}});
  const json next = host.read_json();
  EXPECT_EQ(next["object"], 2);
  EXPECT_EQ(next["event"], "RxDDEDATAxH");
  EXPECT_EQ(next["args"][0], 42) << next;
}

// The typed-call example, as a host program built against control/imachine.h runs it.
TEST(ControlInterop, TheTypedHostExampleReachesThePeer) {
  tarvik::test::PeerServer peer("machine", {"--status", "9", "--status-for", "C_MODE_M=-3"});
  tarvik::test::ChildProcess example({std::string(TARVIK_BINARY_DIR) + "/examples/typed_host/typed_host",
                                      "127.0.0.1", std::to_string(peer.port())});
  EXPECT_EQ(example.read_line(), "C_MODE_M ret=-3");
  EXPECT_EQ(example.read_line(), "C_ORDER_M ret=9");
  EXPECT_EQ(example.wait(), 0) << example.stderr_text();
  const json mode = peer.next_call();
  EXPECT_EQ(mode["pszMachine"], "MC01");
  EXPECT_EQ(mode["Mode"], 2);
  const json order = peer.next_call();
  EXPECT_EQ(order["telegram"], "C_ORDER_M");
  EXPECT_EQ(order["Name1"], "PART01");
  EXPECT_EQ(order["Parameter1"], 250);
  EXPECT_EQ(peer.next_call()["telegram"], "Shutdown_M");
}

}  // namespace
}  // namespace tarvik::control::test
