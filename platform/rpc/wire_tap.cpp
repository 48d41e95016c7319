#include "platform/rpc/wire_tap.h"

namespace tarvik::rpc {

void set_wire_tap(WireTap tap) { wire_tap_detail::g_tap.store(tap, std::memory_order_release); }

namespace wire_tap_detail {

namespace {
std::atomic<std::uint64_t> g_next_connection_id{1};
}  // namespace

void deliver(WireTap tap, WireAddresses& addresses, int fd, WireDirection dir, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (!addresses.known) {
    WireConnection& conn = addresses.conn;
    socklen_t len = sizeof conn.local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&conn.local), &len) != 0) return;
    len = sizeof conn.remote;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&conn.remote), &len) != 0) return;
    conn.id = g_next_connection_id.fetch_add(1, std::memory_order_relaxed);
    addresses.known = true;
  }
  tap(addresses.conn, dir, bytes);
}

}  // namespace wire_tap_detail
}  // namespace tarvik::rpc
