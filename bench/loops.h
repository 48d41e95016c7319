// The timed loops the benchmarks share: raw TCP round trips (the baselines) and telegram calls on
// one machine connection per benchmark thread. Connecting (and binding) happens before the clock
// starts in both, so the two measure the same thing: one exchange per iteration.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "bench/raw_tcp.h"
#include "platform/rpc/client.h"
#include "protocol/telegram_call.h"

namespace tarvik::bench {

inline void raw_round_trips(benchmark::State& state, EchoServer& server, std::size_t request, std::size_t response) {
  RawClient client(server.port(), request, response);
  if (!client.round_trip()) {
    state.SkipWithError("raw connection failed");
    return;
  }
  for (auto _ : state) {
    if (!client.round_trip()) {
      state.SkipWithError("raw round trip failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// Calls `t` with `values` on 127.0.0.1:`port` as a machine (or host) would, expecting result 0.
inline void telegram_calls(benchmark::State& state, std::uint16_t port, const protocol::TelegramInfo& t,
                           std::span<const protocol::WireValue> values) {
  std::unique_ptr<rpc::Binding> binding;
  std::int32_t result = 0;
  if (rpc::binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]", binding) !=
          rpc::RPC_S_OK ||
      protocol::call_telegram(*binding, t, values, result) != rpc::RPC_S_OK || result != 0) {
    state.SkipWithError("first call failed");
    return;
  }
  for (auto _ : state) {
    if (protocol::call_telegram(*binding, t, values, result) != rpc::RPC_S_OK || result != 0) {
      state.SkipWithError("call failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace tarvik::bench
