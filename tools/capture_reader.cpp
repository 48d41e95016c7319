#include "tools/capture_reader.h"

#include <pcap/pcap.h>

#include <cstring>
#include <map>
#include <memory>

#include "tools/pcap_library.h"
#include "tools/tcp_frames.h"

namespace tarvik::cli {
namespace {

// Segments that arrive before the bytes ahead of them are held back, up to this much per direction.
constexpr std::size_t kMaxHeldBytes = 4 << 20;

std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
std::uint32_t be32(const std::uint8_t* p) { return static_cast<std::uint32_t>(be16(p)) << 16 | be16(p + 2); }

// Sequence numbers compare modulo 2^32.
std::int32_t seq_diff(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }

struct TcpPacket {
  TcpEndpoint src, dst;
  std::uint32_t seq = 0;
  std::uint8_t flags = 0;
  std::span<const std::uint8_t> payload;
};

enum class Parse { tcp, other, malformed };

// One direction of a TCP connection put back in order.
struct StreamDirection {
  bool started = false;
  std::uint32_t next = 0;
  std::map<std::uint32_t, std::vector<std::uint8_t>> held;  // by sequence number
  std::size_t held_bytes = 0;
  std::size_t gap_packet = 0;  // packet where the oldest held segment arrived
};

struct Connection {
  std::size_t index = 0;
  TcpEndpoint first_sender;  // direction 0 is the side that sent first
  StreamDirection dir[2];
  std::unique_ptr<RpcConversation> rpc;
};

class Reader {
 public:
  Reader(CaptureContents& out) : out_(out) {}

  bool run(const PcapLibrary& pc, pcap_t* pcap, std::string& error) {
    link_ = pc.datalink(pcap);
    switch (link_) {
      case DLT_EN10MB: case DLT_LINUX_SLL: case DLT_LINUX_SLL2: case DLT_NULL: case DLT_LOOP:
      case DLT_RAW: case DLT_IPV4: case DLT_IPV6:
        break;
      default:
        const char* name = pc.datalink_val_to_name(link_);
        error = std::string("link type ") + (name ? name : "") +
                " (" + std::to_string(link_) + ") is not supported: Ethernet, Linux cooked, loopback or raw IP";
        return false;
    }
    for (;;) {
      pcap_pkthdr* h = nullptr;
      const std::uint8_t* data = nullptr;
      const int r = pc.next_ex(pcap, &h, &data);
      if (r == PCAP_ERROR_BREAK) return true;  // end of file
      const std::size_t number = out_.packets + 1;
      if (r != 1) {
        error = "packet " + std::to_string(number) + ": " + pc.geterr(pcap);
        return false;
      }
      out_.packets = number;
      const double time = static_cast<double>(h->ts.tv_sec) + static_cast<double>(h->ts.tv_usec) / 1e6;
      if (number == 1) start_ = time;
      if (!packet(std::span(data, h->caplen), h->len, number, time - start_, error)) return false;
    }
  }

 private:
  bool packet(std::span<const std::uint8_t> frame, std::size_t wire_len, std::size_t number, double time,
              std::string& error) {
    TcpPacket tcp;
    std::string why;
    switch (parse(frame, tcp, why)) {
      case Parse::other:
        return true;
      case Parse::malformed:
        error = "packet " + std::to_string(number) + ": " + why;
        return false;
      case Parse::tcp:
        break;
    }
    cut_short_ = frame.size() < wire_len && !tcp.payload.empty();
    if (cut_short_)
      cut_message_ = "packet " + std::to_string(number) + ": cut short (" + std::to_string(frame.size()) + " of " +
                     std::to_string(wire_len) + " bytes captured; capture with a larger snapshot length)";
    return stream(tcp, number, time, error);
  }

