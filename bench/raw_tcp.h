// Raw TCP baselines for the benchmarks: the same byte counts as an RPC call, without RPC.
//
// EchoServer answers every `request_size` bytes it reads with `response_size` bytes, one thread per
// connection, on 127.0.0.1 (or runs another per-connection loop given to it). RawClient sends
// `request_size` bytes and waits for `response_size`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvik::bench {

// Blocking whole reads and writes; false when the connection ends or fails.
bool read_exact(int fd, std::uint8_t* p, std::size_t n);
bool write_all(int fd, const std::uint8_t* p, std::size_t n);

class EchoServer {
 public:
  EchoServer(std::size_t request_size, std::size_t response_size);
  // Runs `serve` on its own thread for every accepted connection (the descriptor stays owned here).
  explicit EchoServer(std::function<void(int fd)> serve);
  ~EchoServer();
  EchoServer(const EchoServer&) = delete;
  EchoServer& operator=(const EchoServer&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  void accept_loop();
  std::function<void(int fd)> serve_;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> conn_fds_;
  std::vector<std::thread> workers_;
};

class RawClient {
 public:
  RawClient(std::uint16_t port, std::size_t request_size, std::size_t response_size);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  // One round trip; false if the connection failed.
  bool round_trip();

 private:
  int fd_ = -1;
  std::vector<std::uint8_t> request_;
  std::vector<std::uint8_t> response_;
};

}  // namespace tarvik::bench
