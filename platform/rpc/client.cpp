// The socket driver of the client: binding handles over TCP around ClientConnection.
//
// Everything a call does on the wire (connect, bind, send, receive) happens inside one poll loop
// bounded by one deadline taken from the binding's time-out level, so no peer can hold the caller
// longer than the level allows. Statuses for transport failures follow one rule: before any byte
// of the request has been handed to the socket the call cannot have run (1722); afterwards nobody
// knows (1726).
#include "platform/rpc/client.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>

#include "platform/rpc/client_connection.h"
#include "platform/rpc/wire_tap.h"

namespace tarvik::rpc {
namespace {

using Clock = std::chrono::steady_clock;

class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds limit)
      : unlimited_(limit.count() == 0), at_(Clock::now() + limit) {}

  // Milliseconds for poll(): -1 without a limit, 0 once the deadline has passed.
  int poll_timeout() const {
    if (unlimited_) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 1'000'000'000 ? 1'000'000'000 : static_cast<int>(left);
  }
  bool passed() const { return !unlimited_ && Clock::now() >= at_; }

 private:
  bool unlimited_;
  Clock::time_point at_;
};

// Making a binding does not look at the address: like the Windows runtime, it contacts nobody, and
// an address that names no computer ("?", "bad host") fails the call with 1722 when the connection
// is made. Only a zero byte is refused, since the resolver would silently take a shorter name.
bool usable_network_address(std::string_view a) { return a.find('\0') == std::string_view::npos; }

bool parse_port(std::string_view text, std::uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

class TcpBinding final : public Binding {
 public:
  TcpBinding(std::string host, std::uint16_t port, std::optional<Uuid> object)
      : host_(std::move(host)), port_(port), object_(object) {}
  ~TcpBinding() override { disconnect(); }
  TcpBinding(const TcpBinding&) = delete;
  TcpBinding& operator=(const TcpBinding&) = delete;

  Status set_com_timeout(unsigned level) override {
    if (level > kInfiniteTimeout) return RPC_S_INVALID_TIMEOUT;
    level_ = level;
    return RPC_S_OK;
  }
  unsigned com_timeout() const override { return level_; }
  bool connected() const override { return fd_ >= 0; }

  using Binding::call;
  Status call(const SyntaxId& iface, std::uint16_t opnum, std::span<const std::uint8_t> stub_in,
              std::vector<std::uint8_t>& stub_out, ByteOrder& stub_order) override {
    stub_out.clear();
    stub_order = ByteOrder::little;
    const Deadline deadline(timeout_for_level(level_));

    if (fd_ >= 0 && !(conn_->reusable() && conn_->interface_id() == iface && idle_connection_intact())) {
      disconnect();  // a new interface or a connection the server gave up: start afresh
    }
    if (fd_ < 0) {
      if (Status s = connect_and_bind(iface, deadline); s != RPC_S_OK) {
        disconnect();
        return s;
      }
    }

    std::vector<std::uint8_t> out;
    if (!conn_->begin_call(opnum, stub_in, out)) {
      disconnect();
      return RPC_S_CALL_FAILED_DNE;
    }
    const Exchange x = exchange(out, deadline);
    const bool request_complete = x.bytes_sent == out.size();
    Status s = RPC_S_OK;
    if (x.transport_failed) {
      s = x.bytes_sent == 0 ? RPC_S_SERVER_UNAVAILABLE : RPC_S_CALL_FAILED;
    } else {
      s = conn_->status();
      if (s == RPC_S_OK) {
        stub_out = conn_->take_response();
        stub_order = conn_->response_byte_order();
      }
    }
    // A server that answered before taking the whole request has left it unread in the stream.
    if (s != RPC_S_OK || !request_complete || !conn_->reusable()) disconnect();
    return s;
  }

 private:
  struct Exchange {
    bool transport_failed = false;  // closed, reset, timed out: the protocol step did not finish
    std::size_t bytes_sent = 0;
  };

  Status connect_and_bind(const SyntaxId& iface, const Deadline& deadline) {
    if (Status s = connect_tcp(deadline); s != RPC_S_OK) return s;
    conn_.emplace(iface, object_);
    std::vector<std::uint8_t> out;
    conn_->begin_bind(out);
    const Exchange x = exchange(out, deadline);
    // Nothing of the call has left yet, so a lost or silent connection means "unavailable".
    if (x.transport_failed) return RPC_S_SERVER_UNAVAILABLE;
    if (conn_->status() == RPC_S_OK && x.bytes_sent != out.size()) return RPC_S_PROTOCOL_ERROR;
    return conn_->status();
  }

  Status connect_tcp(const Deadline& deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const std::string host = host_.empty() ? "127.0.0.1" : host_;
    const std::string service = std::to_string(port_);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || list == nullptr) {
      return RPC_S_SERVER_UNAVAILABLE;
    }
    for (const addrinfo* ai = list; ai != nullptr && fd_ < 0; ai = ai->ai_next) {
      if (deadline.passed()) break;
      const int fd = socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
      if (fd < 0) continue;
      if (connect_one(fd, ai->ai_addr, ai->ai_addrlen, deadline)) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // requests are small and waited for
        fd_ = fd;
        wire_ = {};
      } else {
        close(fd);
      }
    }
    freeaddrinfo(list);
    return fd_ >= 0 ? RPC_S_OK : RPC_S_SERVER_UNAVAILABLE;
  }

  static bool connect_one(int fd, const sockaddr* addr, socklen_t len, const Deadline& deadline) {
    if (connect(fd, addr, len) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd, POLLOUT, 0};
    int r;
    do {
      r = poll(&p, 1, deadline.poll_timeout());
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
    int err = 0;
    socklen_t err_len = sizeof err;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &err_len) == 0 && err == 0;
  }

  // Sends `out` and feeds whatever arrives to the connection until it has finished its step (or
  // the transport fails). A send is tried at once and polled for only when the socket is full;
  // reading while still sending lets an early fault from the server end the step.
  Exchange exchange(const std::vector<std::uint8_t>& out, const Deadline& deadline) {
    Exchange x;
    std::uint8_t buffer[16 * 1024];
    bool writable = true;
    while (true) {
      if (deadline.passed()) return transport_failure(x);
      const bool sending = x.bytes_sent < out.size();
      if (sending && writable) {
        const ssize_t n = send(fd_, out.data() + x.bytes_sent, out.size() - x.bytes_sent, MSG_NOSIGNAL);
        if (n > 0) {
          tap_wire(wire_, fd_, WireDirection::sent, std::span(out.data() + x.bytes_sent, static_cast<std::size_t>(n)));
          x.bytes_sent += static_cast<std::size_t>(n);
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return transport_failure(x);
        writable = false;
      }
      pollfd p{fd_, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
      const int r = poll(&p, 1, deadline.poll_timeout());
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return transport_failure(x);  // deadline passed (or poll failed)
      writable = (p.revents & POLLOUT) != 0;
      if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) return transport_failure(x);
        tap_wire(wire_, fd_, WireDirection::received, std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
        const auto progress = conn_->feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
        if (progress != ClientConnection::Progress::need_more) return x;
      }
    }
  }

  static Exchange transport_failure(Exchange x) {
    x.transport_failed = true;
    return x;
  }

  // True when an idle connection has nothing waiting: no end of stream, no reset and no bytes the
  // server sent unasked (which could otherwise be taken for the next call's answer).
  bool idle_connection_intact() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
  }

  void disconnect() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    conn_.reset();
  }

  std::string host_;  // "" = this computer
  std::uint16_t port_;
  std::optional<Uuid> object_;
  unsigned level_ = kDefaultTimeout;
  int fd_ = -1;
  WireAddresses wire_;  // fd_'s addresses for recording tools (wire_tap.h)
  std::optional<ClientConnection> conn_;  // engaged exactly while fd_ is open
};

}  // namespace

