// Runs the independent DCE RPC peer (rpcpeer.py) as a child process for interop tests.
//
// The child is started with posix_spawn, its stdout and stderr are collected until it exits, and
// it is always reaped; a child still running after `limit` is killed (the result then says so).
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace tarvik::rpc::testing {

struct PeerResult {
  int exit_code = -1;  // -1 when it did not exit normally (killed, failed to start)
  bool timed_out = false;
  std::string out;
  std::string err;
};

// Runs `TARVIK_PYTHON TARVIK_PEER_DIR/rpcpeer.py args...` to completion.
PeerResult run_peer(const std::vector<std::string>& args,
                    std::chrono::seconds limit = std::chrono::seconds(90));

}  // namespace tarvik::rpc::testing
