// The control's two paths, each against a raw TCP exchange of the same byte counts measured in the
// same run (bench/report.py pairs them):
//   BM_ControlInvokeRoundTrip  C_ORDER_M through IDispatch::Invoke on a Machine object to a machine
//                              served in this process (baseline BM_RawTcpTelegramRoundTrip).
//   BM_ControlEventIntake      R_MESSAGE_H from 8 / 64 machines into the host server of a Machine
//                              object, each record raised as RxMESSAGExH on the owner thread
//                              (baseline BM_RawTcpHostIntake); counters: events raised, telegrams
//                              answered with 0 (equal: nothing lost), telegrams that waited for room.
//
//   build/control/bench/control_bench --benchmark_format=json > control.json && bench/report.py control.json
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "bench/loops.h"
#include "bench/raw_tcp.h"
#include "control/control_host.h"
#include "control/machine.h"
#include "platform/com/event_sink.h"
#include "platform/rpc/client.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/server.h"
#include "protocol/server_routines.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_call.h"

namespace {

namespace com = tarvik::com;
namespace control = tarvik::control;
namespace protocol = tarvik::protocol;
namespace rpc = tarvik::rpc;

std::size_t request_pdu_size(const protocol::TelegramInfo& t, const std::vector<protocol::WireValue>& v) {
  std::vector<std::uint8_t> stub;
  if (protocol::marshal_request(t, v, stub) != rpc::RPC_S_OK) std::abort();
  return rpc::kRequestHeaderSize + stub.size();
}

com::ComPtr<control::IMachine> new_machine() {
  com::ComPtr<control::IMachine> m;
  if (com::create_object<control::CMachine>(nullptr, control::IMachine::kIid, m.put_void(),
                                            static_cast<com::ModuleUsage*>(nullptr)) != com::S_OK)
    std::abort();
  return m;
}

// ---- _M round trip through Invoke ----

const protocol::TelegramInfo& order() {
  return *protocol::find_telegram("C_ORDER_M");
}

std::vector<com::Variant> order_args() {
  auto t = [](const char16_t* s) { return com::Variant::bstr(com::BStr(s)); };
  return {
      com::Variant::i4(7), com::Variant::i4(1), t(u"PART-0001"),     t(u"FIXTURE"),      t(u"NC1"), t(u""),
      com::Variant::i4(1), com::Variant::i4(2), com::Variant::i4(3), com::Variant::i4(4)};
}

// The same telegram as it goes on the wire, for the baseline's byte counts.
std::size_t order_pdu_size() {
  std::vector<protocol::WireValue> v = protocol::default_values(order());
  v[0] = protocol::WireText("HB"), v[1] = protocol::WireText("MC01"), v[4] = protocol::WireText("PART-0001");
  v[5] = protocol::WireText("FIXTURE"), v[6] = protocol::WireText("NC1");
  return request_pdu_size(order(), v);
}

void BM_ControlInvokeRoundTrip(benchmark::State& state) {
  // A machine in this process: MEVRIXMACHINE on a free port, answering 0.
  static const rpc::ServerInterface machine = protocol::make_server_interface(
      protocol::Interface::machine, [](const auto&, auto, const auto&) { return 0; });
  std::uint16_t port = 0;
  if (rpc::use_protseq_ep("ncacn_ip_tcp", 10, "0", &port) != rpc::RPC_S_OK ||
      rpc::register_if(machine, rpc::RPC_IF_AUTOLISTEN, 1234) != rpc::RPC_S_OK) {
    state.SkipWithError("machine server");
    return;
  }
  {
    auto m = new_machine();
    com::put_property(m.get(), 1, com::Variant::bstr(com::BStr(u"MC01")));
    com::put_property(m.get(), 2, com::Variant::bstr(com::BStr(u"127.0.0.1")));
    com::put_property(m.get(), 3, com::Variant::i4(port));
    com::put_property(m.get(), 5, com::Variant::bstr(com::BStr(u"HB")));
    com::put_property(m.get(), 6, com::Variant::i4(0));
    const std::vector<com::Variant> args = order_args();
    com::Variant ret;
    com::invoke(m.get(), 25, com::DISPATCH_METHOD, args, &ret);  // binds outside the timing
    for (auto _ : state) {
      if (com::invoke(m.get(), 25, com::DISPATCH_METHOD, args, &ret) != com::S_OK || ret.as_i4() != 0) {
        state.SkipWithError("call failed");
        break;
      }
    }
    state.SetItemsProcessed(state.iterations());
  }
  (void)rpc::unregister_if(machine.id, true);
}

void BM_RawTcpTelegramRoundTrip(benchmark::State& state) {
  static tarvik::bench::EchoServer server(order_pdu_size(), rpc::kResponseHeaderSize + 4);
  tarvik::bench::raw_round_trips(state, server, order_pdu_size(), rpc::kResponseHeaderSize + 4);
}

// ---- _H intake through to the events ----

const protocol::TelegramInfo& message() {
  return *protocol::find_telegram("R_MESSAGE_H");
}

std::vector<protocol::WireValue> message_values() {
  std::vector<protocol::WireValue> v = protocol::default_values(message());
  v[0] = protocol::WireText("HB"), v[1] = protocol::WireText("MC"), v[2] = 7,
  v[3] = protocol::WireText("message");
  return v;
}

// The owner thread of the run: it creates the Machine object, enables its host server and pumps
// the events into a counting sink until it is told to stop.
class OwnerThread {
 public:
  OwnerThread() {
    thread_ = std::thread([this] {
      auto m = new_machine();
      com::put_property(m.get(), 1, com::Variant::bstr(com::BStr(u"MC")));
      com::put_property(m.get(), 5, com::Variant::bstr(com::BStr(u"HB")));
      com::put_property(m.get(), 6, com::Variant::i4(0));
      auto sink =
          com::make_event_sink(control::kDiidIMachineEvents, [this](com::DispId, auto) { ++events_; });
      std::uint32_t cookie = 0;
      com::connect_events(m.get(), control::kDiidIMachineEvents, sink.get(), &cookie);
      com::put_property(m.get(), 7, com::Variant::boolean(true));
      auto host = m.as<control::IControlHost>();
      std::int32_t port = 0;
      host->GetListeningPort(&port);
      port_ = static_cast<std::uint16_t>(port);
      control::IntakeCounts counts;
      while (!stop_) {
        host->WaitAndPump(20, nullptr);
        host->GetIntakeCounts(&counts);
        answered_ = static_cast<long>(counts.answered);
        waited_ = static_cast<long>(counts.waited);
      }
    });
    while (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~OwnerThread() {
    stop_ = true;
    thread_.join();
  }
  std::uint16_t port() const { return port_; }
  long events() const { return events_; }
  // Telegrams the host answered with 0, and those that waited for room first (as of the last pump).
  long answered() const { return answered_; }
  long waited() const { return waited_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<std::uint16_t> port_{0};
  std::atomic<long> events_{0};
  std::atomic<long> answered_{0};
  std::atomic<long> waited_{0};
  std::thread thread_;
};

OwnerThread& owner() {
  static OwnerThread thread;
  return thread;
}

void BM_ControlEventIntake(benchmark::State& state) {
  tarvik::bench::telegram_calls(state, owner().port(), message(), message_values());
  // Every accepted telegram must also come out as an event on the owner thread (bounded wait).
  if (state.thread_index() == 0) {
    const long before = owner().events();
    for (int i = 0; i < 500; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (owner().events() == before) break;
    }
    state.counters["events"] = static_cast<double>(owner().events());
    // Equal to events once everything is pumped: nothing answered with 0 is lost.
    state.counters["answered"] = static_cast<double>(owner().answered());
    state.counters["waited"] = static_cast<double>(owner().waited());
  }
}

void BM_RawTcpHostIntake(benchmark::State& state) {
  static const std::size_t request = request_pdu_size(message(), message_values());
  static tarvik::bench::EchoServer server(request, rpc::kResponseHeaderSize + 4);
  tarvik::bench::raw_round_trips(state, server, request, rpc::kResponseHeaderSize + 4);
}

BENCHMARK(BM_RawTcpTelegramRoundTrip)->UseRealTime()->Threads(1);
BENCHMARK(BM_ControlInvokeRoundTrip)->UseRealTime()->Threads(1);
BENCHMARK(BM_RawTcpHostIntake)->UseRealTime()->Threads(8)->Threads(64);
BENCHMARK(BM_ControlEventIntake)->UseRealTime()->Threads(8)->Threads(64);

}  // namespace

BENCHMARK_MAIN();
