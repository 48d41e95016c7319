// control_sample: the walk-through of docs/control.md as one program. It creates a Machine control
// by its ProgID, configures it by DISPID, listens to its events, sends T_DATA_M by DISPID and
// C_ORDER_M through IMachine, then raises the events that arrive until Shutdown_H or WAIT_MS.
//
//   control_sample MACHINE_PORT [WAIT_MS]
//
// Prints one JSON line per step: {"listening":P}, {"method":"T_DATA_M","ret":R},
// {"method":"C_ORDER_M","ret":R}, then {"event":DISPID,"args":N} per event. The machine is on
// 127.0.0.1; the host server takes a free port. The control is found through the manifest beside
// the program.
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "control/control_host.h"
#include "control/identities.h"
#include "control/imachine.h"
#include "platform/com/activation.h"
#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/event_sink.h"
#include "platform/com/variant.h"

using namespace tarvik;

namespace {

// Property and method DISPIDs of Machine (docs/telegrams.md lists every method's).
constexpr com::DispId kMachineID = 1, kMachineIP = 2, kMachinePort = 3, kHostID = 5, kHostPort = 6,
                      kHostEnabled = 7, kT_DATA_M = 12;
constexpr com::DispId kShutdownHEvent = 19;  // ShutdownH

com::Variant text(const char16_t* s) { return com::Variant::bstr(com::BStr(s)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: control_sample MACHINE_PORT [WAIT_MS]\n");
    return 2;
  }
  const std::int32_t machine_port = std::atoi(argv[1]);
  const int wait_ms = argc == 3 ? std::atoi(argv[2]) : 0;

  // Creating an object: manifest first, then the registry.
  com::ComPtr<com::IDispatch> m;
  if (com::failed(com::create_instance("Mevrix.Machine", &m))) {
    std::fprintf(stderr, "control_sample: cannot create the Machine control\n");
    return 1;
  }

  // Configuring it.
  com::put_property(m.get(), kMachineID, text(u"MC01"));
  com::put_property(m.get(), kMachineIP, text(u"127.0.0.1"));
  com::put_property(m.get(), kMachinePort, com::Variant::i4(machine_port));
  com::put_property(m.get(), kHostID, text(u"HOST1"));
  com::put_property(m.get(), kHostPort, com::Variant::i4(0));  // a free port
  com::HRESULT hr = com::put_property(m.get(), kHostEnabled, com::Variant::boolean(true));
  // failed(hr): hr is the RPC status | 0x80010000 (port taken: 0x800106B8, status 1720)
  if (com::failed(hr)) {
    std::printf("{\"error\":%d}\n", static_cast<int>(hr & 0xFFFF));
    return 1;
  }

  // Listening to events: a sink on _IMachineEvents; the events come from Pump on this thread.
  bool shutdown = false;
  auto sink = com::make_event_sink(control::kDiidIMachineEvents,
      [&](com::DispId id, std::span<const com::Variant> args) {  // args in declaration order
        std::printf("{\"event\":%d,\"args\":%zu}\n", static_cast<int>(id), args.size());
        if (id == kShutdownHEvent) shutdown = true;
      });
  std::uint32_t cookie = 0;
  com::connect_events(m.get(), control::kDiidIMachineEvents, sink.get(), &cookie);

  auto host = m.as<control::IControlHost>();
  std::int32_t listening = 0;
  host->GetListeningPort(&listening);
  std::printf("{\"listening\":%d}\n", static_cast<int>(listening));
  std::fflush(stdout);

  // Sending a telegram by DISPID: OrderNum, SFkt, Name1, Name2.
  com::Variant ret;
  const com::Variant args[] = {com::Variant::i4(7), com::Variant::i4(3), text(u"PART1"), text(u"")};
  com::invoke(m.get(), kT_DATA_M, com::DISPATCH_METHOD, args, &ret);
  // ret.as_i4(): the machine's status, or an RPC status: 1722 unreachable, 1780 a null text
  std::printf("{\"method\":\"T_DATA_M\",\"ret\":%d}\n", static_cast<int>(ret.as_i4()));

  // The same control through its typed interface.
  auto machine = m.as<control::IMachine>();
  std::int32_t order_ret = 0;
  machine->C_ORDER_M(/*OrderNum*/ 2, /*SFkt*/ 1, u"PART01", u"", u"", u"", 250, 0, 0, 0, &order_ret);
  std::printf("{\"method\":\"C_ORDER_M\",\"ret\":%d}\n", static_cast<int>(order_ret));
  std::fflush(stdout);

  // Events: wait on the queue's descriptor (a Qt program uses a QSocketNotifier), then Pump.
  int fd = -1;
  host->GetQueueDescriptor(&fd);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (!shutdown) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) > 0) host->Pump(nullptr);  // raises the pending events
    std::fflush(stdout);
  }

  com::disconnect_events(m.get(), control::kDiidIMachineEvents, cookie);
  return 0;
}
