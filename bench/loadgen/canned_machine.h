// A machine controller reduced to its wire: it accepts a bind of any interface with NDR 2.0 and
// answers every request with the same response stub (a telegram's result 0), echoing the call id.
// One thread per connection and blocking reads, like the raw echo it is compared with, so a round
// trip measured against it is the client's cost alone.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/raw_tcp.h"

namespace tarvik::loadgen {

class CannedMachine {
 public:
  explicit CannedMachine(std::vector<std::uint8_t> response_stub);
  std::uint16_t port() const { return server_->port(); }
  // Bytes of one response PDU.
  std::size_t response_size() const;

 private:
  void serve(int fd) const;

  std::vector<std::uint8_t> response_stub_;
  std::unique_ptr<bench::EchoServer> server_;
};

}  // namespace tarvik::loadgen
