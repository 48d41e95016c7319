// The `tarvik` binary as engineers and scripts use it, against the independent peer and against
// itself: each subcommand end to end with telegrams that carry every kind of field (texts, longs,
// long, name and byte tables), statuses and code pages. Every telegram against the peer is checked in
// the protocol tests; mistakes on the command line in cli_reference_test.cpp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "tests/support/peer.h"
#include "tests/support/sample_values.h"
#include "tools/tests/tarvik_process.h"

namespace tarvik::cli {
namespace {

using nlohmann::json;
using protocol::TelegramInfo;
using protocol::WireValue;
using test::PeerServer;

void expect_fields(const json& line, const json& expected) {
  for (auto it = expected.begin(); it != expected.end(); ++it) EXPECT_EQ(line[it.key()], it.value()) << it.key();
}

// One telegram of a table row with the status the other side answers it with.
struct Case {
  const char* telegram;
  json status;
};

// `tarvik send` and `tarvik notify` as clients of the peer's servers: every field from name=value
// arguments (tables as JSON arrays), the status the peer answered.
TEST(Cli, SendAndNotifyReachThePeerWithEveryField) {
  struct Row {
    const char* command;
    const char* role;
    std::vector<std::string> peer_options;
    std::vector<Case> cases;
  };
  const Row rows[] = {
      {"send", "machine", {"--status-for", "C_MODE_M=-3", "--status-for", "R_VAR_M=1726"},
       {{"C_ORDER_M", 0}, {"C_MODE_M", -3}, {"R_VAR_M", 1726}, {"Shutdown_M", 0}}},
      {"notify", "host", {"--status-for", "R_TPS_H=-111"},
       {{"R_MACHINE_H", 0}, {"R_TPS_H", -111}, {"R_REPORT_H", 0}, {"Shutdown_H", nullptr}}},
  };
  for (const Row& row : rows) {
    PeerServer peer(row.role, row.peer_options);
    const bool send = std::string(row.command) == "send";
    for (const Case& c : row.cases) {
      const TelegramInfo& t = *protocol::find_telegram(c.telegram);
      SCOPED_TRACE(t.name);
      auto values = test::sample_values(t, 6);
      std::vector<std::string> args = {row.command, c.telegram, send ? "--machine-port" : "--host-port",
                                       std::to_string(peer.port())};
      if (send) {
        if (!values.empty()) {
          values[0] = protocol::WireText{"HOST\xe4"};
          values[1] = protocol::WireText{"CNC1"};
        }
        args.insert(args.end(), {"--no-host", "--host-id", "HOST\u00e4", "--machine-id", "CNC1"});
      }
      const json fields = peer_json(t, values);
      for (std::size_t i = send ? 2 : 0; i < t.params.size(); ++i) {
        const json& v = fields[std::string(t.params[i].name)];
        args.push_back(std::string(t.params[i].name) + "=" + (v.is_string() ? v.get<std::string>() : v.dump()));
      }
      const auto r = test::run(tarvik(args));
      ASSERT_EQ(r.exit_code, 0) << r.err;
      EXPECT_EQ(parse_line(r.out), json({{"telegram", t.name}, {"status", c.status}}));
      const json call = peer.next_call();
      EXPECT_EQ(call["telegram"], t.name);
      expect_fields(call, fields);
    }
  }
}

// `tarvik listen` and `tarvik machine` as servers of the peer's calls: one line per telegram with
// every field and the status it was answered with.
TEST(Cli, ListenAndMachinePrintThePeersTelegramsAndAnswerTheirStatuses) {
  struct Row {
    std::vector<std::string> args;
    const char* role;
    std::vector<Case> cases;
  };
  const Row rows[] = {
      {{"listen", "--host-port", "0", "--host-id", "HOST1"}, "host",
       {{"R_MACHINE_H", 0}, {"R_REPORT_H", 0}, {"Shutdown_H", nullptr}}},
      {{"machine", "--port", "0", "--status", "7", "--status-for", "C_MODE_M=-3", "--status-for", "16=-16"},
       "machine",
       {{"C_ORDER_M", 7}, {"C_MODE_M", -3}, {"T_REPORT_M", -16}, {"Shutdown_M", nullptr}}},
  };
  for (const Row& row : rows) {
    TarvikServer server(row.args);
    ASSERT_NE(server.port, 0) << server.process.stderr_text();
    const bool listen = row.args[0] == "listen";
    for (const Case& c : row.cases) {
      const TelegramInfo& t = *protocol::find_telegram(c.telegram);
      SCOPED_TRACE(t.name);
      auto values = test::sample_values(t, 7);
      if (listen && !values.empty()) values[0] = protocol::WireText{"HOST1"};
      const json reply =
          test::peer_call(row.role, static_cast<std::uint16_t>(server.port), c.telegram, peer_json(t, values));
      json line = server.next_line();
      EXPECT_EQ(line["telegram"], t.name);
      EXPECT_EQ(line["opnum"], t.opnum);
      expect_fields(line, peer_json(t, values));
      EXPECT_EQ(reply["status"], c.status) << reply;
      EXPECT_EQ(line[listen ? "result" : "status"], c.status);
    }
    if (listen) {
      // The host name differs only in case: refused, and the line says so.
      const json reply = test::peer_call("host", static_cast<std::uint16_t>(server.port), "R_MACHINE_H",
                                         {{"pszHost", "host1"}, {"pszWPC", {"AB", "", "CDEFGH"}}});
      EXPECT_EQ(reply["status"], -110);
      const json line = server.next_line();
      EXPECT_EQ(line["result"], -110);
      EXPECT_EQ(line["pszWPC"], json({"AB", "", "CDEFGH"}));
    }
    server.process.signal(listen ? SIGTERM : SIGINT);
    EXPECT_EQ(server.process.wait(), 0);
  }
}

TEST(Cli, SendReportsRuntimeStatusesAndConvertsWithTheCodePage) {
  PeerServer machine("machine");
  const std::string port = std::to_string(machine.port());
  // Windows-1250 puts Ł at 0xA3; the peer reads bytes as Latin-1, where 0xA3 is £.
  auto r = test::run(tarvik({"--codepage", "1250", "send", "T_DATA_M", "Name1=\u0141\u00f3d\u017a", "--no-host",
                             "--machine-port", port}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(machine.next_call()["Name1"], "\u00a3\u00f3d\u009f");

  // A field after --null is a field, not a second null.
  r = test::run(tarvik({"send", "T_DATA_M", "--null", "Name2", "OrderNum=3", "--no-host", "--machine-port", port}));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(parse_line(r.out)["status"], 1780);

  r = test::run(tarvik({"send", "T_MACHINE_M", "--no-host", "--timeout", "0", "--machine-port",
                        std::to_string(test::unused_port())}));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(parse_line(r.out)["status"], 1722);

  // With the host endpoint: started first on --host-port, then the telegram goes out.
  r = test::run(tarvik({"send", "T_TPS_M", "--host-port", "0", "--machine-port", port, "OrderNum=9"}));
  EXPECT_EQ(parse_line(r.out)["status"], 0) << r.err;
  EXPECT_EQ(machine.next_call()["OrderNum"], 9);

  // A host port that another program holds: the telegram still goes out, and stderr says why no
  // host endpoint ran.
  PeerServer squatter("host");
  r = test::run(tarvik({"send", "T_TPS_M", "--host-port", std::to_string(squatter.port()), "--machine-port", port,
                        "OrderNum=10"}));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(parse_line(r.out)["status"], 0) << r.err;
  EXPECT_EQ(machine.next_call()["OrderNum"], 10);
  EXPECT_NE(r.err.find("held by another program"), std::string::npos) << r.err;
}

// A TCP connection to 127.0.0.1:port from another loopback address that sends nothing.
struct SilentPeer {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  SilentPeer(int port, const char* source) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &a.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  ~SilentPeer() { ::close(fd); }
  bool closed_by_server() {
    pollfd p{fd, POLLIN, 0};
    char b;
    return ::poll(&p, 1, 5000) == 1 && ::recv(fd, &b, 1, 0) <= 0;
  }
};

// Repeated notifications into our own listener (short tables filled up with zeros), and --stats
// counting what was answered and what was refused, on SIGUSR1 (after the lines it counts) and again
// on exit.
TEST(Cli, NotifyRepeatsIntoOurListenerWhoseStatsCountTelegramsAndRefusedConnections) {
  TarvikServer listen({"listen", "--host-port", "0", "--host-id", "H", "--stats", "--max-connections-per-address", "2"});
  ASSERT_NE(listen.port, 0) << listen.process.stderr_text();
  const std::string port = std::to_string(listen.port);
  auto r = test::run(tarvik({"notify", "R_REPORT_H", "pszHost=H", "Flag=[255,0,200]", "Number=1,2", "--host-port",
                             port, "--repeat", "3", "--interval", "0"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(test::lines(r.out).size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const json line = listen.next_line();
    EXPECT_EQ(line["Flag"], json({255, 0, 200, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(line["Number"][1], 2);
    EXPECT_EQ(line["result"], 0);
  }
  r = test::run(tarvik({"notify", "R_MESSAGE_H", "pszHost=X", "--host-port", port, "--repeat", "2", "--interval", "0"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  SilentPeer first(listen.port, "127.0.0.2"), second(listen.port, "127.0.0.2"), third(listen.port, "127.0.0.2");
  EXPECT_TRUE(third.closed_by_server());
  listen.process.signal(SIGUSR1);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(listen.next_line()["telegram"], "R_MESSAGE_H");
  const json stats = listen.next_line()["stats"];
  EXPECT_EQ(stats["answered"], 5);
  EXPECT_EQ(stats["wrong_host"], 2);
  EXPECT_EQ(stats["telegrams"]["R_REPORT_H"], 3);
  EXPECT_EQ(stats["telegrams"]["R_MESSAGE_H"], 2);
  EXPECT_EQ(stats["telegrams"]["R_MACHINE_H"], 0);
  EXPECT_EQ(stats["connections"]["refused"]["address_limit"], 1);
  EXPECT_EQ(stats["connections"]["open"], 2);
  listen.process.signal(SIGTERM);
  EXPECT_EQ(listen.process.wait(), 0);
  EXPECT_EQ(listen.next_line()["stats"]["answered"], 5);
}

}  // namespace
}  // namespace tarvik::cli
