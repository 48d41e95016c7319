// The `tarvik` binary as the command-line tests run it: argument lists, its JSON lines, telegrams as
// it prints them, and its servers (listen, machine) on a free port, ended by their destructor.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/telegram_json.h"
#include "tests/support/child_process.h"

namespace tarvik::cli {

inline std::vector<std::string> tarvik(std::vector<std::string> args) {
  args.insert(args.begin(), std::string(TARVIK_BINARY_DIR) + "/tools/tarvik");
  return args;
}

inline nlohmann::json parse_line(const std::string& text) { return nlohmann::json::parse(text, nullptr, false); }

// The values by field name as both the peer and `tarvik` print them (texts through Windows-1252).
inline nlohmann::json peer_json(const protocol::TelegramInfo& t, const std::vector<protocol::WireValue>& values) {
  nlohmann::json out = nlohmann::json::parse(protocol::telegram_to_json(t, values, 1252).dump());
  out.erase("telegram");
  out.erase("opnum");
  return out;
}

struct TarvikServer {
  // Starts `tarvik args...` and reads its first line, {"listening": port}.
  explicit TarvikServer(std::vector<std::string> args) : process(tarvik(std::move(args))) {
    const auto first = process.read_line();
    port = first ? parse_line(*first).value("listening", 0) : 0;
  }
  // The next line; null after the time-out.
  nlohmann::json next_line(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto line = process.read_line(timeout);
    return line ? parse_line(*line) : nlohmann::json(nullptr);
  }
  // Ends the server and returns the lines it printed after those already read.
  std::vector<nlohmann::json> stop() {
    process.signal(SIGTERM);
    std::vector<nlohmann::json> rest;
    while (auto line = process.read_line(std::chrono::seconds(5))) rest.push_back(parse_line(*line));
    return rest;
  }
  test::ChildProcess process;
  int port = 0;
};

}  // namespace tarvik::cli
