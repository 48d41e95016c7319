// protocol_sample: a host program on the protocol layer alone (no control, no component layer), as
// docs/protocol.md describes it. It starts the host endpoint on a free port, sends C_ORDER_M to a
// machine and prints every `_H` telegram that arrives until Shutdown_H or WAIT_MS.
//
//   protocol_sample MACHINE_PORT [WAIT_MS]
//
// Prints {"listening":P}, {"telegram":"C_ORDER_M","status":S}, then {"received":NAME,
// "machine":M,"order":N,"answer":A} per telegram received (the machine name as its 8-bit bytes). The
// machine is on 127.0.0.1.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#include "protocol/host_endpoint.h"
#include "protocol/host_routines.h"
#include "protocol/machine_connection.h"
#include "protocol/telegram_table.h"

using namespace tarvik::protocol;

namespace {

// Runs on the runtime's threads, several at once: it answers each telegram with 0 when it names
// this host (case counts), -110 otherwise, and keeps nothing past its return.
class PrintingHandler : public HostHandler {
 public:
  explicit PrintingHandler(std::u16string host_id) : host_id_(std::move(host_id)) {}

  std::int32_t on_telegram(const IncomingTelegram& t) override {
    const std::int32_t answer = t.name() == "Shutdown_H" || t.host_is(host_id_) ? 0 : kWrongHostName;
    std::lock_guard lock(mutex_);
    std::printf("{\"received\":\"%s\",\"machine\":\"%s\",\"order\":%d,\"answer\":%d}\n",
                std::string(t.name()).c_str(), std::string(t.machine_bytes()).c_str(),
                static_cast<int>(t.order_num()), static_cast<int>(answer));
    std::fflush(stdout);
    if (t.name() == "Shutdown_H") {
      shutdown_ = true;
      shutdown_seen_.notify_all();
    }
    return answer;
  }

  void WaitForShutdown(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    shutdown_seen_.wait_for(lock, limit, [this] { return shutdown_; });
  }

 private:
  const std::u16string host_id_;
  std::mutex mutex_;
  std::condition_variable shutdown_seen_;
  bool shutdown_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: protocol_sample MACHINE_PORT [WAIT_MS]\n");
    return 2;
  }
  const std::int32_t machine_port = std::atoi(argv[1]);
  const int wait_ms = argc == 3 ? std::atoi(argv[2]) : 0;

  // The host side: one HostEndpoint per process, with the handler of the incoming telegrams.
  PrintingHandler handler(u"HOST1");
  HostEndpoint host(handler);
  host.set_host_id(u"HOST1");
  host.set_host_port(0);  // a free port; listening_port() tells which
  if (const auto status = host.enable(); status != 0) {
    std::printf("{\"error\":%d}\n", static_cast<int>(status));  // 1720: the port belongs to another program
    return 1;
  }
  std::printf("{\"listening\":%d}\n", static_cast<int>(host.listening_port()));
  std::fflush(stdout);

  // The sending side: one MachineConnection per machine, used by one thread at a time.
  MachineConnection machine(host, kControlPolicy);
  machine.set_machine_id(u"MC01");
  machine.set_machine_ip(u"127.0.0.1");
  machine.set_machine_port(machine_port);

  const TelegramInfo& order = *find_telegram("C_ORDER_M");
  const CallerArg args[] = {std::int32_t{2} /*OrderNum*/, std::int32_t{1} /*SFkt*/, CallerText(u"PART01"),
                            CallerText(u""), CallerText(u""), CallerText(u""),
                            std::int32_t{250}, std::int32_t{0}, std::int32_t{0}, std::int32_t{0}};
  const std::int32_t status = machine.send(order, args);  // the machine's result, or an RPC status
  std::printf("{\"telegram\":\"C_ORDER_M\",\"status\":%d}\n", static_cast<int>(status));
  std::fflush(stdout);

  handler.WaitForShutdown(std::chrono::milliseconds(wait_ms));
  // Stops the endpoint, waiting for the routines in progress, before the handler goes.
  (void)host.disable();
  return 0;
}
