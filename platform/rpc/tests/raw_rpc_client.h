// What the server's socket tests share: a hand-driven RPC client that sends PDUs, reads whole PDUs
// back and can connect from any loopback address to play several peers; test interfaces; an echo
// endpoint; and a routine that blocks until released.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/rpc/pdu.h"
#include "platform/rpc/server.h"
#include "tests/support/scripted_server.h"

namespace tarvik::rpc::test_client {

using Bytes = std::vector<std::uint8_t>;

// A hand-driven client: sends PDUs and reads whole PDUs back.
class RawClient {
 public:
  // Connects to 127.0.0.1:port from `source` (any 127.x.y.z: all loopback), so that tests can play
  // several peer addresses.
  explicit RawClient(std::uint16_t port, const char* source = "127.0.0.1") : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from), 0) << source;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  ~RawClient() { ::close(fd_); }
  void send(const Bytes& b) { EXPECT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size())); }
  // True when the server closed (or reset) the connection within `wait`, without sending anything.
  bool closed_by_server(std::chrono::milliseconds wait) {
    pollfd pf{fd_, POLLIN, 0};
    if (::poll(&pf, 1, static_cast<int>(wait.count())) <= 0) return false;
    std::uint8_t b;
    return ::recv(fd_, &b, 1, MSG_DONTWAIT) <= 0;
  }
  int fd() const { return fd_; }
  // One PDU, or an empty vector once the server has closed the connection.
  Bytes read_pdu() { return test::scripted::read_pdu(fd_); }
  // Binds `iface` on context 0 and returns the result of that context.
  std::uint16_t bind(const SyntaxId& iface) {
    Bytes b;
    encode_bind(b, PduType::bind, 0x03, 1, BindPdu{.contexts = {{0, iface, {kNdr20Syntax}}}});
    send(b);
    const Bytes ack = read_pdu();
    PduHeader h;
    BindAckPdu a;
    if (!decode_header(ack, h) || !decode_bind_ack(ack, h, a) || a.results.empty()) return 0xFFFF;
    return a.results[0].result;
  }
  void send_request(std::uint32_t call_id, std::uint16_t opnum, const Bytes& stub = {}) {
    Bytes r;
    encode_request(r, 0x03, call_id, RequestPdu{std::uint32_t(stub.size()), 0, opnum, std::nullopt, stub});
    send(r);
  }
  // The fault status of the reply, or 0 for a response.
  std::uint32_t reply_status() {
    const Bytes p = read_pdu();
    PduHeader h;
    FaultPdu f;
    if (!decode_header(p, h)) return 0xDEAD;
    if (h.type == static_cast<std::uint8_t>(PduType::response)) return 0;
    EXPECT_TRUE(decode_fault(p, h, f));
    return f.status;
  }

 private:
  int fd_;
};

inline SyntaxId test_iface(std::uint32_t n) { return SyntaxId{Uuid{n, 0x1234, 0x11d0, {1, 2, 3, 4, 5, 6, 7, 8}}, 1, 0}; }

// Routines that block until released, counting how many are inside at once.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  int inside = 0;
  bool open = false;
  Routine routine() {
    return [this](const CallInfo&, std::span<const std::uint8_t>, Bytes& out) -> std::uint32_t {
      std::unique_lock lock(m);
      ++inside;
      cv.notify_all();
      cv.wait(lock, [&] { return open; });
      out = {1, 0, 0, 0};
      return 0;
    };
  }
  // False when fewer than n are inside after `wait`.
  bool wait_inside(int n, std::chrono::seconds wait = std::chrono::seconds(10)) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, wait, [&] { return inside >= n; });
  }
  void release() {
    std::lock_guard lock(m);
    open = true;
    cv.notify_all();
  }
};

// An endpoint serving an interface whose opnum 0 echoes its stub and opnum 1 answers `big` bytes
// counting up from 0 (mod 251).
struct EchoServer {
  SyntaxId id;
  std::uint16_t port = 0;
  explicit EchoServer(std::uint32_t n, std::size_t big = 0) : id(test_iface(n)) {
    EXPECT_EQ(use_protseq_ep("ncacn_ip_tcp", RPC_C_PROTSEQ_MAX_REQS_DEFAULT, "0", &port), RPC_S_OK);
    const Routine echo = [](const CallInfo&, std::span<const std::uint8_t> stub, Bytes& out) -> std::uint32_t {
      out.assign(stub.begin(), stub.end());
      return 0;
    };
    const Routine large = [big](const CallInfo&, std::span<const std::uint8_t>, Bytes& out) -> std::uint32_t {
      out.resize(big);
      for (std::size_t i = 0; i < big; ++i) out[i] = static_cast<std::uint8_t>(i % 251);
      return 0;
    };
    EXPECT_EQ(register_if({id, {echo, large}}, 0, 10), RPC_S_OK);
  }
  ~EchoServer() { EXPECT_EQ(unregister_if(id, true), RPC_S_OK); }
  // A fresh connection from `source` binds and makes one echo call.
  bool serves(const char* source) {
    RawClient c(port, source);
    if (c.bind(id) != ctx::acceptance) return false;
    c.send_request(1, 0, {1, 2, 3, 4});
    return c.reply_status() == 0;
  }
  // The same, retried while the server is still closing connections given up by the test.
  bool serves_soon(const char* source) {
    for (int i = 0; i < 100; ++i) {
      if (serves(source)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

}  // namespace tarvik::rpc::test_client
