#include "platform/rpc/server_io.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/rpc/wire_tap.h"

namespace tarvik::rpc {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

thread_local bool t_end_when_idle = false;  // see end_thread_when_idle()

constexpr std::size_t kReadChunk = 16384;  // one read takes a whole telegram call, header and body
constexpr int kMinThreads = 2;             // kept even when idle: one waits while one serves
constexpr int kMaxThreads = 2048;          // above every sane sum of call limits
constexpr int kThreadIdleExitMs = 10'000;  // a thread beyond kMinThreads idle this long exits
constexpr int kMarkedThreadIdleMs = 200;    // a thread marked by end_thread_when_idle idle this long exits
constexpr int kAcceptBurst = 64;           // accepts per event, so one endpoint cannot starve the rest

// What an epoll event refers to: the kind in the top two bits, then 30 bits (a connection's
// generation, a listener's port) and 32 bits (a connection's slot, a listener's descriptor).
enum Kind : std::uint64_t { kConnection = 0, kListener = 1, kSweepTimer = 2 };
constexpr std::uint64_t tag(Kind kind, std::uint64_t middle, std::uint32_t low) {
  return std::uint64_t{kind} << 62 | (middle & 0x3FFFFFFF) << 32 | low;
}

// What an open connection waits for; decides its deadline and the counter its time-out bumps.
enum class Wait : std::uint8_t { first_pdu, idle, pdu, send, linger };

// Policy values read on every event: atomics, set as a whole by set_connection_policy.
struct PolicyAtoms {
  std::atomic<std::size_t> max_connections{ConnectionPolicy{}.max_connections};
  std::atomic<std::size_t> per_address{ConnectionPolicy{}.max_connections_per_address};
  std::atomic<long long> first_pdu_ms{ConnectionPolicy{}.first_pdu_timeout.count()};
  std::atomic<long long> idle_ms{ConnectionPolicy{}.idle_timeout.count()};
  std::atomic<long long> pdu_ms{ConnectionPolicy{}.pdu_timeout.count()};
  std::atomic<long long> send_ms{ConnectionPolicy{}.send_timeout.count()};
  std::atomic<long long> linger_ms{ConnectionPolicy{}.linger_timeout.count()};
};

struct StatAtoms {
  std::atomic<std::uint64_t> accepted{0}, refused_cap{0}, refused_address{0}, first_pdu{0}, idle{0}, pdu{0},
      send{0}, calls{0};
};

struct Shared {
  Registry registry;
  AssocGroups groups;
  PolicyAtoms policy;
  StatAtoms stats;
};

Shared& shared() {
  static Shared* s = new Shared;  // never destroyed: detached threads may outlive main()
  return *s;
}

milliseconds ms(const std::atomic<long long>& a) { return milliseconds(a.load(std::memory_order_relaxed)); }

// One connection. Its fields belong to the thread serving it (in_service) or, while it waits for
// an event, to whoever holds `mutex`; the mutex also carries the hand-over between threads.
struct Slot {
  std::mutex mutex;
  std::uint32_t generation = 0;  // bumped at every close, so a stale event is recognised
  bool open = false;
  bool in_service = false;
  Wait wait = Wait::first_pdu;
  Clock::time_point deadline;
  int fd = -1;
  std::uint32_t peer = 0;  // IPv4 address, network order
  Clock::time_point accepted_at;
  Clock::time_point pdu_start;
  std::optional<ServerConnection> conn;
  RegistryCache interface;
  std::vector<std::uint8_t> unsent;  // reply bytes the peer has not taken yet
  std::size_t unsent_pos = 0;
  WireAddresses wire;  // for recording tools (wire_tap.h)
};

enum class SendResult { sent, pending, failed };

class Driver {
 public:
  Driver() {
    ep_ = ::epoll_create1(EPOLL_CLOEXEC);
    timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (ep_ < 0 || timer_ < 0) return;
    set_sweep_interval();
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLONESHOT;
    ev.data.u64 = tag(kSweepTimer, 0, 0);
    if (::epoll_ctl(ep_, EPOLL_CTL_ADD, timer_, &ev) != 0) return;
    for (int i = 0; i < kMinThreads; ++i)
      if (!spawn()) return;
    ok_ = true;
  }

  bool ok() const { return ok_; }

