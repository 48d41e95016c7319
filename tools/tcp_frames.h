// Synthetic Ethernet/IP/TCP frames around bytes a connection carried, so that a capture written by
// us opens in the usual network analysers as if it had been taken on the wire: real addresses and
// ports, consistent sequence and acknowledgement numbers, valid checksums.
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvik::cli {

namespace tcp_flag {
inline constexpr std::uint8_t fin = 0x01;
inline constexpr std::uint8_t syn = 0x02;
inline constexpr std::uint8_t rst = 0x04;
inline constexpr std::uint8_t psh = 0x08;
inline constexpr std::uint8_t ack = 0x10;
}  // namespace tcp_flag

// An IPv4 or IPv6 address with a port. IPv4 uses the first four bytes of `addr`.
struct TcpEndpoint {
  bool v6 = false;
  std::array<std::uint8_t, 16> addr{};
  std::uint16_t port = 0;

  bool operator==(const TcpEndpoint&) const = default;
  auto operator<=>(const TcpEndpoint&) const = default;
};

// From a socket address; IPv4-mapped IPv6 addresses become IPv4.
TcpEndpoint endpoint_from(const sockaddr_storage& sa);

struct TcpSegment {
  TcpEndpoint src;
  TcpEndpoint dst;
  std::uint32_t seq = 0;
  std::uint32_t ack = 0;
  std::uint8_t flags = tcp_flag::ack;
  std::span<const std::uint8_t> payload;
};

// Largest payload one frame carries (an Ethernet MSS); longer runs of bytes are cut into several
// segments, as they would be on the wire.
inline constexpr std::size_t kMaxSegmentPayload = 1460;

// One Ethernet II frame holding the segment (src and dst must be of the same family).
std::vector<std::uint8_t> ethernet_frame(const TcpSegment& segment);

}  // namespace tarvik::cli
