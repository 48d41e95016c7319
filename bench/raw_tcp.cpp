#include "bench/raw_tcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tarvik::bench {

bool read_exact(int fd, std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t got = ::recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
    if (put <= 0) return false;
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

namespace {

void no_delay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

EchoServer::EchoServer(std::size_t request_size, std::size_t response_size)
    : EchoServer([request_size, response_size](int fd) {
        std::vector<std::uint8_t> request(request_size), response(response_size, 0x5a);
        while (read_exact(fd, request.data(), request.size()) && write_all(fd, response.data(), response.size())) {
        }
      }) {}

EchoServer::EchoServer(std::function<void(int fd)> serve) : serve_(std::move(serve)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 128) != 0 || ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("echo server: cannot listen on 127.0.0.1");
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

EchoServer::~EchoServer() {
  stopping_ = true;
  ::shutdown(listen_fd_, SHUT_RDWR);
  acceptor_.join();
  ::close(listen_fd_);
  {
    std::lock_guard lock(mutex_);
    for (int fd : conn_fds_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& t : workers_) t.join();
  for (int fd : conn_fds_) ::close(fd);
}

void EchoServer::accept_loop() {
  while (!stopping_) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) return;
      continue;
    }
    no_delay(fd);
    std::lock_guard lock(mutex_);
    conn_fds_.push_back(fd);
    workers_.emplace_back([this, fd] { serve_(fd); });
  }
}

RawClient::RawClient(std::uint16_t port, std::size_t request_size, std::size_t response_size)
    : request_(request_size, 0xa5), response_(response_size) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("raw client: cannot connect");
  no_delay(fd_);
}

RawClient::~RawClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawClient::round_trip() {
  return write_all(fd_, request_.data(), request_.size()) && read_exact(fd_, response_.data(), response_.size());
}

}  // namespace tarvik::bench
