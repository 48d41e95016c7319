// A hand-driven RPC client for the server's socket tests: sends PDUs, reads whole PDUs back, and
// can connect from any loopback address to play several peers.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "platform/rpc/pdu.h"

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
  Bytes read_pdu() {
    Bytes pdu(kHeaderSize);
    if (!read_exact(pdu.data(), kHeaderSize)) return {};
    PduHeader h;
    EXPECT_TRUE(decode_header(pdu, h));
    pdu.resize(std::max<std::size_t>(h.frag_length, kHeaderSize));
    if (!read_exact(pdu.data() + kHeaderSize, pdu.size() - kHeaderSize)) return {};
    return pdu;
  }
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
  bool read_exact(std::uint8_t* p, std::size_t n) {
    while (n > 0) {
      pollfd pf{fd_, POLLIN, 0};
      if (::poll(&pf, 1, 30'000) <= 0) return false;  // safety net only: the server answers at once
      const ssize_t got = ::recv(fd_, p, n, 0);
      if (got <= 0) return false;
      p += got;
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }
  int fd_;
};

}  // namespace tarvik::rpc::test_client