Status Binding::call(const SyntaxId& iface, std::uint16_t opnum, std::span<const std::uint8_t> stub_in,
                     std::vector<std::uint8_t>& stub_out) {
  ByteOrder order = ByteOrder::little;
  const Status s = call(iface, opnum, stub_in, stub_out, order);
  // A big-endian stub cannot be turned little-endian without knowing its types.
  if (s == RPC_S_OK && order != ByteOrder::little && !stub_out.empty()) {
    stub_out.clear();
    return RPC_S_PROTOCOL_ERROR;
  }
  return s;
}

Status binding_from_string_binding(std::string_view string_binding, std::unique_ptr<Binding>& out) {
  out.reset();
  StringBindingParts parts;
  if (Status s = string_binding_parse(string_binding, parts); s != RPC_S_OK) return s;
  if (parts.protseq != "ncacn_ip_tcp") return RPC_S_PROTSEQ_NOT_SUPPORTED;
  if (!usable_network_address(parts.network_address)) return RPC_S_INVALID_NET_ADDR;
  std::uint16_t port = 0;
  if (!parse_port(parts.endpoint, port)) return RPC_S_INVALID_ENDPOINT_FORMAT;
  std::optional<Uuid> object;
  if (!parts.object_uuid.empty()) object = Uuid::parse(parts.object_uuid);  // checked by the parser
  out = std::make_unique<TcpBinding>(std::move(parts.network_address), port, object);
  return RPC_S_OK;
}

Status binding_free(std::unique_ptr<Binding>& binding) {
  if (!binding) return RPC_S_INVALID_BINDING;
  binding.reset();
  return RPC_S_OK;
}

}  // namespace tarvik::rpc
