// tarvik replay: reads a capture, finds the `_H` telegrams machines called in it and calls them
// again on a host, in their original order and (scaled) timing, printing the status each gets now
// beside the one recorded.
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "platform/codepage/codepage.h"
#include "platform/rpc/client.h"
#include "platform/rpc/pdu.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_call.h"
#include "tools/capture_reader.h"
#include "tools/command.h"
#include "tools/option_checks.h"
#include "tools/output.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

// The recorded answer: the host's result, null for Shutdown_H or when the capture holds no answer,
// or the status a client reports for the recorded fault.
nlohmann::ordered_json recorded_status(const TelegramInfo& t, const CapturedCall& call) {
  if (!call.answered) return nullptr;
  if (call.fault) return rpc::status_from_fault(*call.fault);
  std::int32_t result = 0;
  if (unmarshal_response(t, call.response_stub, call.response_order, result) != rpc::RPC_S_OK)
    return rpc::RPC_X_BAD_STUB_DATA;
  if (!t.has_result) return nullptr;
  return result;
}

class ReplayCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("replay", "Call the _H telegrams of a capture again on a host");
    cmd->footer(
        "Reads a pcap or pcapng capture (ours from --pcap, or tcpdump's or Wireshark's), puts TCP streams and\n"
        "DCE RPC fragments together and calls every _H telegram request in it again, in the recorded order\n"
        "and timing, one connection per recorded connection. Prints one line per telegram:\n"
        "{\"telegram\":NAME,\"packet\":N,\"time\":S,\"machine\":M,\"status\":NOW,\"recorded\":THEN}.\n"
        "Example: tarvik replay shopfloor.pcapng --host-ip 127.0.0.1 --host-port 3010 --only R_MACHINE_H");
    cmd->add_option("FILE", file_, "Capture file")->required();
    cmd->add_option("--host-ip", host_ip_, "Host address (IP or name)")->capture_default_str();
    cmd->add_option("--host-port", host_port_, "Host TCP port")->capture_default_str()->check(kPortRange);
    auto* speed = cmd->add_option("--speed", speed_, "Play faster (2) or slower (0.5) than recorded")
                      ->capture_default_str()
                      ->check(CLI::PositiveNumber);
    cmd->add_flag("--as-fast-as-possible", fast_, "Do not wait between telegrams")->excludes(speed);
    cmd->add_option("--only", only_, "Replay only this telegram (repeatable)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--machine", machine_, "Replay only telegrams whose pszMachine is NAME (repeatable)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--timeout", timeout_, kTimeoutHelp)->capture_default_str()->check(kTimeoutLevelRange);
    return cmd;
  }

  int run() override {
    for (const std::string& name : only_) {
      const TelegramInfo* t = find_telegram(name);
      if (t == nullptr || t->iface != Interface::host) {
        print_error("--only wants an _H telegram, not " + name);
        return kExitUsage;
      }
    }
    CaptureContents capture;
    std::string error;
    if (!read_capture_file(file_, capture, error)) {
      print_error("cannot replay " + error);
      return kExitUsage;
    }

    const std::string address = "ncacn_ip_tcp:" + host_ip_ + "[" + std::to_string(host_port_) + "]";
    std::map<std::size_t, std::unique_ptr<rpc::Binding>> bindings;  // by recorded connection
    const auto start = std::chrono::steady_clock::now();
    std::optional<double> first_time;
    std::size_t replayed = 0;
    for (const CapturedCall& call : capture.calls) {
      if (!call.iface || call.iface->uuid != kHostInterfaceId.uuid || call.iface->major != kHostInterfaceId.major)
        continue;
      const TelegramInfo* t = find_telegram(Interface::host, call.opnum);
      if (t == nullptr || (!only_.empty() && std::find(only_.begin(), only_.end(), t->name) == only_.end()))
        continue;
      std::vector<WireValue> values;
      if (unmarshal_request(*t, call.stub, call.order, values) != rpc::RPC_S_OK) {
        print_error("packet " + std::to_string(call.packet) + ": the " + std::string(t->name) +
                    " request is malformed; skipped");
        continue;
      }
      const std::string machine = t->params.empty() ? std::string()
                                                     : codepage::utf16_to_utf8(codepage::from_ansi(
                                                           *std::get<WireText>(values[1])));
      if (!machine_.empty() && std::find(machine_.begin(), machine_.end(), machine) == machine_.end()) continue;

      if (!first_time) first_time = call.time;
      if (!fast_) {
        const double offset = (call.time - *first_time) / speed_;
        std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                  std::chrono::duration<double>(offset)));
      }
      nlohmann::ordered_json line;
      line["telegram"] = t->name;
      line["packet"] = call.packet;
      line["time"] = std::round(call.time * 1000) / 1000;  // seconds into the capture, to the millisecond
      line["machine"] = machine;
      line["status"] = call_again(bindings[call.connection], address, *t, values, error);
      if (!error.empty()) {
        print_error(error);
        return kExitUsage;
      }
      line["recorded"] = recorded_status(*t, call);
      print_line(line);
      ++replayed;
    }
    if (replayed == 0)
      print_error("no _H telegram to replay in " + file_ + " (" + std::to_string(capture.packets) + " packets, " +
                  std::to_string(capture.calls.size()) + " DCE RPC calls)");
    return kExitOk;
  }

 private:
  // The status the call gets now (the runtime's when it failed; the next call then connects anew).
  nlohmann::ordered_json call_again(std::unique_ptr<rpc::Binding>& binding, const std::string& address,
                                    const TelegramInfo& t, const std::vector<WireValue>& values, std::string& error) {
    if (!binding) {
      if (const rpc::Status s = rpc::binding_from_string_binding(address, binding); s != rpc::RPC_S_OK) {
        error = "bad host address " + address + ": status " + std::to_string(s);
        return nullptr;
      }
      (void)binding->set_com_timeout(static_cast<unsigned>(timeout_));
    }
    std::int32_t result = 0;
    const rpc::Status s = call_telegram(*binding, t, values, result);
    if (s != rpc::RPC_S_OK) {
      (void)rpc::binding_free(binding);
      return s;
    }
    if (!t.has_result) return nullptr;
    return result;
  }

  std::string file_;
  std::string host_ip_ = "127.0.0.1";
  std::int32_t host_port_ = 3010;
  double speed_ = 1.0;
  bool fast_ = false;
  std::vector<std::string> only_;
  std::vector<std::string> machine_;
  std::int32_t timeout_ = 5;
};

}  // namespace

std::unique_ptr<Command> make_replay_command() { return std::make_unique<ReplayCommand>(); }

}  // namespace tarvik::cli
