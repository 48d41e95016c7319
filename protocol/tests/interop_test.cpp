// The protocol layer against the independent peer (rpcpeer.py): every `_M` telegram sent to its
// machine server, every `_H` telegram called by it into our host routines, the peer's view of our
// table and stubs, and the failure paths of sending.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/codepage/codepage.h"
#include "protocol/host_endpoint.h"
#include "protocol/machine_connection.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_json.h"
#include "tests/support/hex.h"
#include "tests/support/peer.h"
#include "tests/support/sample_values.h"

namespace tarvik::protocol {
namespace {

using nlohmann::json;
using test::PeerServer;

// The values as the peer writes them: texts as Latin-1 (our samples stay within it).
json as_peer_json(const TelegramInfo& t, const std::vector<WireValue>& values) {
  json out = json::parse(telegram_to_json(t, values, 1252).dump());
  out.erase("telegram");
  out.erase("opnum");
  return out;
}

// Caller arguments (UTF-16) for the parameters after pszHost and pszMachine.
struct CallerArgs {
  std::vector<std::u16string> texts;
  std::vector<CallerArg> args;
};
CallerArgs caller_args(const TelegramInfo& t, const std::vector<WireValue>& values) {
  CallerArgs out;
  out.texts.reserve(values.size());
  for (std::size_t i = 2; i < values.size(); ++i) {
    if (const auto* n = std::get_if<std::int32_t>(&values[i])) {
      out.args.emplace_back(*n);
    } else {
      out.texts.push_back(codepage::from_ansi(*std::get<WireText>(values[i]), 1252));
      out.args.emplace_back(CallerText(out.texts.back()));
    }
  }
  (void)t;
  return out;
}

// Records what the host routines hand over and answers like a host named "HOST1" would.
class RecordingHandler : public HostHandler {
 public:
  std::int32_t on_telegram(const IncomingTelegram& t) override {
    std::lock_guard lock(mu_);
    ++count_;
    last_name_ = std::string(t.name());
    last_values_.assign(t.values().begin(), t.values().end());
    if (!t.info().has_result) return 0;
    if (!t.host_is(u"HOST1")) return kWrongHostName;
    if (t.machine_bytes() == "NOBODY") return kNoSuchMachine;
    return 0;
  }
  int count() {
    std::lock_guard lock(mu_);
    return count_;
  }
  std::pair<std::string, std::vector<WireValue>> last() {
    std::lock_guard lock(mu_);
    return {last_name_, last_values_};
  }

