// The wire tap reports bytes with their connection's addresses also when the peer has reset the
// connection before the tap ran (a client that closes at once after reading its answer): the
// addresses found at the connection's first tap are kept, so a recording loses no PDU.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "platform/rpc/wire_tap.h"

namespace tarvik::rpc {
namespace {

struct Seen {
  std::uint16_t local_port;
  std::uint16_t remote_port;
  WireDirection dir;
  std::size_t size;
};

std::mutex g_mutex;
std::vector<Seen> g_seen;

std::uint16_t port_of(const sockaddr_storage& a) {
  return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
}

void record(const WireConnection& conn, WireDirection dir, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(g_mutex);
  g_seen.push_back({port_of(conn.local), port_of(conn.remote), dir, bytes.size()});
}

std::uint16_t local_port(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

bool has_peer(int fd) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  return ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
}

TEST(WireTap, BytesAfterThePeerResetKeepTheAddressesOfTheFirstTap) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  addr.sin_port = htons(local_port(listener));
  const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(server, 0);
  const std::uint16_t server_port = local_port(server);
  const std::uint16_t client_port = local_port(client);

  g_seen.clear();
  set_wire_tap(&record);
  const std::uint8_t pdu[16] = {5, 0};
  WireAddresses kept;
  tap_wire(kept, server, WireDirection::received, pdu);

  // The client resets the connection; the server's socket then has no peer any more.
  const linger reset{1, 0};
  ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(client);
  pollfd p{server, POLLIN, 0};
  for (int i = 0; i < 100 && has_peer(server); ++i) ::poll(&p, 1, 20);
  ASSERT_FALSE(has_peer(server)) << "the reset did not arrive";

  tap_wire(kept, server, WireDirection::sent, std::span(pdu).first(8));
  WireAddresses fresh;  // a connection whose first tap comes only now: nothing can be reported
  tap_wire(fresh, server, WireDirection::sent, pdu);
  set_wire_tap(nullptr);

  ASSERT_EQ(g_seen.size(), 2u);
  for (const Seen& s : g_seen) {
    EXPECT_EQ(s.local_port, server_port);
    EXPECT_EQ(s.remote_port, client_port);
  }
  EXPECT_EQ(g_seen[0].dir, WireDirection::received);
  EXPECT_EQ(g_seen[1].dir, WireDirection::sent);
  EXPECT_EQ(g_seen[1].size, 8u);
  ::close(server);
  ::close(listener);
}

}  // namespace
}  // namespace tarvik::rpc
