// The client side of a load run: N connections to 127.0.0.x:port, each sending one request and
// waiting for its whole response before the next (as a machine does), all driven by one epoll loop
// so that the generator itself costs one thread whatever N is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::loadgen {

struct LoadPlan {
  std::string address = "127.0.0.1";
  std::uint16_t port = 0;
  unsigned connections = 8;
  double seconds = 3.0;            // stop sending after this long
  std::uint64_t max_calls = 5'000'000;  // or after this many calls in all
  std::vector<std::uint8_t> bind;  // sent once per connection before the clock starts; empty: raw mode
  std::vector<std::uint8_t> request;
  std::size_t raw_response_size = 0;  // raw mode: bytes that answer one request
};

struct LoadResult {
  std::uint64_t calls = 0;       // complete responses received in the timed part
  std::uint64_t failures = 0;    // connections lost, or replies that were not a response with result 0
  double seconds = 0;
  double median_us = 0;
  double p99_us = 0;
  std::size_t response_size = 0;
  std::string error;  // set when the run could not start (connect, bind or first call failed)
};

LoadResult run_load(const LoadPlan& plan);

}  // namespace tarvik::loadgen
