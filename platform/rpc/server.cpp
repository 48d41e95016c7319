// The socket driver of the server: listening endpoints, one thread per connection, the interface
// registry and the call limit.
//
// Why a thread per connection: a host serves tens of machines, each connection carries one call at
// a time, and routines may block (they do the host program's work). A thread per connection runs
// routines of different connections at once without a separate worker pool, keeps a slow routine
// or a slow peer confined to its own connection, and keeps the driver a short blocking loop around
// the sans-I/O ServerConnection. Connections are capped (kMaxConnections) so a flood of peers
// cannot exhaust threads; each wait is bounded (idle, per-PDU, send) so a silent or trickling peer
// only holds its own thread, and only for a while.
//
// The server is process-wide and never torn down: endpoints stay open for the life of the process
// (as host programs expect), and its state is allocated once and never destroyed, so detached
// threads never see a destroyed object while the process exits.
#include "platform/rpc/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/rpc/server_connection.h"
#include "platform/rpc/wire_tap.h"

namespace tarvik::rpc {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxConnections = 4096;
constexpr auto kIdleTimeout = std::chrono::minutes(5);    // between calls
constexpr auto kPduTimeout = std::chrono::seconds(30);    // first byte of a PDU (or call) to its last
constexpr auto kSendTimeout = std::chrono::seconds(30);   // a peer that stops reading its replies
constexpr auto kLingerTimeout = std::chrono::seconds(2);  // to let a final fault reach the peer
constexpr unsigned kDefaultMaxCalls = 1234;               // used when a caller passes 0

// One registered interface. Calls in progress are counted so that unregistering can wait for them.
struct Registered {
  ServerInterface iface;
  unsigned flags = 0;
  unsigned max_calls = kDefaultMaxCalls;
  std::mutex mutex;
  std::condition_variable calls_done;
  unsigned active = 0;
  bool removed = false;
};

// The interface currently running a routine on this thread (to let a routine unregister its own
// interface without waiting for itself).
thread_local const Registered* t_running = nullptr;

class Registry final : public InterfaceLookup {
 public:
  std::optional<SyntaxId> find(const SyntaxId& requested) const override {
    std::lock_guard lock(mutex_);
    std::optional<SyntaxId> best;
    for (const auto& r : entries_) {
      if (version_compatible(r->iface.id, requested) && (!best || r->iface.id.minor > best->minor)) {
        best = r->iface.id;
      }
    }
    return best;
  }
  std::optional<std::size_t> opnum_count(const SyntaxId& id) const override {
    const auto r = get(id);
    if (!r) return std::nullopt;
    return r->iface.routines.size();
  }
  std::shared_ptr<Registered> get(const SyntaxId& id) const {
    std::lock_guard lock(mutex_);
    for (const auto& r : entries_)
      if (r->iface.id == id) return r;
    return nullptr;
  }
  bool add(std::shared_ptr<Registered> r) {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
      if (e->iface.id == r->iface.id) return false;
    entries_.push_back(std::move(r));
    return true;
  }
  std::shared_ptr<Registered> remove(const SyntaxId& id) {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if ((*it)->iface.id == id) {
        auto r = std::move(*it);
        entries_.erase(it);
        return r;
      }
    }
    return nullptr;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Registered>> entries_;
};

struct ServerState {
  Registry registry;
  AssocGroups groups;
  std::mutex endpoints_mutex;
  std::set<std::uint16_t> ports;  // every port this process listens on
  std::atomic<std::size_t> connections{0};
};

ServerState& state() {
  static ServerState* s = new ServerState;  // never destroyed: threads may outlive main()
  return *s;
}

// Waits until fd is ready for `events` or the deadline passes; false on time-out or error.
bool wait_for(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60'000)));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

bool send_all(int fd, std::span<const std::uint8_t> bytes) {
  const auto deadline = Clock::now() + kSendTimeout;
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      tap_wire(fd, WireDirection::sent, bytes.first(static_cast<std::size_t>(n)));
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd, POLLOUT, deadline)) return false;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

// Closes after a final reply: stop sending, then read and discard until the peer closes (briefly),
// because closing with unread input makes the kernel reset the connection and the peer may lose
// the reply.
void close_gracefully(int fd) {
  ::shutdown(fd, SHUT_WR);
  const auto deadline = Clock::now() + kLingerTimeout;
  std::uint8_t sink[4096];
  while (wait_for(fd, POLLIN, deadline)) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
  ::close(fd);
}

// Runs one call's routine within the interface's call limit and hands the result back.
void run_call(ServerConnection& conn, const ServerCall& call) {
  const std::shared_ptr<Registered> reg = state().registry.get(call.iface);
  if (!reg) {
    conn.complete(nca::s_unk_if, {}, true);
    return;
  }
  const Routine* routine =
      call.opnum < reg->iface.routines.size() ? &reg->iface.routines[call.opnum] : nullptr;
  if (!routine || !*routine) {
    conn.complete(nca::s_op_rng_error, {}, true);
    return;
  }
  {
    std::lock_guard lock(reg->mutex);
    if (reg->removed) {
      conn.complete(nca::s_unk_if, {}, true);
      return;
    }
    if (reg->active >= reg->max_calls) {
      conn.complete(nca::s_server_too_busy, {}, true);
      return;
    }
    ++reg->active;
  }
  std::vector<std::uint8_t> out;
  std::uint32_t status;
  t_running = reg.get();
  try {
    status = (*routine)(CallInfo{call.opnum, call.byte_order, call.call_id}, call.stub, out);
  } catch (...) {
    status = nca::s_fault_unspec;  // a routine's exception fails its call, not the server
  }
  t_running = nullptr;
  {
    std::lock_guard lock(reg->mutex);
    --reg->active;
    reg->calls_done.notify_all();
  }
  conn.complete(status, out);
}

void serve_connection(int fd, std::uint16_t port) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ServerState& s = state();
  bool graceful = false;
  {
    ServerConnection conn(s.registry, s.groups, port);
    std::vector<std::uint8_t> buf(16384);
    Clock::time_point pdu_start{};
    for (;;) {
      const auto deadline = conn.idle() ? Clock::now() + kIdleTimeout : pdu_start + kPduTimeout;
      if (!wait_for(fd, POLLIN, deadline)) break;
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // closed (a partial PDU is simply dropped) or reset
      if (conn.idle()) pdu_start = Clock::now();
      tap_wire(fd, WireDirection::received, std::span(buf.data(), static_cast<std::size_t>(n)));
      conn.feed(std::span(buf.data(), static_cast<std::size_t>(n)));
      bool sent = true;
      while (auto call = conn.take_call()) {
        run_call(conn, *call);
        if (!(sent = send_all(fd, conn.take_output()))) break;
      }
      if (!sent || !send_all(fd, conn.take_output())) break;
      if (conn.closing()) {
        graceful = true;
        break;
      }
    }
  }
  if (graceful) {
    close_gracefully(fd);
  } else {
    ::close(fd);
  }
  s.connections.fetch_sub(1);
}