 private:
  std::mutex mu_;
  int count_ = 0;
  std::string last_name_;
  std::vector<WireValue> last_values_;
};

struct HostFixture : ::testing::Test {
  void SetUp() override {
    host.set_host_port(0);  // a free port: tests never take the well-known 3010
    host.set_host_id(u"HOST1");
  }
  RecordingHandler handler;
  HostEndpoint host{handler};
};

using Interop = HostFixture;

// Both directions for all 27 procedures: the peer decodes our stubs to our values, and we decode
// the peer's stubs to the values it was given (a parameter of another name, kind or size in our
// table shows here; interface identities and opnums in the calls below).
TEST(PeerAgreement, EveryStubDecodesTheSameOnBothSides) {
  json cases = json::array();
  for (const TelegramInfo& t : telegrams()) {
    const auto values = test::sample_values(t, 3);
    std::vector<std::uint8_t> stub;
    ASSERT_EQ(marshal_request(t, values, stub), rpc::RPC_S_OK);
    cases.push_back({{"iface", t.iface == Interface::machine ? "MACHINE" : "HOST"},
                     {"name", t.name},
                     {"stub", test::to_hex(stub)},
                     {"values", as_peer_json(t, values)}});
  }
  const std::string script =
      "import json, sys\n"
      "sys.path.insert(0, sys.argv[1])\n"
      "import rpcpeer as rp\n"
      "out = []\n"
      "for c in json.loads(sys.argv[2]):\n"
      "    t = getattr(rp, c['iface'])[c['name']]\n"
      "    d = t.decode(bytes.fromhex(c['stub']))\n"
      "    out.append({'decoded': {k: v for k, v in d.items() if not k.startswith('_')},\n"
      "                'warnings': d.get('_warnings', []), 'consumed': d.get('_consumed'),\n"
      "                'encoded': t.encode(c['values']).hex()})\n"
      "print(json.dumps(out))\n";
  const auto r = test::run({TARVIK_PYTHON, "-c", script, TARVIK_PEER_DIR, cases.dump(-1, ' ', true)});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const json results = json::parse(r.out);
  ASSERT_EQ(results.size(), kTelegramCount);
  for (std::size_t i = 0; i < kTelegramCount; ++i) {
    const TelegramInfo& t = kTelegrams[i];
    SCOPED_TRACE(t.name);
    EXPECT_EQ(results[i]["decoded"], cases[i]["values"]);
    EXPECT_TRUE(results[i]["warnings"].empty()) << results[i]["warnings"];
    std::vector<WireValue> back;
    ASSERT_EQ(unmarshal_request(t, test::from_hex(results[i]["encoded"].get<std::string>()),
                                rpc::ByteOrder::little, back),
              rpc::RPC_S_OK);
    EXPECT_EQ(back, test::sample_values(t, 3));
  }
}

TEST_F(Interop, EveryMachineTelegramArrivesWithEveryField) {
  PeerServer machine("machine", {"--status", "-9", "--status-for", "C_MODE_M=-3", "--status-for",
                                 "T_DATA_M=2147483647", "--status-for", "C_ORDER_M=1783"});
  MachineConnection m(host, kControlPolicy);
  m.set_machine_ip(u"127.0.0.1");
  m.set_machine_port(machine.port());
  m.set_machine_id(u"MC\u00e401");
  for (const TelegramInfo& t : telegrams(Interface::machine)) {
    SCOPED_TRACE(t.name);
    auto values = test::sample_values(t, 4);
    if (!values.empty()) {
      values[0] = WireText{"HOST1"};
      values[1] = WireText{"MC\xe4" "01"};
    }
    const CallerArgs a = caller_args(t, values);
    // Machine results pass through, whatever they are; Shutdown_M has none (its stubs are empty).
    const std::int32_t expected = t.name == "C_MODE_M" ? -3 : t.name == "T_DATA_M" ? 2147483647
                                  : t.name == "C_ORDER_M" ? 1783 : t.has_result ? -9 : 0;
    EXPECT_EQ(m.send(t, a.args), expected);
    const json call = machine.next_call();
    ASSERT_TRUE(call.is_object());
    EXPECT_EQ(call["telegram"], t.name);
    EXPECT_EQ(call["opnum"], t.opnum);
    EXPECT_EQ(call["conn"], 1);  // one binding, one connection for all seventeen (Shutdown_M too)
    EXPECT_FALSE(call.contains("warnings")) << call;
    if (!t.has_result) {
      EXPECT_TRUE(call["status"].is_null()) << call;
    }
    const json expected_fields = as_peer_json(t, values);
    for (auto it = expected_fields.begin(); it != expected_fields.end(); ++it)
      EXPECT_EQ(call[it.key()], it.value()) << it.key();
  }
  EXPECT_TRUE(host.enabled());  // the first telegram started the host endpoint
}

TEST_F(Interop, NullTextIsRefusedBeforeAnythingIsSent) {
  PeerServer machine("machine");
  const TelegramInfo& data = *find_telegram("T_DATA_M");
  const TelegramInfo& report = *find_telegram("T_REPORT_M");
  const CallerArg null_name[] = {1, 2, CallerText(u"a"), std::nullopt};
  const CallerArg order[] = {77};
  for (const ClientPolicy& policy : {kControlPolicy, kManagedPolicy}) {
    MachineConnection m(host, policy);
    m.set_machine_ip(u"127.0.0.1");
    m.set_machine_port(machine.port());
    ASSERT_EQ(m.send(report, order), 0);
    EXPECT_EQ(machine.next_call()["OrderNum"], 77);
    const bool control = policy.failure_result == ClientPolicy::FailureResult::runtime_status;
    EXPECT_EQ(m.send(data, null_name), control ? rpc::RPC_X_NULL_REF_POINTER : rpc::RPC_S_SERVER_UNAVAILABLE);
    EXPECT_FALSE(m.is_bound());
    m.set_machine_id(std::nullopt);
    EXPECT_EQ(m.send(report, order), control ? rpc::RPC_X_NULL_REF_POINTER : rpc::RPC_S_SERVER_UNAVAILABLE);
    m.set_machine_id(u"M");
    // The next call the peer sees is this one: nothing went out in between.
    ASSERT_EQ(m.send(report, order), 0);
    const json call = machine.next_call();
    EXPECT_EQ(call["telegram"], "T_REPORT_M");
    EXPECT_EQ(call["pszMachine"], "M");
  }
}

TEST_F(Interop, UnreachableMachineFailsThenANewBindingSucceeds) {
  const std::uint16_t port = test::unused_port();
  const TelegramInfo& t = *find_telegram("T_MACHINE_M");
  const CallerArg order[] = {5};
  MachineConnection control(host, kControlPolicy);
  MachineConnection managed(host, kManagedPolicy);
  for (MachineConnection* m : {&control, &managed}) {
    m->set_machine_ip(u"127.0.0.1");
    m->set_machine_port(port);
    m->set_machine_timeout(0);
    EXPECT_EQ(m->send(t, order), rpc::RPC_S_SERVER_UNAVAILABLE);
    EXPECT_FALSE(m->is_bound());
  }
  PeerServer machine("machine", {"--port", std::to_string(port)});
  ASSERT_EQ(machine.port(), port);
  for (MachineConnection* m : {&control, &managed}) {
    EXPECT_EQ(m->send(t, order), 0);
    EXPECT_TRUE(m->is_bound());
    EXPECT_EQ(machine.next_call()["telegram"], "T_MACHINE_M");
  }
}

TEST_F(Interop, AHostPortHeldElsewhereCostsOnlyTheHostTheTelegramStillGoesOut) {
  PeerServer machine("machine", {"--status", "5"});
  PeerServer squatter("host");  // another program on the host port
  host.set_host_port(squatter.port());
  for (const ClientPolicy& policy : {kControlPolicy, kManagedPolicy}) {
    MachineConnection m(host, policy);
    m.set_machine_ip(u"127.0.0.1");
    m.set_machine_port(machine.port());
    const CallerArg order[] = {1};
    EXPECT_EQ(m.send(*find_telegram("T_TPS_M"), order), 5);
    EXPECT_EQ(machine.next_call()["telegram"], "T_TPS_M");
    EXPECT_FALSE(host.enabled());  // the host's own failure stays as it was
    EXPECT_EQ(host.enable(), rpc::RPC_S_CANT_CREATE_ENDPOINT);
  }
}

TEST_F(Interop, OtherHostStartFailuresAreTheTelegramsResultAndNothingIsSent) {
  PeerServer machine("machine");
  host.set_host_port(70000);  // not a TCP port: 1706
  MachineConnection m(host, kManagedPolicy);
  m.set_machine_ip(u"127.0.0.1");
  m.set_machine_port(machine.port());
  const CallerArg order[] = {1};
  EXPECT_EQ(m.send(*find_telegram("T_TPS_M"), order), rpc::RPC_S_INVALID_ENDPOINT_FORMAT);
  EXPECT_FALSE(m.is_bound());
  host.set_host_port(0);
  EXPECT_EQ(m.send(*find_telegram("T_MACHINE_M"), order), 0);
  EXPECT_EQ(machine.next_call()["telegram"], "T_MACHINE_M");  // the first one never left
}

TEST_F(Interop, HostEnableTwiceAndAfterDisableOnTheSamePort) {
  ASSERT_EQ(host.enable(), rpc::RPC_S_OK);
  const std::uint16_t port = host.listening_port();
  ASSERT_NE(port, 0);
  EXPECT_EQ(host.enable(), rpc::RPC_S_OK);
  EXPECT_EQ(host.disable(), rpc::RPC_S_OK);
  EXPECT_EQ(host.disable(), rpc::RPC_S_OK);
  EXPECT_FALSE(host.enabled());
  host.set_host_port(port);
  EXPECT_EQ(host.enable(), rpc::RPC_S_OK);  // the endpoint stayed open: 1740 counts as success
  EXPECT_EQ(test::peer_call("host", port, "R_MESSAGE_H", {{"pszHost", "HOST1"}})["status"], 0);
}

TEST_F(Interop, EveryHostTelegramFromThePeerReachesTheHandler) {
  ASSERT_EQ(host.enable(), rpc::RPC_S_OK);
  for (const TelegramInfo& t : telegrams(Interface::host)) {
    SCOPED_TRACE(t.name);
    auto values = test::sample_values(t, 5);
    if (!values.empty()) values[0] = WireText{"HOST1"};
    const json reply = test::peer_call("host", host.listening_port(), std::string(t.name), as_peer_json(t, values));
    EXPECT_EQ(reply["exit"], 0) << reply;
    if (t.has_result) {
      EXPECT_EQ(reply["status"], 0);
    } else {
      EXPECT_TRUE(reply["status"].is_null());
    }
    const auto [name, received] = handler.last();
    EXPECT_EQ(name, t.name);
    EXPECT_EQ(received, values);
  }
  EXPECT_EQ(handler.count(), 10);
}

TEST_F(Interop, HostResultsGoBackUnchanged) {
  ASSERT_EQ(host.enable(), rpc::RPC_S_OK);
  const auto port = host.listening_port();
  EXPECT_EQ(test::peer_call("host", port, "R_MACHINE_H", {{"pszHost", "host1"}})["status"], kWrongHostName);
  EXPECT_EQ(test::peer_call("host", port, "T_DATA_H", {{"pszHost", "HOST1"}, {"pszMachine", "NOBODY"}})["status"],
            kNoSuchMachine);
  EXPECT_EQ(test::peer_call("host", port, "R_DDEDATA_H", {{"pszHost", "HOST1"}})["status"], 0);
}

TEST_F(Interop, BadStubDataIsFault6F7AndTheHandlerIsNotCalled) {
  ASSERT_EQ(host.enable(), rpc::RPC_S_OK);
  const char* stubs[] = {
      "0200000000000000020000004800",          // R_MACHINE_H cut after pszHost
      "020000000000000003000000480000",        // actual above max
      "0200000001000000020000004800abab",      // offset 1
      "02000000000000000200000048410000",      // no terminating zero
  };
  for (const char* stub : stubs) {
    const json reply = test::peer_call("host", host.listening_port(), "R_MACHINE_H", nullptr, {"--raw-stub", stub});
    EXPECT_EQ(reply["fault"], 0x6F7) << stub << " " << reply;
  }
  EXPECT_EQ(handler.count(), 0);
  EXPECT_EQ(test::peer_call("host", host.listening_port(), "R_MESSAGE_H", {{"pszHost", "HOST1"}})["status"], 0);
}

TEST_F(Interop, ManyMachinesCallAtOnce) {
  ASSERT_EQ(host.enable(), rpc::RPC_S_OK);
  const auto r = test::run(test::peer_command({"load-host", "--port", std::to_string(host.listening_port()),
                                               "--calls", "800", "--threads", "16", "R_MACHINE_H",
                                               "pszHost=HOST1", "DockPos=1,2,3", "pszWPC=AB,,CDEFGH"}));
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const json load = json::parse(test::lines(r.out).back());
  EXPECT_EQ(load["completed"], 800);
  EXPECT_EQ(load["statuses"], json({{"0", 800}}));
  EXPECT_EQ(load["errors"], 0);
  EXPECT_EQ(handler.count(), 800);
}

TEST_F(Interop, ManyConnectionsSendAtOnce) {
  PeerServer machine("machine");
  constexpr int kThreads = 8, kCalls = 25;
  std::atomic<int> ok{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      MachineConnection m(host, kManagedPolicy);
      m.set_machine_ip(u"127.0.0.1");
      m.set_machine_port(machine.port());
      const std::u16string name = u"PART" + codepage::utf8_to_utf16(std::to_string(i));
      for (int k = 0; k < kCalls; ++k) {
        const CallerArg args[] = {k, 1, CallerText(name), CallerText(u"x")};
        if (m.send(*find_telegram("T_DATA_M"), args) == 0) ++ok;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(ok, kThreads * kCalls);
  int seen = 0;
  while (seen < kThreads * kCalls && machine.next_call().is_object()) ++seen;
  EXPECT_EQ(seen, kThreads * kCalls);
}

}  // namespace
}  // namespace tarvik::protocol
