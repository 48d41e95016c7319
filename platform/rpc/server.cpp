// The server's API: endpoints, registration and the connection policy. The socket work is the
// driver's (server_io.h); the interfaces and the running of routines are the registry's.
#include "platform/rpc/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <mutex>
#include <set>

#include "platform/rpc/server_io.h"
#include "platform/rpc/server_registry.h"

namespace tarvik::rpc {
namespace {

struct Endpoints {
  std::mutex mutex;
  std::set<std::uint16_t> ports;  // every port this process listens on
};

Endpoints& endpoints() {
  static Endpoints* e = new Endpoints;  // never destroyed, like the endpoints themselves
  return *e;
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

  Endpoints& e = endpoints();
  std::lock_guard lock(e.mutex);
  if (port != 0 && e.ports.contains(port)) {
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
  if (!serve_listener(fd, port)) {
    ::close(fd);
    return RPC_S_OUT_OF_RESOURCES;
  }
  e.ports.insert(port);
  if (actual_port) *actual_port = port;
  return RPC_S_OK;
}

Status register_if(const ServerInterface& iface, unsigned flags, unsigned max_calls) {
  auto r = std::make_shared<Registered>();
  r->iface = iface;
  r->flags = flags;
  r->max_calls = max_calls == 0 ? kDefaultMaxCalls : max_calls;
  return server_registry().add(std::move(r)) ? RPC_S_OK : RPC_S_ALREADY_REGISTERED;
}

Status unregister_if(const SyntaxId& id, bool wait_for_calls) {
  const std::shared_ptr<Registered> r = server_registry().remove(id);
  if (!r) return RPC_S_UNKNOWN_IF;
  retire(*r, wait_for_calls);
  return RPC_S_OK;
}

Status set_connection_policy(const ConnectionPolicy& policy) { return apply_connection_policy(policy); }
ConnectionPolicy connection_policy() { return current_connection_policy(); }
ServerStats server_stats() { return current_server_stats(); }

}  // namespace tarvik::rpc