  Parse parse(std::span<const std::uint8_t> f, TcpPacket& out, std::string& why) {
    std::uint16_t ethertype = 0;
    std::size_t off = 0;
    switch (link_) {
      case DLT_EN10MB:
        if (f.size() < 14) return why = "Ethernet header cut short", Parse::malformed;
        ethertype = be16(&f[12]);
        off = 14;
        while ((ethertype == 0x8100 || ethertype == 0x88a8) && f.size() >= off + 4) {  // VLAN tags
          ethertype = be16(&f[off + 2]);
          off += 4;
        }
        break;
      case DLT_LINUX_SLL:
        if (f.size() < 16) return why = "Linux cooked header cut short", Parse::malformed;
        ethertype = be16(&f[14]);
        off = 16;
        break;
      case DLT_LINUX_SLL2:
        if (f.size() < 20) return why = "Linux cooked header cut short", Parse::malformed;
        ethertype = be16(&f[0]);
        off = 20;
        break;
      case DLT_NULL:
      case DLT_LOOP: {
        if (f.size() < 4) return why = "loopback header cut short", Parse::malformed;
        std::uint32_t family;
        std::memcpy(&family, f.data(), 4);
        if (link_ == DLT_LOOP || family > 0xffff) family = be32(f.data());
        if (family > 0xffff) family = __builtin_bswap32(family);
        ethertype = family == 2 ? 0x0800 : (family == 10 || family == 24 || family == 28 || family == 30) ? 0x86dd : 0;
        off = 4;
        break;
      }
      default:  // raw IP: the version nibble tells
        if (f.empty()) return Parse::other;
        ethertype = (f[0] >> 4) == 6 ? 0x86dd : 0x0800;
        break;
    }
    f = f.subspan(std::min(off, f.size()));
    if (ethertype == 0x0800) return ipv4(f, out, why);
    if (ethertype == 0x86dd) return ipv6(f, out, why);
    return Parse::other;
  }

  Parse ipv4(std::span<const std::uint8_t> f, TcpPacket& out, std::string& why) {
    if (f.size() < 20 || (f[0] >> 4) != 4) return why = "IPv4 header cut short or malformed", Parse::malformed;
    const std::size_t ihl = (f[0] & 0x0f) * 4u;
    const std::size_t total = be16(&f[2]);
    if (ihl < 20 || total < ihl) return why = "IPv4 header lengths are wrong", Parse::malformed;
    if (f[9] != 6) return Parse::other;
    if ((be16(&f[6]) & 0x3fff) != 0) return Parse::other;  // IP fragments are not put together
    if (f.size() < ihl) return why = "IPv4 header cut short", Parse::malformed;
    out.src = TcpEndpoint{};
    out.dst = TcpEndpoint{};
    std::memcpy(out.src.addr.data(), &f[12], 4);
    std::memcpy(out.dst.addr.data(), &f[16], 4);
    // Ethernet pads short frames: the IP length, not the frame, says where TCP ends.
    return tcp(f.subspan(ihl, std::min(f.size(), total) - ihl), total - ihl, out, why);
  }

  Parse ipv6(std::span<const std::uint8_t> f, TcpPacket& out, std::string& why) {
    if (f.size() < 40 || (f[0] >> 4) != 6) return why = "IPv6 header cut short or malformed", Parse::malformed;
    if (f[6] != 6) return Parse::other;  // extension headers: not between host and machines
    const std::size_t payload = be16(&f[4]);
    out.src = TcpEndpoint{true, {}, 0};
    out.dst = TcpEndpoint{true, {}, 0};
    std::memcpy(out.src.addr.data(), &f[8], 16);
    std::memcpy(out.dst.addr.data(), &f[24], 16);
    return tcp(f.subspan(40, std::min(f.size() - 40, payload)), payload, out, why);
  }

  Parse tcp(std::span<const std::uint8_t> f, std::size_t length, TcpPacket& out, std::string& why) {
    if (f.size() < 20) return why = "TCP header cut short", Parse::malformed;
    const std::size_t header = (f[12] >> 4) * 4u;
    if (header < 20 || header > length) return why = "TCP header length is wrong", Parse::malformed;
    if (f.size() < header) return why = "TCP header cut short", Parse::malformed;
    out.src.port = be16(&f[0]);
    out.dst.port = be16(&f[2]);
    out.seq = be32(&f[4]);
    out.flags = f[13];
    out.payload = f.subspan(header);
    return Parse::tcp;
  }

