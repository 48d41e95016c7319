// tarvik_loadgen: an out-of-process load generator for the host side, and the raw TCP echo it is
// compared with.
//
//   tarvik_loadgen run --port P --connections 8 --seconds 3 [--telegram R_MESSAGE_H] [FIELD=VALUE ...]
//   tarvik_loadgen run --port P --raw --raw-response 28 ...   (against `tarvik_loadgen echo`)
//   tarvik_loadgen echo --request 105 --response 28           (prints {"listening":PORT}; ends on SIGINT/SIGTERM)
//
// `run` builds the bind and one request PDU once, then makes calls back to back on every connection
// and prints one JSON line: calls, calls/s, median and p99 latency, failures, byte counts. In raw
// mode it sends the same request bytes without a bind and waits for --raw-response bytes each.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "bench/loadgen/load_pdus.h"
#include "bench/loadgen/load_run.h"
#include "bench/raw_tcp.h"

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

int echo(std::size_t request, std::size_t response) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);  // before the echo server starts its threads
  bench::EchoServer server(request, response);
  std::printf("{\"listening\":%u}\n", server.port());
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

  CLI11_PARSE(app, argc, argv);
  if (*echo_cmd) return echo(request, response);
  if (raw && plan.raw_response_size == 0) plan.raw_response_size = 28;
  return run(plan, raw, telegram, fields);
}
