// An observer of every byte the runtime's socket drivers send and receive, for tools that record
// traffic (`tarvik ... --pcap FILE`). One process-wide callback, unset by default; when unset a tap
// point costs one relaxed atomic load and a branch.
//
//   rpc::set_wire_tap(&my_tap);   // a function that lives as long as the process may call it
//   ...
//   rpc::set_wire_tap(nullptr);   // tap points already running may still finish their call
//
// The callback runs on the runtime's threads (several at once), right after the bytes went to or
// came from the socket, so it sees each connection's bytes in stream order. It must not throw.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <span>

namespace tarvik::rpc {

enum class WireDirection : std::uint8_t { sent, received };

// The connection, as this side sees it: its own address and the peer's (sockaddr_in or _in6), and a
// number of its own, so that a later connection between the same addresses and ports is told apart.
struct WireConnection {
  sockaddr_storage local{};
  sockaddr_storage remote{};
  std::uint64_t id = 0;  // from 1, one per connection in this process
};

using WireTap = void (*)(const WireConnection& conn, WireDirection dir, std::span<const std::uint8_t> bytes);

void set_wire_tap(WireTap tap);

// A connection's addresses, looked up at its first tap and kept for the rest of it: a peer that
// resets the connection right after our send leaves the socket without a peer address, and those
// bytes must still be recorded. One per connection, reset when the socket is a new connection.
struct WireAddresses {
  WireConnection conn;
  bool known = false;
};

namespace wire_tap_detail {
inline std::atomic<WireTap> g_tap{nullptr};
// Calls `tap` with the connection's addresses, looking them up first if `addresses` has none yet;
// nothing when they cannot be had.
void deliver(WireTap tap, WireAddresses& addresses, int fd, WireDirection dir, std::span<const std::uint8_t> bytes);
}  // namespace wire_tap_detail

// A tap point: `bytes` just went over socket `fd` (addresses cached in `addresses`) in direction `dir`.
inline void tap_wire(WireAddresses& addresses, int fd, WireDirection dir, std::span<const std::uint8_t> bytes) {
  if (const WireTap tap = wire_tap_detail::g_tap.load(std::memory_order_relaxed)) [[unlikely]]
    wire_tap_detail::deliver(tap, addresses, fd, dir, bytes);
}

}  // namespace tarvik::rpc
