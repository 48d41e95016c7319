// tarvik notify: calls one `_H` telegram on a host, as a machine reports to its host; with
// --repeat it keeps reporting.
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/rpc/client.h"
#include "protocol/telegram_call.h"
#include "tools/capture_recorder.h"
#include "tools/command.h"
#include "tools/field_values.h"
#include "tools/option_checks.h"
#include "tools/output.h"
#include "tools/telegram_names.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

class NotifyCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("notify", "Call one _H telegram on a host, as a machine does");
    cmd->footer(
        "Fields are named as in the host interface (pszHost, pszMachine, OrderNum, DockPos, pszWPC, Flag, ...);\n"
        "tables as comma lists or JSON arrays. Prints {\"telegram\":NAME,\"status\":N} per call (status null for\n"
        "Shutdown_H; the runtime's status when the call failed) and exits 0 once every call has a status.\n"
        "Example: tarvik notify R_MACHINE_H pszHost=HOST1 pszMachine=CNC1 DockPos=1,2,3 pszWPC=AB,,CDEF");
    cmd->add_option("telegram", telegram_, "Telegram name, e.g. R_MACHINE_H")->required();
    cmd->add_option("fields", fields_, "Fields as name=value");
    cmd->add_option("--host-ip", host_ip_, "Host address (IP or name)")->capture_default_str();
    cmd->add_option("--host-port", host_port_, "Host TCP port")->capture_default_str()->check(kPortRange);
    cmd->add_option("--timeout", timeout_, kTimeoutHelp)->capture_default_str()->check(kTimeoutLevelRange);
    cmd->add_option("--repeat", repeat_, "Number of calls")->capture_default_str()->check(call_count_check());
    cmd->add_option("--interval", interval_ms_, "Milliseconds between calls when repeating")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--null", null_texts_, "Pass this text field as a null text (refused with 1780)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--pcap", pcap_, kPcapHelp);
    return cmd;
  }

  int run() override {
    const TelegramInfo* t = find_telegram(telegram_);
    if (t == nullptr || t->iface != Interface::host) {
      const Interface host = Interface::host;
      print_error(unknown_telegram_message(telegram_, &host));
      return kExitUsage;
    }
    std::vector<WireValue> values;
    std::string error;
    if (!parse_fields(*t, fields_, null_texts_, 0, values, error) || !to_code_page(*t, values, error)) {
      print_error(error);
      return kExitUsage;
    }
    ScopedCapture capture;
    if (!capture.start(pcap_)) return kExitFailure;
    const std::string address = "ncacn_ip_tcp:" + host_ip_ + "[" + std::to_string(host_port_) + "]";
    std::unique_ptr<rpc::Binding> binding;
    for (int i = 0; i < repeat_; ++i) {
      if (i > 0 && interval_ms_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms_));
      rpc::Status s = rpc::RPC_S_OK;
      if (!binding) {
        s = rpc::binding_from_string_binding(address, binding);
        if (s != rpc::RPC_S_OK) {
          print_error("bad host address " + address + ": status " + std::to_string(s));
          return kExitUsage;
        }
        s = binding->set_com_timeout(static_cast<unsigned>(timeout_));
      }
      std::int32_t result = 0;
      if (s == rpc::RPC_S_OK) s = call_telegram(*binding, *t, values, result);
      nlohmann::ordered_json line;
      line["telegram"] = t->name;
      if (s != rpc::RPC_S_OK) {
        line["status"] = s;
        (void)rpc::binding_free(binding);  // like a machine: try a new connection next time
      } else if (t->has_result) {
        line["status"] = result;
      } else {
        line["status"] = nullptr;
      }
      print_line(line);
    }
    return kExitOk;
  }

 private:
  std::string pcap_;
  std::string telegram_;
  std::vector<std::string> fields_;
  std::string host_ip_ = "127.0.0.1";
  std::int32_t host_port_ = 3010;
  std::int32_t timeout_ = 5;
  int repeat_ = 1;
  int interval_ms_ = 1000;
  std::vector<std::string> null_texts_;
};

}  // namespace

std::unique_ptr<Command> make_notify_command() { return std::make_unique<NotifyCommand>(); }

}  // namespace tarvik::cli