  bool add_listener(int fd, std::uint16_t port) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLONESHOT;
    ev.data.u64 = tag(kListener, port, static_cast<std::uint32_t>(fd));
    return ::epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &ev) == 0;
  }

  // A sweep often enough that every deadline is kept to about a quarter of the shortest time-out.
  void set_sweep_interval() {
    const PolicyAtoms& p = shared().policy;
    const long long shortest = std::min({p.first_pdu_ms.load(), p.idle_ms.load(), p.pdu_ms.load(),
                                         p.send_ms.load(), p.linger_ms.load()});
    const long long every = std::clamp(shortest / 4, 10LL, 1000LL);
    itimerspec t{};
    t.it_interval.tv_sec = every / 1000;
    t.it_interval.tv_nsec = (every % 1000) * 1'000'000;
    t.it_value = t.it_interval;
    ::timerfd_settime(timer_, 0, &t, nullptr);
  }

  std::uint64_t open_connections() {
    std::lock_guard lock(admission_);
    return open_;
  }
  std::uint64_t threads() const { return static_cast<std::uint64_t>(threads_.load()); }

 private:
  bool spawn() {
    if (threads_.fetch_add(1) >= kMaxThreads) {
      threads_.fetch_sub(1);
      return false;
    }
    try {
      std::thread([this] { thread_main(); }).detach();
      return true;
    } catch (const std::system_error&) {
      threads_.fetch_sub(1);
      return false;
    }
  }

  // Routines are the only thing that may block, so the pool keeps one thread more than routines
  // running: that thread, whatever it is doing, returns to the event set soon. Checked as a routine
  // starts; a thread that leaves when idle keeps the same rule.
  void enter_routine() {
    if (in_routines_.fetch_add(1) + 1 >= threads_.load()) spawn();
  }
  void leave_routine() { in_routines_.fetch_sub(1); }

  void thread_main() {
    epoll_event ev;
    for (;;) {
      // One event at a time: a thread that goes on to run a blocking routine holds no other event.
      const int n = ::epoll_wait(ep_, &ev, 1, t_end_when_idle ? kMarkedThreadIdleMs : kThreadIdleExitMs);
      if (n == 1) {
        dispatch(ev);
      } else if (n == 0) {
        if (t_end_when_idle) return end_marked_thread();
        int t = threads_.load();
        while (t > kMinThreads && t - 1 > in_routines_.load())
          if (threads_.compare_exchange_weak(t, t - 1)) return;  // idle and not needed: leave
      }
    }
  }

  // A thread a routine marked goes on while calls keep coming and ends after a short quiet spell;
  // a fresh thread takes its place where the pool would otherwise fall below its minimum.
  void end_marked_thread() {
    t_end_when_idle = false;
    if (threads_.load() - 1 < kMinThreads) spawn();
    threads_.fetch_sub(1);
  }

  void dispatch(const epoll_event& ev) {
    const std::uint64_t data = ev.data.u64;
    const auto low = static_cast<std::uint32_t>(data);
    const auto middle = static_cast<std::uint32_t>(data >> 32 & 0x3FFFFFFF);
    switch (static_cast<Kind>(data >> 62)) {
      case kConnection:
        return serve(low, middle);
      case kListener:
        return accept_from(static_cast<int>(low), static_cast<std::uint16_t>(middle), data);
      case kSweepTimer:
        return sweep();
    }
  }

  void accept_from(int lfd, std::uint16_t port, std::uint64_t data) {
    for (int i = 0; i < kAcceptBurst; ++i) {
      sockaddr_in a{};
      socklen_t len = sizeof a;
      const int fd = ::accept4(lfd, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) {
        admit(fd, a.sin_family == AF_INET ? a.sin_addr.s_addr : 0, port);
        continue;
      }
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // Out of descriptors or memory: the waiting connection stays in the backlog and the
        // listener rests until the next sweep, while every open connection goes on being served.
        std::lock_guard lock(admission_);
        resting_listeners_.emplace_back(lfd, data);
        return;
      }
      break;
    }
    rearm_listener(lfd, data);
  }

  void rearm_listener(int lfd, std::uint64_t data) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLONESHOT;
    ev.data.u64 = data;
    ::epoll_ctl(ep_, EPOLL_CTL_MOD, lfd, &ev);
  }

  void admit(int fd, std::uint32_t peer, std::uint16_t port) {
    Shared& sh = shared();
    std::uint32_t index;
    {
      std::lock_guard lock(admission_);
      if (open_ >= sh.policy.max_connections.load()) {
        sh.stats.refused_cap.fetch_add(1);
        ::close(fd);
        return;
      }
      std::size_t& from_peer = per_address_[peer];
      if (from_peer >= sh.policy.per_address.load()) {
        sh.stats.refused_address.fetch_add(1);
        ::close(fd);
        return;
      }
      ++from_peer;
      ++open_;
      if (free_slots_.empty()) {
        index = used_slots_++;
        slots_[index].store(new Slot, std::memory_order_release);  // slots are reused, never freed
        high_water_.store(used_slots_);
      } else {
        index = free_slots_.back();
        free_slots_.pop_back();
      }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Slot& s = *slots_[index].load(std::memory_order_acquire);
    std::lock_guard lock(s.mutex);
    s.open = true;
    s.in_service = false;
    s.fd = fd;
    s.wire = {};
    s.peer = peer;
    s.accepted_at = Clock::now();
    s.wait = Wait::first_pdu;
    s.deadline = s.accepted_at + ms(sh.policy.first_pdu_ms);
    s.conn.emplace(sh.registry, sh.groups, port);
    s.unsent_pos = 0;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLONESHOT;
    ev.data.u64 = tag(kConnection, s.generation, index);
    if (::epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &ev) != 0) {
      close_locked(s, index, nullptr);
      return;
    }
    sh.stats.accepted.fetch_add(1);
  }

  // Under s.mutex: closes the socket, frees the connection's memory and its slot.
  void close_locked(Slot& s, std::uint32_t index, std::atomic<std::uint64_t>* reason) {
    ++s.generation;
    s.open = false;
    s.in_service = false;
    ::epoll_ctl(ep_, EPOLL_CTL_DEL, s.fd, nullptr);
    ::close(s.fd);
    s.fd = -1;
    s.conn.reset();
    s.interface = {};
    std::vector<std::uint8_t>().swap(s.unsent);
    if (reason) reason->fetch_add(1);
    std::lock_guard lock(admission_);
    const auto it = per_address_.find(s.peer);
    if (it != per_address_.end() && --it->second == 0) per_address_.erase(it);
    --open_;
    free_slots_.push_back(index);
  }

  void sweep() {
    std::uint64_t expirations;
    (void)!::read(timer_, &expirations, sizeof expirations);
    std::vector<std::pair<int, std::uint64_t>> resting;
    {
      std::lock_guard lock(admission_);
      resting.swap(resting_listeners_);
    }
    for (const auto& [lfd, data] : resting) rearm_listener(lfd, data);
    StatAtoms& st = shared().stats;
    const auto now = Clock::now();
    const std::uint32_t used = high_water_.load();
    for (std::uint32_t i = 0; i < used; ++i) {
      Slot* s = slots_[i].load(std::memory_order_acquire);
      if (s == nullptr) continue;
      std::lock_guard lock(s->mutex);
      if (!s->open || s->in_service || s->deadline > now) continue;
      std::atomic<std::uint64_t>* reason = nullptr;
      switch (s->wait) {
        case Wait::first_pdu: reason = &st.first_pdu; break;
        case Wait::idle: reason = &st.idle; break;
        case Wait::pdu: reason = &st.pdu; break;
        case Wait::send: reason = &st.send; break;
        case Wait::linger: break;
      }
      close_locked(*s, i, reason);
    }
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLONESHOT;
    ev.data.u64 = tag(kSweepTimer, 0, 0);
    ::epoll_ctl(ep_, EPOLL_CTL_MOD, timer_, &ev);
  }

  // Takes the connection's event: only the thread that marks it in service goes on.
  void serve(std::uint32_t index, std::uint32_t generation) {
    if (index >= slots_.size()) return;
    Slot* sp = slots_[index].load(std::memory_order_acquire);
    if (sp == nullptr) return;
    Slot& s = *sp;
    {
      std::lock_guard lock(s.mutex);
      if (!s.open || s.in_service || (s.generation & 0x3FFFFFFF) != generation) return;  // stale
      s.in_service = true;
    }
    bool alive = true;
    if (s.wait == Wait::linger) {
      alive = drain(s);
    } else if (s.unsent_pos < s.unsent.size()) {
      const SendResult r = flush_unsent(s);
      alive = r != SendResult::failed;
      if (r == SendResult::sent) alive = run_calls(s);
    } else {
      alive = read_and_run(s);
    }
    finish(s, index, alive);
  }

  // Reads what arrived (one read takes a whole call when it is there) and serves the calls in it.
  bool read_and_run(Slot& s) {
    thread_local std::vector<std::uint8_t> buffer(kReadChunk);
    for (;;) {
      const ssize_t n = ::recv(s.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      if (n <= 0) return false;  // closed (a partial PDU is simply dropped) or reset
      if (s.conn->idle()) s.pdu_start = Clock::now();
      tap_wire(s.wire, s.fd, WireDirection::received, std::span(buffer.data(), static_cast<std::size_t>(n)));
      s.conn->feed(std::span(buffer.data(), static_cast<std::size_t>(n)));
      if (!run_calls(s)) return false;
      if (s.unsent_pos < s.unsent.size() || s.conn->closing()) return true;
      if (static_cast<std::size_t>(n) < buffer.size()) return true;
    }
  }

  // Runs every call ready on the connection in order, one write per reply; stops while a reply
  // waits for the peer to read. False when the connection failed.
  bool run_calls(Slot& s) {
    thread_local std::vector<std::uint8_t> stub_out;
    ServerConnection& conn = *s.conn;
    while (std::optional<ServerCall> call = conn.take_call()) {
      shared().stats.calls.fetch_add(1, std::memory_order_relaxed);
      enter_routine();
      const CallOutcome outcome = run_routine(shared().registry, s.interface, *call, stub_out);
      leave_routine();
      conn.complete(outcome.status, stub_out, outcome.did_not_execute);
      conn.recycle_stub(std::move(call->stub));
      const SendResult r = send_output(s);
      if (r != SendResult::sent) return r == SendResult::pending;
    }
    return send_output(s) != SendResult::failed;
  }

  SendResult send_output(Slot& s) {
    const std::span<const std::uint8_t> out = s.conn->output();
    if (out.empty()) return SendResult::sent;
    ssize_t n;
    do {
      n = ::send(s.fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return SendResult::failed;
    const std::size_t sent = n < 0 ? 0 : static_cast<std::size_t>(n);
    if (sent > 0) tap_wire(s.wire, s.fd, WireDirection::sent, out.first(sent));
    if (sent == out.size()) {
      s.conn->clear_output();
      return SendResult::sent;
    }
    s.unsent.assign(out.begin() + static_cast<std::ptrdiff_t>(sent), out.end());  // the peer reads slowly
    s.unsent_pos = 0;
    s.conn->clear_output();
    return SendResult::pending;
  }

  SendResult flush_unsent(Slot& s) {
    while (s.unsent_pos < s.unsent.size()) {
      const ssize_t n = ::send(s.fd, s.unsent.data() + s.unsent_pos, s.unsent.size() - s.unsent_pos,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        tap_wire(s.wire, s.fd, WireDirection::sent,
                 std::span(s.unsent.data() + s.unsent_pos, static_cast<std::size_t>(n)));
        s.unsent_pos += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return SendResult::pending;
      } else {
        return SendResult::failed;
      }
    }
    std::vector<std::uint8_t>().swap(s.unsent);
    s.unsent_pos = 0;
    return SendResult::sent;
  }

  // After a final reply: read and discard until the peer closes (or the linger deadline), because
  // closing with unread input makes the kernel reset the connection and the peer may lose the reply.
  bool drain(Slot& s) {
    std::uint8_t sink[4096];
    for (;;) {
      const ssize_t n = ::recv(s.fd, sink, sizeof sink, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
  }

  // Hands the connection back to the event set with its next deadline, or closes it.
  void finish(Slot& s, std::uint32_t index, bool alive) {
    const PolicyAtoms& p = shared().policy;
    const auto now = Clock::now();
    std::uint32_t events = EPOLLIN;
    std::lock_guard lock(s.mutex);
    if (!alive) {
      close_locked(s, index, nullptr);
      return;
    }
    if (s.unsent_pos < s.unsent.size()) {
      if (s.wait != Wait::send) s.deadline = now + ms(p.send_ms);
      s.wait = Wait::send;
      events = EPOLLOUT;
    } else if (s.wait == Wait::linger) {
      // keeps its deadline
    } else if (s.conn->closing()) {
      ::shutdown(s.fd, SHUT_WR);
      s.wait = Wait::linger;
      s.deadline = now + ms(p.linger_ms);
    } else if (!s.conn->received_pdu()) {
      s.wait = Wait::first_pdu;
      s.deadline = s.accepted_at + ms(p.first_pdu_ms);
    } else if (s.conn->idle()) {
      s.wait = Wait::idle;
      s.deadline = now + ms(p.idle_ms);
    } else {
      s.wait = Wait::pdu;
      s.deadline = s.pdu_start + ms(p.pdu_ms);
    }
    s.in_service = false;
    epoll_event ev{};
    ev.events = events | EPOLLONESHOT;
    ev.data.u64 = tag(kConnection, s.generation, index);
    if (::epoll_ctl(ep_, EPOLL_CTL_MOD, s.fd, &ev) != 0) close_locked(s, index, nullptr);
  }

  bool ok_ = false;
  int ep_ = -1;
  int timer_ = -1;
  std::atomic<int> threads_{0};
  std::atomic<int> in_routines_{0};  // threads inside a routine (which may block)
  std::array<std::atomic<Slot*>, kMaxServerConnections> slots_{};
  std::atomic<std::uint32_t> high_water_{0};
  std::mutex admission_;  // the counts and the free slots below; taken after a slot's mutex, never before
  std::uint32_t used_slots_ = 0;
  std::vector<std::uint32_t> free_slots_;
  std::unordered_map<std::uint32_t, std::size_t> per_address_;
  std::size_t open_ = 0;
  std::vector<std::pair<int, std::uint64_t>> resting_listeners_;  // accept failed for want of resources
};

// The connection cap is only real if the process may hold that many descriptors: the usual soft
// limit of 1024 would make accept fail long before 4096, for every peer alike. Raised (never
// lowered) up to the hard limit, with room for the program's own files.
void raise_descriptor_limit() {
  constexpr rlim_t kWanted = kMaxServerConnections + 1024;
  rlimit r{};
  if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur >= kWanted) return;
  r.rlim_cur = r.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, r.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &r);
}

std::mutex driver_mutex;
Driver* driver_instance = nullptr;  // under driver_mutex; created with the first endpoint, never destroyed

Driver* driver() {
  std::lock_guard lock(driver_mutex);
  return driver_instance;
}

}  // namespace

Registry& server_registry() { return shared().registry; }

bool serve_listener(int fd, std::uint16_t port) {
  std::lock_guard lock(driver_mutex);
  if (driver_instance == nullptr) {
    raise_descriptor_limit();
    auto* d = new Driver;
    if (!d->ok()) return false;  // leaked on purpose: its threads (if any) may still run
    driver_instance = d;
  }
  return driver_instance->add_listener(fd, port);
}

Status apply_connection_policy(const ConnectionPolicy& policy) {
  const auto positive = [](milliseconds t) { return t.count() > 0; };
  if (policy.max_connections == 0 || policy.max_connections > kMaxServerConnections ||
      policy.max_connections_per_address == 0 || policy.max_connections_per_address > kMaxServerConnections ||
      !positive(policy.first_pdu_timeout) || !positive(policy.idle_timeout) || !positive(policy.pdu_timeout) ||
      !positive(policy.send_timeout) || !positive(policy.linger_timeout))
    return ERROR_INVALID_PARAMETER;
  PolicyAtoms& p = shared().policy;
  p.max_connections = policy.max_connections;
  p.per_address = policy.max_connections_per_address;
  p.first_pdu_ms = policy.first_pdu_timeout.count();
  p.idle_ms = policy.idle_timeout.count();
  p.pdu_ms = policy.pdu_timeout.count();
  p.send_ms = policy.send_timeout.count();
  p.linger_ms = policy.linger_timeout.count();
  if (Driver* d = driver()) d->set_sweep_interval();
  return RPC_S_OK;
}

ConnectionPolicy current_connection_policy() {
  const PolicyAtoms& p = shared().policy;
  return ConnectionPolicy{p.max_connections.load(), p.per_address.load(), ms(p.first_pdu_ms), ms(p.idle_ms),
                          ms(p.pdu_ms),             ms(p.send_ms),        ms(p.linger_ms)};
}

ServerStats current_server_stats() {
  const StatAtoms& st = shared().stats;
  ServerStats out;
  out.accepted = st.accepted.load();
  out.refused_connection_cap = st.refused_cap.load();
  out.refused_address_limit = st.refused_address.load();
  out.closed_first_pdu_timeout = st.first_pdu.load();
  out.closed_idle_timeout = st.idle.load();
  out.closed_pdu_timeout = st.pdu.load();
  out.closed_send_timeout = st.send.load();
  out.calls = st.calls.load();
  if (Driver* d = driver()) {
    out.open_connections = d->open_connections();
    out.threads = d->threads();
  }
  return out;
}

void end_thread_when_idle() { t_end_when_idle = true; }

}  // namespace tarvik::rpc
