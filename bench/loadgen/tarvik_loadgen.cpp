// tarvik_loadgen: an out-of-process load generator for the host side, and the raw TCP echo it is
// compared with.
//
//   tarvik_loadgen run --port P --connections 8 --seconds 3 [--telegram R_MESSAGE_H] [FIELD=VALUE ...]
//   tarvik_loadgen run --port P --raw --raw-response 28 ...   (against `tarvik_loadgen echo`)
//   tarvik_loadgen echo --request 105 --response 28           (prints {"listening":PORT}; ends on SIGINT/SIGTERM)
//   tarvik_loadgen machine [--telegram C_ORDER_M]              (a canned machine; prints {"listening":PORT})
//   tarvik_loadgen sizes [--telegram T] [FIELD=VALUE ...]      (prints the request and response PDU sizes)
//
// `run` builds the bind and one request PDU once, then makes calls back to back on every connection
// and prints one JSON line: calls, calls/s, median and p99 latency, failures, byte counts. In raw
// mode it sends the same request bytes without a bind and waits for --raw-response bytes each.
// `machine` answers binds and every request with the telegram's result 0 (bench/loadgen/canned_machine.h):
// the far end for measuring a host program's sending path.
#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "bench/loadgen/canned_machine.h"
#include "bench/loadgen/load_pdus.h"
#include "bench/loadgen/load_run.h"
#include "bench/raw_tcp.h"
#include "platform/rpc/pdu.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_table.h"

namespace {

using namespace tarvik;

int run(const loadgen::LoadPlan& base, bool raw, const std::string& telegram, const std::vector<std::string>& fields) {
  loadgen::LoadPlan plan = base;
  loadgen::LoadPdus pdus;
  std::string error;
  if (!loadgen::build_pdus(telegram, fields, pdus, error)) {
    std::fprintf(stderr, "tarvik_loadgen: %s\n", error.c_str());
    return 2;
  }
  plan.request = pdus.request;
  if (!raw) plan.bind = pdus.bind;
  const loadgen::LoadResult r = loadgen::run_load(plan);
  if (!r.error.empty()) {
    std::fprintf(stderr, "tarvik_loadgen: %s\n", r.error.c_str());
    return 3;
  }
  nlohmann::ordered_json line{{"target", raw ? "raw" : "rpc"},
                              {"telegram", telegram},
                              {"connections", plan.connections},
                              {"calls", r.calls},
                              {"failures", r.failures},
                              {"seconds", r.seconds},
                              {"calls_per_s", r.seconds > 0 ? static_cast<double>(r.calls) / r.seconds : 0.0},
                              {"median_us", r.median_us},
                              {"p99_us", r.p99_us},
                              {"request_bytes", plan.request.size()},
                              {"response_bytes", r.response_size}};
  std::printf("%s\n", line.dump().c_str());
  return r.failures == 0 ? 0 : 1;
}

std::vector<std::uint8_t> result_stub(const protocol::TelegramInfo& t) {
  std::vector<std::uint8_t> stub;
  protocol::marshal_response(t, 0, stub);
  return stub;
}

int sizes(const std::string& telegram, const std::vector<std::string>& fields) {
  loadgen::LoadPdus pdus;
  std::string error;
  if (!loadgen::build_pdus(telegram, fields, pdus, error)) {
    std::fprintf(stderr, "tarvik_loadgen: %s\n", error.c_str());
    return 2;
  }
  const std::size_t response = rpc::kResponseHeaderSize + result_stub(*protocol::find_telegram(telegram)).size();
  std::printf("{\"telegram\":\"%s\",\"request_bytes\":%zu,\"response_bytes\":%zu}\n", telegram.c_str(),
              pdus.request.size(), response);
  return 0;
}

// Serves until SIGINT or SIGTERM; `start` makes the server (after the signals are blocked, so its
// threads inherit the mask) and returns its port.
template <class Start>
int serve_until_signal(Start start) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  auto server = start();
  std::printf("{\"listening\":%u}\n", server->port());
  std::fflush(stdout);
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Load generator for the host side, and its raw TCP echo baseline"};
  app.require_subcommand(1);

  loadgen::LoadPlan plan;
  bool raw = false;
  std::string telegram = "R_MESSAGE_H";
  // 105-byte request, 28-byte response: the size of a short status message from a machine.
  std::vector<std::string> fields{"pszHost=HOST01", "pszMachine=MC01", "pszMessage=hi"};
  auto* run_cmd = app.add_subcommand("run", "Make calls on N connections and print the figures as JSON");
  run_cmd->add_option("--address", plan.address, "Server address (127.0.0.x)")->capture_default_str();
  run_cmd->add_option("--port", plan.port, "Server port")->required();
  run_cmd->add_option("--connections", plan.connections, "Connections, each one call at a time")
      ->capture_default_str()->check(CLI::Range(1, 4000));
  run_cmd->add_option("--seconds", plan.seconds, "Stop sending after this long")->capture_default_str()
      ->check(CLI::Range(0.1, 600.0));
  run_cmd->add_option("--max-calls", plan.max_calls, "Stop sending after this many calls")->capture_default_str();
  run_cmd->add_option("--telegram", telegram, "Telegram to call")->capture_default_str();
  run_cmd->add_flag("--raw", raw, "Raw mode: no bind, wait for --raw-response bytes per request");
  run_cmd->add_option("--raw-response", plan.raw_response_size, "Bytes that answer one request in raw mode")
      ->capture_default_str();
  run_cmd->add_option("fields", fields, "NAME=VALUE fields (replace the defaults)");

  std::size_t request = 105, response = 28;
  auto* echo_cmd = app.add_subcommand("echo", "Raw TCP echo: answer every REQUEST bytes with RESPONSE bytes");
  echo_cmd->add_option("--request", request)->capture_default_str()->check(CLI::Range(1, 65536));
  echo_cmd->add_option("--response", response)->capture_default_str()->check(CLI::Range(1, 65536));

  std::string canned = "C_ORDER_M";
  auto* machine_cmd = app.add_subcommand("machine", "A canned machine: accepts any bind, answers every call with 0");
  machine_cmd->add_option("--telegram", canned, "Telegram whose result stub answers every request")->capture_default_str();

  std::string sized = "R_MESSAGE_H";
  std::vector<std::string> sized_fields{"pszHost=HOST01", "pszMachine=MC01", "pszMessage=hi"};
  auto* sizes_cmd = app.add_subcommand("sizes", "Print a telegram's request and response PDU sizes as JSON");
  sizes_cmd->add_option("--telegram", sized, "Telegram")->capture_default_str();
  sizes_cmd->add_option("fields", sized_fields, "NAME=VALUE fields (replace the defaults)");

  CLI11_PARSE(app, argc, argv);
  if (*echo_cmd)
    return serve_until_signal([&] { return std::make_unique<bench::EchoServer>(request, response); });
  if (*sizes_cmd) return sizes(sized, sized_fields);
  if (*machine_cmd) {
    const protocol::TelegramInfo* t = protocol::find_telegram(canned);
    if (t == nullptr) {
      std::fprintf(stderr, "tarvik_loadgen: unknown telegram: %s\n", canned.c_str());
      return 2;
    }
    return serve_until_signal([&] { return std::make_unique<loadgen::CannedMachine>(result_stub(*t)); });
  }
  if (raw && plan.raw_response_size == 0) plan.raw_response_size = 28;
  return run(plan, raw, telegram, fields);
}