  bool stream(const TcpPacket& p, std::size_t number, double time, std::string& error) {
    const auto key = p.src < p.dst ? std::pair(p.src, p.dst) : std::pair(p.dst, p.src);
    auto it = connections_.find(key);
    // A SYN on a pair that already carried data is a new connection on reused ports.
    if (it != connections_.end() && (p.flags & tcp_flag::syn) && !(p.flags & tcp_flag::ack) &&
        it->second.dir[0].started) {
      connections_.erase(it);
      it = connections_.end();
    }
    if (it == connections_.end()) {
      it = connections_.emplace(key, Connection{}).first;
      Connection& c = it->second;
      c.index = out_.connections++;
      c.first_sender = p.src;
      c.rpc = std::make_unique<RpcConversation>(c.index, out_.calls);
    }
    Connection& c = it->second;
    const int d = c.first_sender == p.src ? 0 : 1;
    StreamDirection& s = c.dir[d];
    if (p.flags & tcp_flag::syn) {
      s.started = true;
      s.next = p.seq + 1;
      s.held.clear();
      s.held_bytes = 0;
      return true;
    }
    if (p.payload.empty()) return true;
    if (!s.started) {  // the capture began in the middle of this connection
      s.started = true;
      s.next = p.seq;
    }
    std::uint32_t seq = p.seq;
    std::span<const std::uint8_t> bytes = p.payload;
    const std::int32_t behind = seq_diff(s.next, seq);
    if (behind > 0) {  // a retransmission, perhaps with new bytes at its end
      if (static_cast<std::size_t>(behind) >= bytes.size()) return true;
      bytes = bytes.subspan(static_cast<std::size_t>(behind));
      seq = s.next;
    }
    if (seq != s.next) {  // early: hold it until the gap is filled
      if (s.held.empty()) s.gap_packet = number;
      auto& slot = s.held[seq];
      if (slot.size() < bytes.size()) {
        s.held_bytes += bytes.size() - slot.size();
        slot.assign(bytes.begin(), bytes.end());
      }
      if (s.held_bytes > kMaxHeldBytes) {
        error = "packet " + std::to_string(s.gap_packet) + ": bytes of the TCP stream are missing after it "
                "(the capture lost packets)";
        return false;
      }
      return true;
    }
    if (!deliver(c, d, bytes, number, time, error)) return false;
    // Held segments that now follow on.
    while (!s.held.empty()) {
      auto first = s.held.begin();
      const std::int32_t lag = seq_diff(s.next, first->first);
      if (lag < 0) break;
      std::vector<std::uint8_t> held = std::move(first->second);
      s.held_bytes -= held.size();
      s.held.erase(first);
      if (static_cast<std::size_t>(lag) < held.size() &&
          !deliver(c, d, std::span(held).subspan(static_cast<std::size_t>(lag)), number, time, error))
        return false;
    }
    return true;
  }

  bool deliver(Connection& c, int d, std::span<const std::uint8_t> bytes, std::size_t number, double time,
               std::string& error) {
    // Bytes missing from a stream of other traffic do not matter; from a DCE RPC stream they do.
    if (cut_short_ && !c.rpc->ignores(d)) return error = cut_message_, false;
    c.dir[d].next += static_cast<std::uint32_t>(bytes.size());
    return c.rpc->feed(d, bytes, number, time, error);
  }

  CaptureContents& out_;
  int link_ = 0;
  bool cut_short_ = false;  // the current packet has fewer bytes than went over the wire
  std::string cut_message_;
  double start_ = 0;
  std::map<std::pair<TcpEndpoint, TcpEndpoint>, Connection> connections_;
};

bool read_from(const PcapLibrary& pc, pcap_t* pcap, CaptureContents& out, std::string& error) {
  out = CaptureContents{};
  Reader reader(out);
  const bool ok = reader.run(pc, pcap, error);
  pc.close(pcap);
  return ok;
}

}  // namespace

bool read_capture_file(const std::string& path, CaptureContents& out, std::string& error) {
  const PcapLibrary* pc = pcap_library(error);
  if (pc == nullptr) return false;
  char message[PCAP_ERRBUF_SIZE] = "";
  pcap_t* pcap = pc->open_offline(path.c_str(), message);
  if (pcap == nullptr) return error = path + ": " + message, false;
  if (!read_from(*pc, pcap, out, error)) return error = path + ": " + error, false;
  return true;
}

bool read_capture_stream(std::FILE* file, CaptureContents& out, std::string& error) {
  const PcapLibrary* pc = pcap_library(error);
  if (pc == nullptr) {
    std::fclose(file);
    return false;
  }
  char message[PCAP_ERRBUF_SIZE] = "";
  pcap_t* pcap = pc->fopen_offline(file, message);  // owns the stream from here
  if (pcap == nullptr) {
    std::fclose(file);
    return error = message, false;
  }
  return read_from(*pc, pcap, out, error);
}

}  // namespace tarvik::cli
