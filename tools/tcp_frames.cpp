#include "tools/tcp_frames.h"

#include <netinet/in.h>

#include <cstring>

namespace tarvik::cli {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v >> 16));
  put16(out, static_cast<std::uint16_t>(v));
}
void set16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v >> 8);
  out[at + 1] = static_cast<std::uint8_t>(v);
}

// The Internet checksum's running sum over big-endian 16-bit words.
std::uint32_t sum_words(std::span<const std::uint8_t> bytes, std::uint32_t sum = 0) {
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
  if (bytes.size() % 2) sum += static_cast<std::uint32_t>(bytes.back() << 8);
  return sum;
}
std::uint16_t fold(std::uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

}  // namespace

TcpEndpoint endpoint_from(const sockaddr_storage& sa) {
  TcpEndpoint e;
  if (sa.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(sa);
    std::memcpy(e.addr.data(), &in.sin_addr, 4);
    e.port = ntohs(in.sin_port);
  } else if (sa.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(sa);
    e.port = ntohs(in6.sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
      std::memcpy(e.addr.data(), in6.sin6_addr.s6_addr + 12, 4);
    } else {
      e.v6 = true;
      std::memcpy(e.addr.data(), in6.sin6_addr.s6_addr, 16);
    }
  }
  return e;
}

std::vector<std::uint8_t> ethernet_frame(const TcpSegment& s) {
  const bool v6 = s.src.v6;
  const std::size_t addr_len = v6 ? 16 : 4;
  const std::size_t tcp_len = 20 + s.payload.size();
  std::vector<std::uint8_t> f;
  f.reserve(14 + 40 + tcp_len);
  // Locally administered MAC addresses; the analyser only needs the type.
  for (std::uint8_t b : {0x02, 0, 0, 0, 0, 0x02, 0x02, 0, 0, 0, 0, 0x01}) f.push_back(b);
  put16(f, v6 ? 0x86dd : 0x0800);

  const std::size_t ip_at = f.size();
  if (v6) {
    put32(f, 0x60000000);
    put16(f, static_cast<std::uint16_t>(tcp_len));
    f.push_back(6);   // next header: TCP
    f.push_back(64);  // hop limit
  } else {
    f.push_back(0x45);
    f.push_back(0);
    put16(f, static_cast<std::uint16_t>(20 + tcp_len));
    put16(f, 0);       // identification
    put16(f, 0x4000);  // don't fragment
    f.push_back(64);
    f.push_back(6);
    put16(f, 0);  // header checksum, below
  }
  f.insert(f.end(), s.src.addr.begin(), s.src.addr.begin() + static_cast<std::ptrdiff_t>(addr_len));
  f.insert(f.end(), s.dst.addr.begin(), s.dst.addr.begin() + static_cast<std::ptrdiff_t>(addr_len));
  if (!v6) set16(f, ip_at + 10, fold(sum_words(std::span(f).subspan(ip_at, 20))));

  const std::size_t tcp_at = f.size();
  put16(f, s.src.port);
  put16(f, s.dst.port);
  put32(f, s.seq);
  put32(f, s.ack);
  f.push_back(5 << 4);  // header length: 20 bytes, no options
  f.push_back(s.flags);
  put16(f, 65535);  // window
  put16(f, 0);      // checksum, below
  put16(f, 0);      // urgent pointer
  f.insert(f.end(), s.payload.begin(), s.payload.end());

  // Pseudo-header: addresses, protocol, TCP length.
  std::uint32_t sum = sum_words(std::span(s.src.addr.data(), addr_len));
  sum = sum_words(std::span(s.dst.addr.data(), addr_len), sum);
  sum += 6 + static_cast<std::uint32_t>(tcp_len & 0xffff) + static_cast<std::uint32_t>(tcp_len >> 16);
  sum = sum_words(std::span(f).subspan(tcp_at), sum);
  set16(f, tcp_at + 16, fold(sum));
  return f;
}

}  // namespace tarvik::cli
