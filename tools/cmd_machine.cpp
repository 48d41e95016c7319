// tarvik machine: a machine simulator serving MEVRIXMACHINE, printing every call and the status
// it answers.
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "platform/rpc/server.h"
#include "protocol/server_routines.h"
#include "protocol/telegram_json.h"
#include "tools/command.h"
#include "tools/field_values.h"
#include "tools/option_checks.h"
#include "tools/output.h"
#include "tools/stop_signals.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

class MachineCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("machine", "Simulate a machine: serve the _M telegrams and print each call");
    cmd->footer(
        "First line {\"listening\":PORT}, then one line per call with its fields and the \"status\" answered\n"
        "(null for Shutdown_M), printed before the answer goes out. Ends on SIGINT or SIGTERM.\n"
        "Example: tarvik machine --port 3011 --status-for C_MODE_M=-3 --delay-ms 50");
    cmd->add_option("--port", port_, "TCP port to listen on (0: any free port)")
        ->capture_default_str()
        ->check(kPortRange);
    cmd->add_option("--status", status_, "Status answered to every call")->capture_default_str();
    cmd->add_option("--status-for", status_for_, "NAME=N: status for one telegram (name or opnum); repeatable")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--delay-ms", delay_ms_, "Wait this long before each answer")->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    return cmd;
  }

  int run() override {
    std::map<const TelegramInfo*, std::int32_t> statuses;
    for (const std::string& s : status_for_) {
      const auto eq = s.find('=');
      const TelegramInfo* t = eq == std::string::npos ? nullptr : find_telegram(s.substr(0, eq));
      std::int32_t opnum = -1;
      if (t == nullptr && eq != std::string::npos && parse_long(s.substr(0, eq), opnum))
        t = find_telegram(Interface::machine, static_cast<std::uint32_t>(opnum));
      std::int32_t value = 0;
      if (t == nullptr || t->iface != Interface::machine || !parse_long(s.substr(eq + 1), value)) {
        print_error("--status-for wants TELEGRAM=N with an _M telegram name or opnum, not " + s);
        return kExitUsage;
      }
      statuses[t] = value;
    }

    block_stop_signals();  // before the runtime starts its threads
    const std::chrono::milliseconds delay(delay_ms_);
    const std::int32_t fallback = status_;
    auto serve = [statuses, fallback, delay](const TelegramInfo& t, std::span<const WireValue> values,
                                             const rpc::CallInfo&) {
      const auto it = statuses.find(&t);
      const std::int32_t status = it == statuses.end() ? fallback : it->second;
      auto line = telegram_to_json(t, values);
      if (t.has_result) {
        line["status"] = status;
      } else {
        line["status"] = nullptr;
      }
      print_line(line);
      if (delay.count() > 0) std::this_thread::sleep_for(delay);
      return status;
    };
    const rpc::ServerInterface iface = make_server_interface(Interface::machine, serve);
    std::uint16_t actual = 0;
    rpc::Status s = rpc::use_protseq_ep("ncacn_ip_tcp", rpc::RPC_C_PROTSEQ_MAX_REQS_DEFAULT, std::to_string(port_),
                                        &actual);
    if (s == rpc::RPC_S_OK)
      s = rpc::register_if(iface, rpc::RPC_IF_AUTOLISTEN | rpc::RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH, 1234);
    if (s != rpc::RPC_S_OK) {
      print_error("cannot listen on port " + std::to_string(port_) + ": status " + std::to_string(s) + " (" +
                  std::string(rpc::status_message(s)) + ")");
      return kExitFailure;
    }
    print_line({{"listening", actual != 0 ? actual : port_}});
    wait_for_stop_signal();
    (void)rpc::unregister_if(iface.id, /*wait_for_calls=*/true);
    return kExitOk;
  }

 private:
  std::int32_t port_ = 3011;
  std::int32_t status_ = 0;
  std::vector<std::string> status_for_;
  std::int32_t delay_ms_ = 0;
};

}  // namespace

std::unique_ptr<Command> make_machine_command() { return std::make_unique<MachineCommand>(); }

}  // namespace tarvik::cli
