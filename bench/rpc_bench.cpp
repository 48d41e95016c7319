// Round trip and throughput of one small call through our RPC client and server on loopback,
// against a raw TCP exchange of the same byte counts measured in the same run.
//
// The call is a telegram-sized request ("HOST01", "MC01", 7: a 64-byte request PDU) answered with a
// 4-byte result (a 28-byte response PDU). bench/report.py turns the JSON output into ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/loops.h"
#include "bench/raw_tcp.h"
#include "platform/rpc/client.h"
#include "platform/rpc/ndr.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/server.h"

namespace {

using namespace tarvik::rpc;

const SyntaxId kBenchIf{*Uuid::parse("3f1c2a10-7d2e-4b8a-9c11-5a0b6e7d8f90"), 1, 0};

std::vector<std::uint8_t> request_stub() {
  std::vector<std::uint8_t> stub;
  NdrWriter w(stub);
  w.write_string("HOST01");
  w.write_string("MC01");
  w.write_i32(7);
  return stub;
}

const std::size_t kRequestPdu = kRequestHeaderSize + request_stub().size();
const std::size_t kResponsePdu = kResponseHeaderSize + 4;

// The process-wide RPC server, started once for every benchmark of the run.
std::uint16_t rpc_port() {
  static const std::uint16_t port = [] {
    std::uint16_t p = 0;
    if (use_protseq_ep("ncacn_ip_tcp", RPC_C_PROTSEQ_MAX_REQS_DEFAULT, "0", &p) != RPC_S_OK) std::abort();
    ServerInterface iface{kBenchIf, {[](const CallInfo&, std::span<const std::uint8_t>, std::vector<std::uint8_t>& out) {
                            NdrWriter(out).write_i32(0);
                            return std::uint32_t{0};
                          }}};
    if (register_if(iface, RPC_IF_AUTOLISTEN | RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH, 1234) != RPC_S_OK) std::abort();
    return p;
  }();
  return port;
}

tarvik::bench::EchoServer& echo_server() {
  static tarvik::bench::EchoServer server(kRequestPdu, kResponsePdu);
  return server;
}

void BM_RawTcpRoundTrip(benchmark::State& state) {
  tarvik::bench::raw_round_trips(state, echo_server(), kRequestPdu, kResponsePdu);
}

void BM_RpcRoundTrip(benchmark::State& state) {
  std::unique_ptr<Binding> binding;
  if (binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(rpc_port()) + "]", binding) != RPC_S_OK) {
    state.SkipWithError("no binding");
    return;
  }
  const std::vector<std::uint8_t> stub = request_stub();
  std::vector<std::uint8_t> out;
  // Connect and bind before the clock starts, as the raw client connects in its constructor.
  if (binding->call(kBenchIf, 0, stub, out) != RPC_S_OK) {
    state.SkipWithError("first call failed");
    return;
  }
  for (auto _ : state) {
    if (binding->call(kBenchIf, 0, stub, out) != RPC_S_OK) {
      state.SkipWithError("call failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  binding_free(binding);
}

BENCHMARK(BM_RawTcpRoundTrip)->UseRealTime()->Threads(1)->Threads(8)->Threads(64);
BENCHMARK(BM_RpcRoundTrip)->UseRealTime()->Threads(1)->Threads(8)->Threads(64);

}  // namespace

BENCHMARK_MAIN();
