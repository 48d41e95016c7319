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
#include "tools/capture_recorder.h"
#include "tools/command.h"
#include "tools/field_values.h"
#include "tools/option_checks.h"
#include "tools/output.h"
#include "tools/scenario_player.h"
#include "tools/server_options.h"
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
        "Example: tarvik machine --port 3011 --status-for C_MODE_M=-3 --delay-ms 50\n"
        "With --scenario FILE the machine answers and reports to its host as the file says, one line per event\n"
        "(received, answered, sent, result); see docs/cli.md. Example:\n"
        "  tarvik machine --scenario examples/scenarios/machining_centre.json --port 0 --host-port 3010");
    port_option_ = cmd->add_option("--port", port_, "TCP port to listen on (0: any free port)")
                       ->capture_default_str()
                       ->check(kPortRange);
    auto* scenario = cmd->add_option("--scenario", scenario_, "Play the machine of this scenario file (JSON)");
    auto* status = cmd->add_option("--status", status_, "Status answered to every call")->capture_default_str();
    auto* status_for =
        cmd->add_option("--status-for", status_for_, "NAME=N: status for one telegram (name or opnum); repeatable")
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    auto* delay = cmd->add_option("--delay-ms", delay_ms_, "Wait this long before each answer")->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    server_options_.add_to(*cmd);
    scenario->excludes(status)->excludes(status_for)->excludes(delay);
    host_ip_option_ = cmd->add_option("--host-ip", host_ip_, "With --scenario: the host's address instead of the scenario's")
                          ->needs(scenario);
    host_port_option_ = cmd->add_option("--host-port", host_port_, "With --scenario: the host's port instead of the scenario's")
                            ->needs(scenario)
                            ->check(CLI::Range(1, 65535));
    cmd->add_option("--pcap", pcap_, kPcapHelp);
    return cmd;
  }

  int run() override {
    if (!scenario_.empty()) return run_scenario();
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

    ScopedCapture capture;
    if (!capture.start(pcap_)) return kExitFailure;
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
    return serve_until_stopped(make_server_interface(Interface::machine, serve), port_);
  }

 private:
  // Serves `iface` on `port` until SIGINT or SIGTERM, then waits for the calls in progress.
  int serve_until_stopped(const rpc::ServerInterface& iface, std::int32_t port) {
    if (const rpc::Status s = server_options_.apply(); s != rpc::RPC_S_OK) {
      print_error("invalid connection limits: status " + std::to_string(s));
      return kExitUsage;
    }
    std::uint16_t actual = 0;
    rpc::Status s = rpc::use_protseq_ep("ncacn_ip_tcp", rpc::RPC_C_PROTSEQ_MAX_REQS_DEFAULT, std::to_string(port),
                                        &actual);
    if (s == rpc::RPC_S_OK)
      s = rpc::register_if(iface, rpc::RPC_IF_AUTOLISTEN | rpc::RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH, 1234);
    if (s != rpc::RPC_S_OK) {
      print_error("cannot listen on port " + std::to_string(port) + ": status " + std::to_string(s) + " (" +
                  std::string(rpc::status_message(s)) + ")");
      return kExitFailure;
    }
    print_line({{"listening", actual != 0 ? actual : port}});
    wait_for_stop_signal();
    (void)rpc::unregister_if(iface.id, /*wait_for_calls=*/true);
    return kExitOk;
  }

  int run_scenario() {
    Scenario scenario;
    std::string error;
    if (!load_scenario(scenario_, scenario, error)) {
      print_error(error);
      return kExitUsage;
    }
    // The command line wins over the file, so one scenario serves on any port.
    if (port_option_->count() > 0) scenario.port = port_;
    if (host_ip_option_->count() > 0) scenario.host_ip = host_ip_;
    if (host_port_option_->count() > 0) scenario.host_port = host_port_;
    ScopedCapture capture;
    if (!capture.start(pcap_)) return kExitFailure;
    block_stop_signals();  // before the runtime and the player start their threads
    ScenarioPlayer player(std::move(scenario));
    auto serve = [&player](const TelegramInfo& t, std::span<const WireValue> values, const rpc::CallInfo&) {
      return player.answer(t, values);
    };
    player.start();
    const int rc = serve_until_stopped(make_server_interface(Interface::machine, serve), player.scenario().port);
    player.stop();
    return rc;
  }

  std::string pcap_;
  std::string scenario_;
  std::string host_ip_;
  std::int32_t host_port_ = 0;
  CLI::Option* port_option_ = nullptr;
  CLI::Option* host_ip_option_ = nullptr;
  CLI::Option* host_port_option_ = nullptr;
  std::int32_t port_ = 3011;
  std::int32_t status_ = 0;
  std::vector<std::string> status_for_;
  std::int32_t delay_ms_ = 0;
  ServerOptions server_options_;
};

}  // namespace

std::unique_ptr<Command> make_machine_command() { return std::make_unique<MachineCommand>(); }

}  // namespace tarvik::cli
