// consumer: sends one T_DATA_M to a machine through the protocol library and prints
// {"telegram":"T_DATA_M","status":N}. Exit 0 when a status was obtained (the machine's answer or
// the runtime's status after a failed call), 2 for a bad command line.
//
//   consumer --machine-port 3011 [--machine-ip 127.0.0.1]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/host_endpoint.h"
#include "protocol/host_routines.h"
#include "protocol/machine_connection.h"
#include "protocol/telegram_table.h"

namespace {

using namespace tarvik::protocol;

// Machines may call back while this program runs; it answers every call with 0.
class AcceptAll : public HostHandler {
 public:
  std::int32_t on_telegram(const IncomingTelegram&) override { return 0; }
};

bool parse_port(const char* text, std::int32_t& port) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 65535) return false;
  port = static_cast<std::int32_t>(value);
  return true;
}

int usage(const char* why) {
  std::fprintf(stderr, "consumer: %s\nusage: consumer --machine-port P [--machine-ip A]\n", why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::int32_t port = -1;
  std::string ip = "127.0.0.1";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return usage("an option needs a value");
    if (arg == "--machine-port") {
      if (!parse_port(argv[++i], port)) return usage("--machine-port wants a port 0-65535");
    } else if (arg == "--machine-ip") {
      ip = argv[++i];
    } else {
      return usage("unknown option");
    }
  }
  if (port < 0) return usage("--machine-port is required");

  AcceptAll handler;
  HostEndpoint host(handler);
  host.set_host_id(u"CONSUMER");
  // This program only sends; it starts no host endpoint of its own.
  ClientPolicy policy = kControlPolicy;
  policy.host_start = ClientPolicy::HostStart::never;
  MachineConnection machine(host, policy);
  machine.set_machine_ip(std::u16string(ip.begin(), ip.end()));  // an address is ASCII
  machine.set_machine_port(port);
  machine.set_machine_id(u"CNC1");

  const TelegramInfo* t = find_telegram("T_DATA_M");
  const CallerArg args[] = {std::int32_t{1} /*OrderNum*/, std::int32_t{3} /*SFkt*/,
                            CallerText(u"PART01") /*Name1*/, CallerText(u"") /*Name2*/};
  const std::int32_t status = machine.send(*t, args);
  std::printf("{\"telegram\":\"%s\",\"status\":%d}\n", std::string(t->name).c_str(), static_cast<int>(status));
  return 0;
}
