// tarvik send: one `_M` telegram to a machine, sent the way the control sends it (host endpoint
// first unless its port is held by another program, binding, conversion with best fit, the
// runtime's status after a failure).
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "protocol/host_endpoint.h"
#include "protocol/machine_connection.h"
#include "tools/capture_recorder.h"
#include "tools/command.h"
#include "tools/field_values.h"
#include "tools/option_checks.h"
#include "tools/output.h"
#include "tools/telegram_names.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

// The host endpoint a sending process runs: it answers machines like a host named --host-id
// would, silently (use `tarvik listen` to see what arrives).
class QuietHost : public HostHandler {
 public:
  explicit QuietHost(const HostEndpoint* host) : host_(host) {}
  std::int32_t on_telegram(const IncomingTelegram& t) override {
    return t.host_is(host_->host_id()) ? 0 : kWrongHostName;
  }
  void attach(const HostEndpoint* host) { host_ = host; }

 private:
  const HostEndpoint* host_;
};

class SendCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("send", "Send one _M telegram to a machine and print its status");
    cmd->footer(
        "Fields are named as in the machine interface (OrderNum, SFkt, Name1, Date, ...); missing ones are 0 or\n"
        "\"\". Prints {\"telegram\":NAME,\"status\":N} and exits 0 whenever a status was obtained: the machine's\n"
        "result, or the runtime's status when the call failed (1722 unreachable, 1780 null text, ...).\n"
        "Example: tarvik send C_ORDER_M OrderNum=7 SFkt=1 Name1=PART01 --machine-ip 192.0.2.10 --machine-id CNC1");
    cmd->add_option("telegram", telegram_, "Telegram name, e.g. T_DATA_M")->required();
    cmd->add_option("fields", fields_, "Fields as name=value");
    cmd->add_option("--machine-ip", machine_ip_, "Machine address (IP or name)")->capture_default_str();
    cmd->add_option("--machine-port", machine_port_, "Machine TCP port")->capture_default_str()->check(kPortRange);
    cmd->add_option("--timeout", timeout_, kTimeoutHelp)->capture_default_str()->check(kTimeoutLevelRange);
    cmd->add_option("--host-id", host_id_, "Host name sent as pszHost")->capture_default_str();
    cmd->add_option("--machine-id", machine_id_, "Machine name sent as pszMachine")->capture_default_str();
    cmd->add_option("--host-port", host_port_, "Port of this host's endpoint, started before sending")
        ->capture_default_str()
        ->check(kPortRange);
    cmd->add_flag("--no-host", no_host_, "Do not start the host endpoint before sending");
    cmd->add_option("--null", null_texts_, "Send this text field as a null text (refused with 1780)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--pcap", pcap_, kPcapHelp);
    return cmd;
  }

  int run() override {
    const TelegramInfo* t = find_telegram(telegram_);
    if (t == nullptr || t->iface != Interface::machine) {
      const Interface machine = Interface::machine;
      print_error(unknown_telegram_message(telegram_, &machine));
      return kExitUsage;
    }
    std::vector<WireValue> values;
    std::string error;
    if (!parse_fields(*t, fields_, null_texts_, 2, values, error)) {
      print_error(error);
      return kExitUsage;
    }
    // Caller-side texts are UTF-16; the connection converts them as the control does.
    std::vector<std::u16string> texts;
    texts.reserve(values.size());
    std::vector<CallerArg> args;
    for (std::size_t i = 2; i < values.size(); ++i) {
      if (const auto* n = std::get_if<std::int32_t>(&values[i])) {
        args.emplace_back(*n);
      } else if (const auto& text = std::get<WireText>(values[i]); text) {
        texts.push_back(codepage::utf8_to_utf16(*text));
        args.emplace_back(CallerText(texts.back()));
      } else {
        args.emplace_back(CallerText());
      }
    }

    ScopedCapture capture;
    if (!capture.start(pcap_)) return kExitFailure;
    QuietHost handler(nullptr);
    HostEndpoint host(handler);
    handler.attach(&host);
    host.set_host_id(codepage::utf8_to_utf16(host_id_));
    host.set_host_port(host_port_);
    ClientPolicy policy = kControlPolicy;
    if (no_host_) policy.host_start = ClientPolicy::HostStart::never;
    MachineConnection machine(host, policy);
    machine.set_machine_ip(codepage::utf8_to_utf16(machine_ip_));
    machine.set_machine_port(machine_port_);
    machine.set_machine_timeout(timeout_);
    machine.set_machine_id(codepage::utf8_to_utf16(machine_id_));

    const std::int32_t status = machine.send(*t, args);
    // A host port held by another program does not stop the telegram; say why no host ran.
    if (!no_host_ && !host.enabled())
      print_error("no host endpoint: port " + std::to_string(host_port_) +
                  " is held by another program (1720); the telegram was sent without one");
    nlohmann::ordered_json line;
    line["telegram"] = t->name;
    line["status"] = status;
    print_line(line);
    return kExitOk;
  }

 private:
  std::string pcap_;
  std::string telegram_;
  std::vector<std::string> fields_;
  std::string machine_ip_ = "127.0.0.1";
  std::int32_t machine_port_ = kDefaultMachinePort;
  std::int32_t timeout_ = kDefaultMachineTimeout;
  std::string host_id_ = "?";
  std::string machine_id_ = "?";
  std::int32_t host_port_ = kDefaultHostPort;
  bool no_host_ = false;
  std::vector<std::string> null_texts_;
};

}  // namespace

std::unique_ptr<Command> make_send_command() { return std::make_unique<SendCommand>(); }

}  // namespace tarvik::cli
