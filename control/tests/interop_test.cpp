// The control against the independent peer, through control_host as a container drives it: all 17
// methods reach rpcpeer's serve-machine with every field in place, and all 10 `_H` telegrams from
// its call-host come out as events with every argument checked.
#include <gtest/gtest.h>

#include "control/tests/control_host_process.h"
#include "protocol/telegram_table.h"
#include "protocol/tests/support/child_process.h"
#include "protocol/tests/support/peer.h"
#include "protocol/tests/support/sample_values.h"

namespace tarvik::control::test {
namespace {

using nlohmann::json;
using protocol::Kind;
using protocol::WireValue;

// The peer decodes texts as Latin-1, and control_host speaks UTF-8 JSON.
std::string latin1_to_utf8(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

json to_json(const WireValue& v) {
  if (const auto* t = std::get_if<protocol::WireText>(&v)) return latin1_to_utf8(t->value_or(""));
  if (const auto* n = std::get_if<std::int32_t>(&v)) return *n;
  if (const auto* n = std::get_if<std::vector<std::int32_t>>(&v)) return *n;
  if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&v)) {
    json a = json::array();
    for (std::uint8_t x : *b) a.push_back(int{x});
    return a;
  }
  json a = json::array();
  for (const std::string& s : std::get<protocol::NameTable>(v)) a.push_back(latin1_to_utf8(s));
  return a;
}

// The arguments an event carries, from the values that were sent: tables flattened element by
// element unless the event takes them whole.
json expected_args(const protocol::TelegramInfo& t, const protocol::Event& e,
                   const std::vector<WireValue>& values) {
  json args = json::array();
  const auto own = t.own_params();
  for (std::size_t i = 0; i < own.size(); ++i) {
    const json v = to_json(values[i + 2]);
    if (!own[i].is_table() || (e.whole_tables && own[i].kind != Kind::name_table)) {
      args.push_back(v);
    } else {
      for (const json& element : v) args.push_back(element);
    }
  }
  return args;
}

TEST(ControlInterop, AllSeventeenMethodsReachThePeerWithEveryField) {
  tarvik::test::PeerServer peer("machine", {"--status", "7", "--status-for", "C_MODE_M=-3"});
  ControlHostProcess host({"--host-id", "H1", "--host-port", "0", "--machine",
                           "cnc-12a@127.0.0.1:" + std::to_string(peer.port())});
  const json listening = host.read_json();
  ASSERT_TRUE(listening.contains("listening")) << listening;

  for (const protocol::TelegramInfo& t : protocol::telegrams(protocol::Interface::machine)) {
    SCOPED_TRACE(std::string(t.name));
    const std::vector<WireValue> values = tarvik::test::sample_values(t, 1 + t.opnum);
    std::string line = "1 " + std::string(t.name);
    for (std::size_t i = 2; i < values.size(); ++i) line += " " + to_json(values[i]).dump();
    host.write_line(line);

    const json reply = host.read_json();
    EXPECT_EQ(reply["object"], 1);
    EXPECT_EQ(reply["method"], std::string(t.name));
    if (t.has_result)
      EXPECT_EQ(reply["ret"], t.name == "C_MODE_M" ? -3 : 7) << reply;
    else
      EXPECT_FALSE(reply.contains("ret")) << reply;

    const json call = peer.next_call();
    ASSERT_TRUE(call.is_object());
    EXPECT_EQ(call["telegram"], std::string(t.name));
    if (t.params.empty()) continue;
    EXPECT_EQ(call["pszHost"], "H1");
    EXPECT_EQ(call["pszMachine"], "CNC-12A");  // upper-cased when it was set
    for (std::size_t i = 2; i < t.params.size(); ++i)
      EXPECT_EQ(call[std::string(t.params[i].name)], to_json(values[i])) << t.params[i].name;
  }
}

TEST(ControlInterop, AllTenHostTelegramsFromThePeerBecomeEventsOnTheMatchingObjects) {
  ControlHostProcess host(
      {"--host-id", "H1", "--host-port", "0", "--machine", "m1", "--machine", "Other", "--machine", "M1"});
  const json listening = host.read_json();
  ASSERT_TRUE(listening.contains("listening")) << listening;
  const std::uint16_t port = listening["listening"].get<std::uint16_t>();

  for (const protocol::TelegramInfo& t : protocol::telegrams(protocol::Interface::host)) {
    SCOPED_TRACE(std::string(t.name));
    std::vector<WireValue> values = tarvik::test::sample_values(t, 2 + t.opnum);
    json sent = json::object();
    if (!t.params.empty()) {
      values[0] = protocol::WireText("H1");
      values[1] = protocol::WireText("m1");  // routed to both objects named M1
      for (std::size_t i = 0; i < t.params.size(); ++i)
        sent[std::string(t.params[i].name)] = to_json(values[i]);
    }
    const json answer = tarvik::test::peer_call("host", port, std::string(t.name), sent);
    EXPECT_EQ(answer["exit"], 0) << answer;
    EXPECT_EQ(answer["status"], t.has_result ? json(0) : json(nullptr)) << answer;

    const std::vector<int> receivers = t.params.empty() ? std::vector<int>{1, 2, 3} : std::vector<int>{1, 3};
    for (const protocol::Event& e : t.events) {
      for (int object : receivers) {
        const json raised = host.read_json();
        EXPECT_EQ(raised["object"], object) << raised;
        EXPECT_EQ(raised["event"], std::string(e.name)) << raised;
        EXPECT_EQ(raised["args"], expected_args(t, e, values)) << raised;
      }
    }
  }

  // A host name that differs only in case is refused, and nothing is raised for it: the next line
  // belongs to the telegram after it.
  const json refused =
      tarvik::test::peer_call("host", port, "R_DDEDATA_H", {{"pszHost", "h1"}, {"pszMachine", "m1"}});
  EXPECT_EQ(refused["status"], -110) << refused;
  tarvik::test::peer_call("host", port, "R_DDEDATA_H",
                          {{"pszHost", "H1"}, {"pszMachine", "M1"}, {"OrderNum", 42}});
  const json next = host.read_json();
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
