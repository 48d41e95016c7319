// The independent DCE RPC peer (rpcpeer.py on impacket) as tests use it: servers on free loopback
// ports whose calls are read back as JSON lines, and one-shot clients.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.h"

namespace tarvik::test {

// {python, rpcpeer.py, args...}
std::vector<std::string> peer_command(std::vector<std::string> args);

// `rpcpeer.py serve-machine` or `serve-host` on a free port of 127.0.0.1, stopped by the destructor.
class PeerServer {
 public:
  // role: "machine" or "host"; `options` are added to the command line (--status, --delay-ms ...).
  explicit PeerServer(const std::string& role, std::vector<std::string> options = {});
  ~PeerServer();
  std::uint16_t port() const { return port_; }
  // The next call the peer served, as its JSON line; a null json after the time-out.
  nlohmann::json next_call(std::chrono::milliseconds timeout = 20s);
  ChildProcess& process() { return *process_; }

 private:
  std::string port_file_;
  std::unique_ptr<ChildProcess> process_;
  std::uint16_t port_ = 0;
};

// `rpcpeer.py call-ROLE --port P TELEGRAM --json VALUES [extra...]`: the parsed output line (or
// {"error": ...} when there is none) and the exit code in "exit".
nlohmann::json peer_call(const std::string& role, std::uint16_t port, const std::string& telegram,
                         const nlohmann::json& values, std::vector<std::string> extra = {});

// A loopback port that nothing listens on right now.
std::uint16_t unused_port();

}  // namespace tarvik::test