void accept_loop(int listen_fd, std::uint16_t port) {
  ServerState& s = state();
  for (;;) {
    const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR && errno != ECONNABORTED) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // out of descriptors: back off
      }
      continue;
    }
    if (s.connections.fetch_add(1) >= kMaxConnections) {
      s.connections.fetch_sub(1);
      ::close(fd);  // over the cap: refuse by closing
      continue;
    }
    try {
      std::thread(serve_connection, fd, port).detach();
    } catch (const std::system_error&) {
      s.connections.fetch_sub(1);
      ::close(fd);
    }
  }
}

bool parse_port(std::string_view text, std::uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace

Status use_protseq_ep(std::string_view protseq, unsigned /*max_calls*/, std::string_view endpoint,
                      std::uint16_t* actual_port) {
  if (protseq != "ncacn_ip_tcp") return RPC_S_PROTSEQ_NOT_SUPPORTED;
  std::uint16_t port;
  if (!parse_port(endpoint, port)) return RPC_S_INVALID_ENDPOINT_FORMAT;

  ServerState& s = state();
  std::lock_guard lock(s.endpoints_mutex);
  if (port != 0 && s.ports.contains(port)) {
    if (actual_port) *actual_port = port;
    return RPC_S_DUPLICATE_ENDPOINT;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return RPC_S_OUT_OF_RESOURCES;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);  // machines call in from the network
  addr.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, SOMAXCONN) != 0) {
    ::close(fd);  // typically another program holds the port
    return RPC_S_CANT_CREATE_ENDPOINT;
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  try {
    std::thread(accept_loop, fd, port).detach();
  } catch (const std::system_error&) {
    ::close(fd);
    return RPC_S_OUT_OF_RESOURCES;
  }
  s.ports.insert(port);
  if (actual_port) *actual_port = port;
  return RPC_S_OK;
}

Status register_if(const ServerInterface& iface, unsigned flags, unsigned max_calls) {
  auto r = std::make_shared<Registered>();
  r->iface = iface;
  r->flags = flags;
  r->max_calls = max_calls == 0 ? kDefaultMaxCalls : max_calls;
  return state().registry.add(std::move(r)) ? RPC_S_OK : RPC_S_ALREADY_REGISTERED;
}

Status unregister_if(const SyntaxId& id, bool wait_for_calls) {
  const std::shared_ptr<Registered> r = state().registry.remove(id);
  if (!r) return RPC_S_UNKNOWN_IF;
  std::unique_lock lock(r->mutex);
  r->removed = true;  // calls not yet started are refused from now on
  if (wait_for_calls) {
    const unsigned own = t_running == r.get() ? 1 : 0;  // a routine unregistering its own interface
    r->calls_done.wait(lock, [&] { return r->active <= own; });
  }
  return RPC_S_OK;
}

}  // namespace tarvik::rpc
