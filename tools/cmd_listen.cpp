// tarvik listen: runs a host endpoint and prints every `_H` telegram that machines call.
#include <memory>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/rpc/status.h"
#include "protocol/host_endpoint.h"
#include "protocol/telegram_json.h"
#include "tools/command.h"
#include "tools/option_checks.h"
#include "tools/output.h"
#include "tools/stop_signals.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

// Prints each telegram with the result it answers: -110 when pszHost is not the host id (case
// counts), else 0. The host id is fixed before the endpoint starts, so no lock is needed.
class PrintingHost : public HostHandler {
 public:
  explicit PrintingHost(std::u16string host_id) : host_id_(std::move(host_id)) {}
  std::int32_t on_telegram(const IncomingTelegram& t) override {
    const std::int32_t result = t.host_is(host_id_) ? 0 : kWrongHostName;
    auto line = telegram_to_json(t.info(), t.values());
    if (t.info().has_result) {
      line["result"] = result;
    } else {
      line["result"] = nullptr;
    }
    print_line(line);
    return result;
  }

 private:
  const std::optional<std::u16string> host_id_;
};

class ListenCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("listen", "Run the host endpoint and print every _H telegram received");
    cmd->footer(
        "First line {\"listening\":PORT}, then one line per telegram with every parameter under its interface\n"
        "name, tables as arrays (names as strings, flags as numbers 0..255) and the \"result\" answered:\n"
        "-110 when pszHost differs from --host-id (case counts), else 0. Ends on SIGINT or SIGTERM.");
    cmd->add_option("--host-port", host_port_, "TCP port to listen on (0: any free port)")
        ->capture_default_str()
        ->check(kPortRange);
    cmd->add_option("--host-id", host_id_, "This host's name; telegrams for other names get -110")
        ->capture_default_str();
    return cmd;
  }

  int run() override {
    block_stop_signals();  // before the runtime starts its threads
    PrintingHost handler(codepage::utf8_to_utf16(host_id_));
    HostEndpoint host(handler);
    host.set_host_id(codepage::utf8_to_utf16(host_id_));
    host.set_host_port(host_port_);
    if (const rpc::Status s = host.enable(); s != rpc::RPC_S_OK) {
      print_error("cannot listen on port " + std::to_string(host_port_) + ": status " + std::to_string(s) + " (" +
                  std::string(rpc::status_message(s)) + ")");
      return kExitFailure;
    }
    print_line({{"listening", host.listening_port()}});
    wait_for_stop_signal();
    // Unregistering waits for the telegrams in progress, so every line is complete.
    (void)host.disable();
    return kExitOk;
  }

 private:
  std::int32_t host_port_ = kDefaultHostPort;
  std::string host_id_ = "?";
};

}  // namespace

std::unique_ptr<Command> make_listen_command() { return std::make_unique<ListenCommand>(); }

}  // namespace tarvik::cli
