// loopback_demo: our RPC client calls our RPC server on 127.0.0.1 through a small relay that prints
// every PDU that crosses the wire (type, call id, flags, length and the bytes in hex).
//
// It registers a demonstration interface whose procedure 0 takes (text, text, long) and answers a
// long, like a telegram, and calls it twice on one connection: a short call and a call with a
// 6000-byte text, which travels as several request fragments.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/rpc/client.h"
#include "platform/rpc/ndr.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/server.h"

using namespace tarvik::rpc;

namespace {

const SyntaxId kDemoIf{*Uuid::parse("3f1c2a10-7d2e-4b8a-9c11-5a0b6e7d8f90"), 1, 0};

int listen_loopback(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 1) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    return -1;
  port = ntohs(addr.sin_port);
  return fd;
}

int connect_loopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
  return fd;
}

// Prints every complete PDU in `pending` and keeps the incomplete rest for later.
void print_pdus(const char* direction, std::vector<std::uint8_t>& pending) {
  for (;;) {
    PduHeader h;
    if (!decode_header(pending, h) || h.frag_length < kHeaderSize || pending.size() < h.frag_length) return;
    std::printf("%s %-18s call_id=%u flags=0x%02x frag_length=%u\n", direction, pdu_type_name(h.type), h.call_id,
                h.flags, h.frag_length);
    const std::size_t shown = h.frag_length > 96 ? 96 : h.frag_length;
    for (std::size_t i = 0; i < shown; ++i)
      std::printf("%s%02x", i % 16 == 0 ? (i ? "\n    " : "    ") : " ", pending[i]);
    if (shown < h.frag_length) std::printf("\n    ... %u more bytes", h.frag_length - static_cast<unsigned>(shown));
    std::printf("\n");
    pending.erase(pending.begin(), pending.begin() + h.frag_length);
  }
}

// Forwards one connection both ways until either side closes, printing what passes.
void relay(int listen_fd, std::uint16_t server_port) {
  const int client = ::accept(listen_fd, nullptr, nullptr);
  const int server = connect_loopback(server_port);
  if (client < 0 || server < 0) return;
  std::vector<std::uint8_t> to_server, to_client;
  pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
  std::uint8_t buf[8192];
  for (;;) {
    if (::poll(fds, 2, 5000) <= 0) break;
    bool closed = false;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
      if (n <= 0) {
        closed = true;
        break;
      }
      auto& pending = i == 0 ? to_server : to_client;
      pending.insert(pending.end(), buf, buf + n);
      print_pdus(i == 0 ? "client -> server" : "server -> client", pending);
      std::fflush(stdout);  // printed before it is forwarded, so the trace reads in wire order
      ::send(fds[1 - i].fd, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL);
    }
    if (closed) break;
  }
  ::close(client);
  ::close(server);
}

std::uint32_t demo_routine(const CallInfo& call, std::span<const std::uint8_t> stub, std::vector<std::uint8_t>& out) {
  NdrReader r(stub, call.byte_order);
  std::string host, machine;
  std::int32_t order;
  if (r.read_string(host) != RPC_S_OK || r.read_string(machine) != RPC_S_OK || !r.read_i32(order))
    return nca::s_fault_ndr;
  std::printf("server routine: host=\"%.20s%s\" (%zu bytes) machine=\"%s\" order=%d -> answers %d\n",
              host.c_str(), host.size() > 20 ? "..." : "", host.size(), machine.c_str(), order, order * 2);
  NdrWriter(out).write_i32(order * 2);
  return 0;
}

int call_once(Binding& binding, const std::string& host, std::int32_t order) {
  std::vector<std::uint8_t> stub, out;
  NdrWriter w(stub);
  w.write_string(host);
  w.write_string("MC01");
  w.write_i32(order);
  const Status s = binding.call(kDemoIf, 0, stub, out);
  std::int32_t result = 0;
  NdrReader r(out, ByteOrder::little);
  if (s == RPC_S_OK && r.read_i32(result))
    std::printf("client: call returned %d\n\n", result);
  else
    std::printf("client: call failed with status %d %s\n\n", s, std::string(status_name(s)).c_str());
  return s;
}

}  // namespace

int main() {
  std::uint16_t server_port = 0, relay_port = 0;
  if (Status s = use_protseq_ep("ncacn_ip_tcp", RPC_C_PROTSEQ_MAX_REQS_DEFAULT, "0", &server_port); s != RPC_S_OK) {
    std::fprintf(stderr, "loopback_demo: cannot open an endpoint: %d\n", s);
    return 1;
  }
  if (register_if(ServerInterface{kDemoIf, {demo_routine}}, RPC_IF_AUTOLISTEN | RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH,
                  1234) != RPC_S_OK)
    return 1;
  const int relay_fd = listen_loopback(relay_port);
  if (relay_fd < 0) return 1;
  std::printf("server listening on 127.0.0.1:%u, relay on 127.0.0.1:%u\n\n", server_port, relay_port);
  std::thread relay_thread(relay, relay_fd, server_port);

  std::string sb;
  string_binding_compose({"", "ncacn_ip_tcp", "127.0.0.1", std::to_string(relay_port), ""}, sb);
  std::printf("client binds to %s\n", sb.c_str());
  std::unique_ptr<Binding> binding;
  int rc = 0;
  if (binding_from_string_binding(sb, binding) != RPC_S_OK) return 1;
  rc |= call_once(*binding, "HOST01", 7);
  rc |= call_once(*binding, std::string(6000, 'H'), 21);
  binding_free(binding);
  relay_thread.join();
  ::close(relay_fd);
  unregister_if(kDemoIf, true);
  return rc == 0 ? 0 : 1;
}
