// The scripted machine, recording, replay and the Wireshark dissector, as `tarvik` processes on
// loopback: a scenario machine talking to `tarvik listen`, captures written by us and of the
// independent peer's traffic replayed into a new host with identical telegrams, and tshark showing
// every field of all 27 telegrams.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/peer.h"
#include "tests/support/sample_values.h"
#include "tools/tests/tarvik_process.h"

namespace tarvik::cli {
namespace {

using nlohmann::json;
using protocol::TelegramInfo;
using test::ChildProcess;
using namespace std::chrono_literals;

std::string temp_path(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tarvik_" + std::to_string(::getpid()) + "_" + name)).string();
}

TEST(ScenarioMachine, AnswersByTheFileAndReportsToTheHost) {
  TarvikServer host({"listen", "--host-port", "0", "--host-id", "HOST1"});
  ASSERT_NE(host.port, 0);
  const std::string file = temp_path("scenario.json");
  std::ofstream(file) << R"({
    "machine": {"name": "MC1"},
    "host": {"name": "HOST1", "ip": "127.0.0.1"},
    "answers": [
      {"telegram": "C_ORDER_M", "when": {"SFkt": 3}, "status": -5},
      {"telegram": "C_ORDER_M", "then": [
        {"after_ms": 50, "send": "R_MACHINE_H", "fields": {"OrderNum": "${OrderNum}", "MachineStatus": 1}},
        {"send": "R_MESSAGE_H", "fields": {"OrderNum": "${OrderNum}", "pszMessage": "order ${OrderNum}: ${Name1}"}}]},
      {"telegram": "*", "every": 2, "status": -3}
    ]
  })";
  TarvikServer machine({"machine", "--scenario", file, "--port", "0", "--host-port", std::to_string(host.port)});
  ASSERT_NE(machine.port, 0) << machine.process.stderr_text();
  const std::string port = std::to_string(machine.port);
  const auto send = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"--no-host", "--machine-port", port});
    const auto r = test::run(tarvik(args));
    return parse_line(r.out).value("status", 12345);
  };
  EXPECT_EQ(send({"send", "C_ORDER_M", "OrderNum=7", "SFkt=1", "Name1=PART01"}), 0);
  EXPECT_EQ(send({"send", "C_ORDER_M", "OrderNum=8", "SFkt=3"}), -5);
  EXPECT_EQ(send({"send", "T_MACHINE_M"}), 0);   // first match of "every 2": not taken
  EXPECT_EQ(send({"send", "T_MACHINE_M"}), -3);  // second: taken

  const json report = host.next_line();
  EXPECT_EQ(report["telegram"], "R_MACHINE_H");
  EXPECT_EQ(report["pszMachine"], "MC1");
  EXPECT_EQ(report["OrderNum"], 7);
  EXPECT_EQ(report["MachineStatus"], 1);
  EXPECT_EQ(report["result"], 0);
  const json message = host.next_line();
  EXPECT_EQ(message["telegram"], "R_MESSAGE_H");
  EXPECT_EQ(message["pszMessage"], "order 7: PART01");

  std::vector<json> events;
  for (json line = machine.next_line(); !line.is_null(); line = events.size() < 12 ? machine.next_line() : json(nullptr))
    events.push_back(line);
  ASSERT_EQ(events.size(), 12u);
  EXPECT_EQ(events[0]["event"], "received");
  EXPECT_EQ(events[0]["Name1"], "PART01");
  EXPECT_EQ(events[1], json({{"event", "answered"}, {"telegram", "C_ORDER_M"}, {"status", 0}}));
  std::vector<std::string> sent;
  for (const json& e : events) {
    if (e["event"] == "sent") sent.push_back(e["telegram"]);
    if (e["event"] == "result") {
      EXPECT_EQ(e["status"], 0) << e;
    }
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"R_MACHINE_H", "R_MESSAGE_H"}));
  machine.process.signal(SIGINT);
  EXPECT_EQ(machine.process.wait(), 0);
}

TEST(ScenarioMachine, WrongFilesAreRefusedAtStart) {
  const std::string file = temp_path("bad_scenario.json");
  std::ofstream(file) << "{\n  \"answers\": [\n    {\"telegram\": \"C_ORDER_M\", \"when\": {\"OrderNo\": 1}}\n  ]\n}\n";
  auto r = test::run(tarvik({"machine", "--scenario", file, "--port", "0"}));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_NE(r.err.find(file + ":3: C_ORDER_M has no field OrderNo"), std::string::npos) << r.err;
  r = test::run(tarvik({"machine", "--scenario", temp_path("missing.json")}));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("cannot read scenario"), std::string::npos);
  r = test::run(tarvik({"machine", "--scenario", file, "--status", "3"}));  // one or the other
  EXPECT_EQ(r.exit_code, 2);
}

