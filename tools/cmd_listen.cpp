// tarvik listen: runs a host endpoint and prints every `_H` telegram that machines call.
#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/rpc/status.h"
#include "protocol/host_endpoint.h"
#include "protocol/telegram_json.h"
#include "tools/capture_recorder.h"
#include "tools/command.h"
#include "tools/option_checks.h"
#include "tools/output.h"
#include "tools/server_options.h"
#include "tools/stop_signals.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

// Prints each telegram with the result it answers: -110 when pszHost is not the host id (case
// counts), else 0, and counts them. The host id is fixed before the endpoint starts, so no lock is
// needed. Lines are formatted as text straight from the values (no JSON tree per telegram).
class PrintingHost : public HostHandler {
 public:
  explicit PrintingHost(std::u16string host_id) : host_id_(std::move(host_id)) {}
  std::int32_t on_telegram(const IncomingTelegram& t) override {
    const std::int32_t result = t.host_is(host_id_) ? 0 : kWrongHostName;
    thread_local std::string line;
    line.clear();
    append_telegram_json(line, t.info(), t.values(),
                         !t.info().has_result ? "\"result\":null"
                         : result == 0        ? "\"result\":0"
                                              : "\"result\":-110");
    print_text_line(line);
    per_telegram_[static_cast<std::size_t>(&t.info() - kTelegrams)].fetch_add(1, std::memory_order_relaxed);
    if (result != 0) wrong_host_.fetch_add(1, std::memory_order_relaxed);
    return result;
  }

  // {"stats":{...}}: telegrams answered (in all, per telegram, with -110) and the runtime's
  // connection counters.
  nlohmann::ordered_json stats() const {
    nlohmann::ordered_json per = nlohmann::ordered_json::object();
    std::uint64_t answered = 0;
    for (const TelegramInfo& t : kTelegrams) {
      if (t.iface != Interface::host) continue;
      const std::uint64_t n = per_telegram_[static_cast<std::size_t>(&t - kTelegrams)].load();
      per[std::string(t.name)] = n;
      answered += n;
    }
    const rpc::ServerStats s = rpc::server_stats();
    return {{"stats",
             {{"answered", answered},
              {"wrong_host", wrong_host_.load()},
              {"telegrams", per},
              {"connections",
               {{"accepted", s.accepted},
                {"open", s.open_connections},
                {"refused", {{"connection_cap", s.refused_connection_cap}, {"address_limit", s.refused_address_limit}}},
                {"closed",
                 {{"first_pdu_timeout", s.closed_first_pdu_timeout},
                  {"idle_timeout", s.closed_idle_timeout},
                  {"pdu_timeout", s.closed_pdu_timeout},
                  {"send_timeout", s.closed_send_timeout}}}}}}}};
  }

 private:
  const std::optional<std::u16string> host_id_;
  std::array<std::atomic<std::uint64_t>, std::size(kTelegrams)> per_telegram_{};
  std::atomic<std::uint64_t> wrong_host_{0};
};

class ListenCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("listen", "Run the host endpoint and print every _H telegram received");
    cmd->footer(
        "First line {\"listening\":PORT}, then one line per telegram with every parameter under its interface\n"
        "name, tables as arrays (names as strings, flags as numbers 0..255) and the \"result\" answered:\n"
        "-110 when pszHost differs from --host-id (case counts), else 0. Ends on SIGINT or SIGTERM.\n"
        "With --stats, a line {\"stats\":{...}} with the counts is printed on SIGUSR1 and on exit.");
    cmd->add_option("--host-port", host_port_, "TCP port to listen on (0: any free port)")
        ->capture_default_str()
        ->check(kPortRange);
    cmd->add_option("--host-id", host_id_, "This host's name; telegrams for other names get -110")
        ->capture_default_str();
    cmd->add_flag("--stats", stats_, "Print counts of telegrams and connections on SIGUSR1 and on exit");
    server_options_.add_to(*cmd);
    cmd->add_option("--pcap", pcap_, kPcapHelp);
    return cmd;
  }

  int run() override {
    block_stop_signals(stats_);  // before the runtime starts its threads
    if (const rpc::Status s = server_options_.apply(); s != rpc::RPC_S_OK) {
      print_error("invalid connection limits: status " + std::to_string(s));
      return kExitUsage;
    }
    ScopedCapture capture;
    if (!capture.start(pcap_)) return kExitFailure;
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
    if (stats_) {
      wait_for_stop_signal([&] {
        flush_output();  // the counts follow the lines they count
        print_line(handler.stats());
      });
    } else {
      wait_for_stop_signal();
    }
    // Unregistering waits for the telegrams in progress, so every line is complete.
    (void)host.disable();
    flush_output();
    if (stats_) print_line(handler.stats());
    return kExitOk;
  }

 private:
  std::string pcap_;
  std::int32_t host_port_ = kDefaultHostPort;
  std::string host_id_ = "?";
  bool stats_ = false;
  ServerOptions server_options_;
};

}  // namespace

std::unique_ptr<Command> make_listen_command() { return std::make_unique<ListenCommand>(); }

}  // namespace tarvik::cli
