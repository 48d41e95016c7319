#include "bench/loadgen/load_run.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarvik::loadgen {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSetupTimeout = std::chrono::seconds(10);
constexpr auto kDrainTimeout = std::chrono::seconds(10);  // replies still due after sending stopped

struct Conn {
  int fd = -1;
  std::size_t got = 0;  // bytes of the current reply
  Clock::time_point sent_at;
  bool waiting = false;
  std::vector<std::uint8_t> reply;
};

bool wait_ready(int fd, short events, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  pollfd p{fd, events, 0};
  return left > 0 && ::poll(&p, 1, static_cast<int>(left)) > 0;
}

bool send_all(int fd, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!wait_ready(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool read_exact(int fd, std::uint8_t* p, std::size_t n, Clock::time_point deadline) {
  while (n > 0) {
    if (!wait_ready(fd, POLLIN, deadline)) return false;
    const ssize_t got = ::recv(fd, p, n, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return false;
    if (got > 0) {
      p += got;
      n -= static_cast<std::size_t>(got);
    }
  }
  return true;
}

// One whole PDU (by its frag_length); empty on failure.
std::vector<std::uint8_t> read_pdu(int fd, Clock::time_point deadline) {
  std::vector<std::uint8_t> pdu(16);
  if (!read_exact(fd, pdu.data(), 16, deadline)) return {};
  const std::size_t len = pdu[8] | (pdu[9] << 8);
  if (len < 16) return {};
  pdu.resize(len);
  if (!read_exact(fd, pdu.data() + 16, len - 16, deadline)) return {};
  return pdu;
}

// A response PDU whose stub is empty or starts with the result 0 (little-endian).
bool is_success(const std::uint8_t* pdu, std::size_t size) {
  if (size < 24 || pdu[2] != 2) return false;
  if (size < 28) return true;
  return pdu[24] == 0 && pdu[25] == 0 && pdu[26] == 0 && pdu[27] == 0;
}

int connect_to(const LoadPlan& plan) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(plan.port);
  if (::inet_pton(AF_INET, plan.address.c_str(), &a.sin_addr) != 1 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Connects, binds and makes one call untimed; learns the reply size from it.
bool set_up(const LoadPlan& plan, Conn& c, std::size_t& response_size, std::string& error) {
  const auto deadline = Clock::now() + kSetupTimeout;
  c.fd = connect_to(plan);
  if (c.fd < 0) {
    error = "cannot connect to " + plan.address + ":" + std::to_string(plan.port) + ": " + std::strerror(errno);
    return false;
  }
  const bool raw = plan.bind.empty();
  if (!raw) {
    if (!send_all(c.fd, plan.bind, deadline)) return error = "bind not sent", false;
    const auto ack = read_pdu(c.fd, deadline);
    if (ack.size() < 16 || ack[2] != 12) return error = "no bind_ack", false;
  }
  if (!send_all(c.fd, plan.request, deadline)) return error = "first request not sent", false;
  std::vector<std::uint8_t> reply;
  if (raw) {
    reply.resize(plan.raw_response_size);
    if (!read_exact(c.fd, reply.data(), reply.size(), deadline)) return error = "no raw reply", false;
  } else {
    reply = read_pdu(c.fd, deadline);
    if (!is_success(reply.data(), reply.size()))
      return error = "first call did not answer a response with result 0", false;
  }
  if (response_size != 0 && reply.size() != response_size) return error = "replies differ in size", false;
  response_size = reply.size();
  c.reply.resize(response_size);
  return true;
}

double percentile(std::vector<std::uint32_t>& ns, double q) {
  if (ns.empty()) return 0;
  const std::size_t k = std::min(ns.size() - 1, static_cast<std::size_t>(q * static_cast<double>(ns.size())));
  std::nth_element(ns.begin(), ns.begin() + static_cast<std::ptrdiff_t>(k), ns.end());
  return ns[k] / 1000.0;
}

}  // namespace

LoadResult run_load(const LoadPlan& plan) {
  LoadResult result;
  std::vector<Conn> conns(plan.connections);
  const auto close_all = [&] {
    for (Conn& c : conns)
      if (c.fd >= 0) ::close(c.fd);
  };
  for (Conn& c : conns) {
    if (!set_up(plan, c, result.response_size, result.error)) {
      close_all();
      return result;
    }
  }
  const int ep = ::epoll_create1(EPOLL_CLOEXEC);
  for (std::size_t i = 0; i < conns.size(); ++i) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = i;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, conns[i].fd, &ev);
  }
  const bool raw = plan.bind.empty();
  std::vector<std::uint32_t> latencies;
  latencies.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(plan.max_calls, 20'000'000)));
  std::uint64_t started = 0;
  unsigned waiting = 0;

  const auto start = Clock::now();
  const auto stop_sending = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(plan.seconds));
  const auto send_next = [&](Conn& c, Clock::time_point now) {
    if (started >= plan.max_calls || now >= stop_sending) return;
    c.sent_at = now;
    c.got = 0;
    if (!send_all(c.fd, plan.request, now + kSetupTimeout)) {
      ++result.failures;
      return;
    }
    c.waiting = true;
    ++waiting;
    ++started;
  };
  for (Conn& c : conns) send_next(c, Clock::now());

  epoll_event events[256];
  Clock::time_point now = Clock::now();
  while (waiting > 0 && now < stop_sending + kDrainTimeout) {
    const int n = ::epoll_wait(ep, events, 256, 100);
    now = Clock::now();
    for (int i = 0; i < n; ++i) {
      Conn& c = conns[events[i].data.u64];
      if (!c.waiting) continue;
      const ssize_t got = ::recv(c.fd, c.reply.data() + c.got, c.reply.size() - c.got, MSG_DONTWAIT);
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (got <= 0) {  // the server closed or reset the connection
        ++result.failures;
        c.waiting = false;
        --waiting;
        ::epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
        continue;
      }
      c.got += static_cast<std::size_t>(got);
      if (c.got < c.reply.size()) continue;
      c.waiting = false;
      --waiting;
      if (raw || is_success(c.reply.data(), c.reply.size())) {
        ++result.calls;
        if (latencies.size() < latencies.capacity())
          latencies.push_back(static_cast<std::uint32_t>(
              std::min<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - c.sent_at).count(),
                                  0xFFFFFFFF)));
      } else {
        ++result.failures;
      }
      send_next(c, now);
    }
  }
  result.seconds = std::chrono::duration<double>(now - start).count();
  result.failures += waiting;  // replies that never came
  ::close(ep);
  close_all();
  result.median_us = percentile(latencies, 0.5);
  result.p99_us = percentile(latencies, 0.99);
  return result;
}

}  // namespace tarvik::loadgen