TEST(Replay, TheClientSideRecordingAndTimingAreKept) {
  TarvikServer host({"listen", "--host-port", "0", "--host-id", "H"});
  const std::string capture = temp_path("notify.pcap");
  auto r = test::run(tarvik({"notify", "R_TPS_H", "pszHost=H", "OrderNum=5", "--host-port", std::to_string(host.port),
                             "--repeat", "3", "--interval", "300", "--pcap", capture}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const json first = host.next_line();
  host.next_line();
  host.next_line();
  TarvikServer again({"listen", "--host-port", "0", "--host-id", "H"});
  const auto start = std::chrono::steady_clock::now();
  r = test::run(tarvik({"replay", capture, "--host-port", std::to_string(again.port), "--speed", "2"}));
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = test::lines(r.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NEAR(parse_line(lines[2])["time"].get<double>(), 0.6, 0.2);
  EXPECT_GE(took, std::chrono::milliseconds(250));  // 600 ms of recording at double speed
  EXPECT_EQ(again.next_line(), first);
}

// The host side's recording of the peer's calls plays back identically (a new `tarvik listen` prints
// the same lines, every status equal to the one recorded), whole or filtered by telegram and machine.
// Replay copies calls byte for byte: a few telegrams with every kind of field (and one without a
// result) stand for all of them.
TEST(Replay, ThePeersTrafficPlaysBackIdenticallyAndFiltered) {
  const std::string capture = temp_path("peer.pcap");
  TarvikServer host({"listen", "--host-port", "0", "--host-id", "HOST1", "--pcap", capture});
  ASSERT_NE(host.port, 0);
  std::vector<json> seen;
  for (const char* name : {"R_MACHINE_H", "R_TPS_H", "R_REPORT_H", "Shutdown_H"}) {
    const TelegramInfo& t = *protocol::find_telegram(name);
    const json reply =
        test::peer_call("host", static_cast<std::uint16_t>(host.port), name, peer_json(t, test::sample_values(t, 5)));
    ASSERT_FALSE(reply.contains("error")) << reply;
    seen.push_back(host.next_line());
  }
  host.stop();
  TarvikServer whole({"listen", "--host-port", "0", "--host-id", "HOST1"});
  auto r = test::run(tarvik({"replay", capture, "--host-port", std::to_string(whole.port), "--as-fast-as-possible"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = test::lines(r.out);
  ASSERT_EQ(lines.size(), seen.size()) << r.out << r.err;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const json replayed = parse_line(lines[i]);
    EXPECT_EQ(replayed["telegram"], seen[i]["telegram"]);
    EXPECT_EQ(replayed["status"], replayed["recorded"]) << replayed;
    EXPECT_EQ(whole.next_line(), seen[i]);
  }

  TarvikServer again({"listen", "--host-port", "0", "--host-id", "HOST1"});
  const std::string machine = seen[1]["pszMachine"];
  r = test::run(tarvik({"replay", capture, "--host-port", std::to_string(again.port), "--as-fast-as-possible",
                        "--only", "R_TPS_H", "--machine", machine}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(test::lines(r.out).size(), 1u) << r.out;
  EXPECT_EQ(parse_line(r.out)["telegram"], "R_TPS_H");
  EXPECT_EQ(again.next_line(), seen[1]);
  r = test::run(tarvik({"replay", capture, "--only", "C_ORDER_M"}));
  EXPECT_EQ(r.exit_code, 2);
}

// What is wrong inside a damaged capture is told by the capture reader (capture_reader_test.cpp); here
// the command's part: exit code 2 with the file named, and a damaged capture replays nothing at all.
TEST(Replay, BadCapturesGiveAClearErrorAndReplayNothing) {
  const std::string text = temp_path("text.pcap");
  std::ofstream(text) << "not a capture\n";
  auto r = test::run(tarvik({"replay", text}));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("cannot replay " + text), std::string::npos) << r.err;

  const std::string cut = temp_path("cut.pcap");  // a capture with calls, cut off inside its last packet
  std::filesystem::copy_file(std::string(TARVIK_SOURCE_DIR) + "/fuzz/seeds/captures/c_order_client_side.pcap", cut,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 7);
  TarvikServer host({"listen", "--host-port", "0"});
  r = test::run(tarvik({"replay", cut, "--host-port", std::to_string(host.port), "--as-fast-as-possible"}));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("packet "), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
}

// A client port that Wireshark gives to another protocol (44818, for one) would hide a connection from
// DCE RPC; the heuristic dissectors are asked first so every connection is decoded.
constexpr const char* kHeuristicFirst = "tcp.try_heuristic_first:TRUE";

// The text tshark prints for a field value, as the dissector formats it.
std::string shown(const json& v) {
  if (v.is_string()) return v.get<std::string>();
  if (!v.is_array()) return v.dump();
  std::string out = "[";
  for (std::size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + (v[i].is_string() ? "\"" + v[i].get<std::string>() + "\"" : v[i].dump());
  return out + "]";
}

TEST(WiresharkDissector, TsharkShowsEveryFieldOfAllTelegrams) {
  const auto which = test::run({"/bin/sh", "-c", "command -v tshark"});
  if (which.exit_code != 0 || test::lines(which.out).empty()) GTEST_SKIP() << "tshark is not installed";
  const std::string tshark = test::lines(which.out)[0];
  const std::string lua = temp_path("mevrix.lua");
  {
    const auto r = test::run(tarvik({"wireshark-dissector"}));
    ASSERT_EQ(r.exit_code, 0);
    std::ofstream(lua) << r.out;
  }
  const std::string machine_capture = temp_path("machine.pcap");
  const std::string host_capture = temp_path("host.pcap");
  std::vector<std::pair<const TelegramInfo*, json>> sent;
  {
    TarvikServer machine({"machine", "--port", "0", "--status", "-4", "--pcap", machine_capture});
    TarvikServer host({"listen", "--host-port", "0", "--host-id", "HOST1", "--pcap", host_capture});
    for (const TelegramInfo& t : protocol::telegrams()) {
      const bool to_machine = t.iface == protocol::Interface::machine;
      const json values = peer_json(t, test::sample_values(t, 11));
      test::peer_call(to_machine ? "machine" : "host", static_cast<std::uint16_t>(to_machine ? machine.port : host.port),
                      std::string(t.name), values);
      (to_machine ? machine : host).next_line();
      sent.emplace_back(&t, values);
    }
    // A call long enough to travel in several DCE RPC fragments.
    const std::string long_text = std::string(12000, 'x') + "END";
    ASSERT_EQ(test::run(tarvik({"notify", "R_MESSAGE_H", "pszMessage=" + long_text, "--host-port",
                                std::to_string(host.port)})).exit_code, 0);
    host.next_line();
    machine.stop();
    host.stop();
  }
  std::string text;
  for (const std::string& capture : {machine_capture, host_capture}) {
    const auto r = test::run({tshark, "-X", "lua_script:" + lua, "-o", kHeuristicFirst, "-r", capture, "-V"}, 90s);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err.find("Lua"), std::string::npos) << r.err;
    text += r.out;
  }
  for (const auto& [t, values] : sent) {
    SCOPED_TRACE(t->name);
    const auto at = text.find("Telegram: " + std::string(t->name));
    ASSERT_NE(at, std::string::npos);
    const auto next = text.find("Telegram: ", at + 1);
    const std::string call = text.substr(at, next == std::string::npos ? std::string::npos : next - at);
    for (const auto& p : t->params) {
      const std::string line = std::string(p.name) + ": " + shown(values[std::string(p.name)]) + "\n";
      EXPECT_NE(call.find(line), std::string::npos) << line;
    }
  }
  EXPECT_NE(text.find("Interface: MEVRIXMACHINE"), std::string::npos);
  EXPECT_NE(text.find("Interface: MEVRIXHOST"), std::string::npos);
  EXPECT_NE(text.find("Status: -4"), std::string::npos);
  // The long call crossed in several TCP segments and DCE RPC fragments and is shown whole (-V cuts
  // long labels, so the field is read on its own).
  const auto r = test::run({tshark, "-X", "lua_script:" + lua, "-o", kHeuristicFirst, "-r", host_capture, "-T", "fields", "-e",
                            "mevrix.pszMessage", "-Y", "mevrix.telegram == \"R_MESSAGE_H\""},
                           90s);
  EXPECT_NE(r.out.find(std::string(12000, 'x') + "END\n"), std::string::npos) << r.out.substr(0, 200);
}

}  // namespace
}  // namespace tarvik::cli
