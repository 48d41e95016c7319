// The telegram layer's two paths, each against a raw TCP exchange of the same byte counts measured
// in the same run (bench/report.py pairs them):
//   BM_TelegramRoundTrip  C_ORDER_M with four 16-character names sent through a MachineConnection
//                         (the six sending steps) to a machine served in this process by the same
//                         routines as `tarvik machine` (baseline BM_RawTcpTelegramRoundTrip).
//   BM_HostIntake         R_MACHINE_H from 1, 8 and 64 machine connections at once into a
//                         HostEndpoint whose handler decodes the telegram's event arguments
//                         (baseline BM_RawTcpHostIntake).
//
//   build/bench/protocol_bench --benchmark_format=json > protocol.json && bench/report.py protocol.json
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "bench/loops.h"
#include "bench/raw_tcp.h"
#include "platform/rpc/client.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/server.h"
#include "protocol/host_endpoint.h"
#include "protocol/machine_connection.h"
#include "protocol/server_routines.h"
#include "protocol/stub_codec.h"

namespace {

namespace protocol = tarvik::protocol;
namespace rpc = tarvik::rpc;

const protocol::TelegramInfo& order() { return *protocol::find_telegram("C_ORDER_M"); }
const protocol::TelegramInfo& machine_state() { return *protocol::find_telegram("R_MACHINE_H"); }

const std::u16string kName1 = u"PART-0001-A12345", kName2 = u"FIXTURE-00017-B2", kName3 = u"NCPROG-4711-OP10",
                     kName4 = u"TOOLSET-0815-T12";

std::size_t request_pdu(const protocol::TelegramInfo& t, const std::vector<protocol::WireValue>& v) {
  std::vector<std::uint8_t> stub;
  if (protocol::marshal_request(t, v, stub) != rpc::RPC_S_OK) std::abort();
  return rpc::kRequestHeaderSize + stub.size();
}
constexpr std::size_t kResultPdu = rpc::kResponseHeaderSize + 4;

// C_ORDER_M's request PDU as MachineConnection sends it below.
std::size_t order_pdu() {
  std::vector<protocol::WireValue> v = protocol::default_values(order());
  v[0] = protocol::WireText("HOST01"), v[1] = protocol::WireText("MC01");
  v[4] = protocol::WireText("PART-0001-A12345"), v[5] = protocol::WireText("FIXTURE-00017-B2");
  v[6] = protocol::WireText("NCPROG-4711-OP10"), v[7] = protocol::WireText("TOOLSET-0815-T12");
  return request_pdu(order(), v);
}

// R_MACHINE_H as a machine reports its state.
std::vector<protocol::WireValue> machine_state_values() {
  std::vector<protocol::WireValue> v = protocol::default_values(machine_state());
  v[0] = protocol::WireText("HOST01"), v[1] = protocol::WireText("MC01"), v[2] = 4711, v[3] = 2, v[4] = 1;
  v[5] = protocol::WireText("PART-0001.MPF");
  v[7] = std::vector<std::int32_t>{1, 2, 3};
  v[9] = protocol::NameTable{"WP1", "WP2", "WP3"};
  return v;
}

// The machine: MEVRIXMACHINE registered in this process, answering 0 to everything.
std::uint16_t machine_port() {
  static const std::uint16_t port = [] {
    static const rpc::ServerInterface machine = protocol::make_server_interface(
        protocol::Interface::machine, [](const auto&, auto, const auto&) { return 0; });
    std::uint16_t p = 0;
    if (rpc::use_protseq_ep("ncacn_ip_tcp", rpc::RPC_C_PROTSEQ_MAX_REQS_DEFAULT, "0", &p) != rpc::RPC_S_OK ||
        rpc::register_if(machine, rpc::RPC_IF_AUTOLISTEN, 1234) != rpc::RPC_S_OK)
      std::abort();
    return p;
  }();
  return port;
}

// The host: a HostEndpoint on a free port whose handler does what a host library does with every
// telegram: checks the host name and builds the event's arguments.
class CountingHandler final : public protocol::HostHandler {
 public:
  std::int32_t on_telegram(const protocol::IncomingTelegram& t) override {
    if (!t.host_is(host_id_)) return protocol::kWrongHostName;
    if (!t.info().events.empty()) benchmark::DoNotOptimize(t.event_args(t.info().events[0]));
    received_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }

 private:
  const std::optional<std::u16string> host_id_{u"HOST01"};
  std::atomic<long> received_{0};
};

// Enabled on a free port before first use; shared by both paths (sending starts it too).
protocol::HostEndpoint& host() {
  static CountingHandler handler;
  static protocol::HostEndpoint endpoint(handler);
  static const bool enabled = [] {
    endpoint.set_host_id(u"HOST01");
    endpoint.set_host_port(0);
    return endpoint.enable() == rpc::RPC_S_OK;
  }();
  if (!enabled) std::abort();
  return endpoint;
}

void BM_TelegramRoundTrip(benchmark::State& state) {
  protocol::MachineConnection m(host(), protocol::kControlPolicy);
  m.set_machine_id(u"MC01");
  m.set_machine_ip(u"127.0.0.1");
  m.set_machine_port(machine_port());
  const protocol::CallerArg args[] = {std::int32_t{7}, std::int32_t{1}, protocol::CallerText(kName1),
                                      protocol::CallerText(kName2), protocol::CallerText(kName3),
                                      protocol::CallerText(kName4), std::int32_t{1}, std::int32_t{2},
                                      std::int32_t{3}, std::int32_t{4}};
  if (m.send(order(), args) != 0) {  // binds outside the timing
    state.SkipWithError("first telegram failed");
    return;
  }
  for (auto _ : state) {
    if (m.send(order(), args) != 0) {
      state.SkipWithError("telegram failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_RawTcpTelegramRoundTrip(benchmark::State& state) {
  static tarvik::bench::EchoServer server(order_pdu(), kResultPdu);
  tarvik::bench::raw_round_trips(state, server, order_pdu(), kResultPdu);
}

// One machine connection per benchmark thread, calling R_MACHINE_H as fast as the host answers.
void BM_HostIntake(benchmark::State& state) {
  tarvik::bench::telegram_calls(state, host().listening_port(), machine_state(), machine_state_values());
}

void BM_RawTcpHostIntake(benchmark::State& state) {
  static const std::size_t request = request_pdu(machine_state(), machine_state_values());
  static tarvik::bench::EchoServer server(request, kResultPdu);
  tarvik::bench::raw_round_trips(state, server, request, kResultPdu);
}

BENCHMARK(BM_RawTcpTelegramRoundTrip)->UseRealTime();
BENCHMARK(BM_TelegramRoundTrip)->UseRealTime();
BENCHMARK(BM_RawTcpHostIntake)->UseRealTime()->Threads(1)->Threads(8)->Threads(64);
BENCHMARK(BM_HostIntake)->UseRealTime()->Threads(1)->Threads(8)->Threads(64);

}  // namespace

BENCHMARK_MAIN();
