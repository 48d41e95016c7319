// A scripted DCE RPC server on 127.0.0.1 for client tests: each accepted connection runs a script
// that reads and writes raw PDUs, so a test can play any server behaviour (or misbehaviour).
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/rpc/pdu.h"

namespace tarvik::test::scripted {

using Bytes = std::vector<std::uint8_t>;
using rpc::kHeaderSize;

// Reads n bytes; false when the client hung up or sent nothing for 10 s.
inline bool read_exact(int fd, std::uint8_t* p, std::size_t n) {
  for (ssize_t r = 0; n > 0; p += r, n -= static_cast<std::size_t>(r)) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 10'000) <= 0 || (r = recv(fd, p, n, 0)) <= 0) return false;
  }
  return true;
}
inline Bytes read_pdu(int fd) {  // empty when the client went away
  Bytes pdu(kHeaderSize);
  rpc::PduHeader h;
  if (!read_exact(fd, pdu.data(), kHeaderSize) || !rpc::decode_header(pdu, h) || h.frag_length < kHeaderSize)
    return {};
  pdu.resize(h.frag_length);
  return read_exact(fd, pdu.data() + kHeaderSize, h.frag_length - kHeaderSize) ? pdu : Bytes{};
}
// Waits until the client hangs up (true) or 10 s pass without a byte (false).
inline bool client_hung_up(int fd) {
  for (std::uint8_t byte;;) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 10'000) <= 0) return false;
    if (recv(fd, &byte, 1, 0) <= 0) return true;
  }
}
inline void write_all(int fd, const Bytes& bytes, bool trickle = false) {
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t r = send(fd, bytes.data() + at, trickle ? 1 : bytes.size() - at, MSG_NOSIGNAL);
    if (r <= 0) return;
    at += static_cast<std::size_t>(r);
  }
}
// Accepts up to `connections` connections on 127.0.0.1, one after another, running `script` on
// each; the destructor stops and joins it.
class ScriptedServer {
 public:
  ScriptedServer(std::function<void(int fd, int index)> script, int connections = 1)
      : script_(std::move(script)) {
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), len), 0);
    EXPECT_EQ(listen(listener_, 8), 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, connections] {
      for (int i = 0; i < connections && !stop_;) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept(listener_, nullptr, nullptr), one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // trickled bytes go one per segment
        ++accepted_;
        script_(fd, i++);
        close(fd);
        ++finished_;
      }
    });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string binding() const { return "ncacn_ip_tcp:127.0.0.1[" + std::to_string(port_) + "]"; }
  std::uint16_t port() const { return port_; }
  std::atomic<int> accepted_{0}, finished_{0};

 private:
  std::function<void(int, int)> script_;
  int listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarvik::test::scripted
