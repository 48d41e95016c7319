#include "tools/capture_recorder.h"

#include <sys/time.h>

#include <map>
#include <mutex>
#include <utility>

#include "platform/rpc/wire_tap.h"
#include "tools/output.h"
#include "tools/pcap_library.h"
#include "tools/tcp_frames.h"

namespace tarvik::cli {
namespace {

// One recorded connection. Side 0 is the client (the first to send), side 1 the server.
struct Stream {
  std::uint64_t id = 0;  // the runtime's number of the connection (rpc::WireConnection::id)
  TcpEndpoint end[2];
  std::uint32_t next_seq[2];
};

class Recorder {
 public:
  bool open(const std::string& path, std::string& error) {
    std::lock_guard lock(mu_);
    if (dumper_ != nullptr) return error = "a capture is already being recorded", false;
    pc_ = pcap_library(error);
    if (pc_ == nullptr) return false;
    pcap_ = pc_->open_dead(DLT_EN10MB, 262144);
    if (pcap_ == nullptr) return error = "libpcap cannot make a capture handle", false;
    dumper_ = pc_->dump_open(pcap_, path.c_str());
    if (dumper_ == nullptr) {
      error = "cannot write capture " + path + ": " + pc_->geterr(pcap_);
      pc_->close(pcap_);
      pcap_ = nullptr;
      return false;
    }
    streams_.clear();
    streams_made_ = 0;
    return true;
  }

  void close() {
    std::lock_guard lock(mu_);
    if (dumper_ != nullptr) pc_->dump_close(dumper_);
    if (pcap_ != nullptr) pc_->close(pcap_);
    dumper_ = nullptr;
    pcap_ = nullptr;
  }

  void record(const rpc::WireConnection& conn, rpc::WireDirection dir, std::span<const std::uint8_t> bytes) {
    const TcpEndpoint local = endpoint_from(conn.local);
    const TcpEndpoint remote = endpoint_from(conn.remote);
    const TcpEndpoint from = dir == rpc::WireDirection::sent ? local : remote;
    const TcpEndpoint to = dir == rpc::WireDirection::sent ? remote : local;
    timeval now;
    gettimeofday(&now, nullptr);

    std::lock_guard lock(mu_);
    if (dumper_ == nullptr) return;
    // The key is the pair as this side sees it; the other end of a connection inside this process
    // has the reverse pair and is left out.
    if (streams_.contains({remote, local})) return;
    // A client port used again is a new connection between the same ports: it starts over, with a
    // handshake and sequence numbers of its own, as on the wire.
    auto [it, fresh] = streams_.try_emplace({local, remote});
    Stream& s = it->second;
    if (fresh || s.id != conn.id) {
      s.id = conn.id;
      s.end[0] = from;
      s.end[1] = to;
      const auto n = static_cast<std::uint32_t>(++streams_made_);
      s.next_seq[0] = 0x10000000u + n * 0x01000000u;
      s.next_seq[1] = 0x80000000u + n * 0x01000000u;
      write_segment(now, s, 0, tcp_flag::syn, {});
      write_segment(now, s, 1, tcp_flag::syn | tcp_flag::ack, {});
      write_segment(now, s, 0, tcp_flag::ack, {});
    }
    const int side = s.end[0] == from ? 0 : 1;
    while (!bytes.empty()) {
      const auto chunk = bytes.first(std::min(bytes.size(), kMaxSegmentPayload));
      write_segment(now, s, side, tcp_flag::psh | tcp_flag::ack, chunk);
      bytes = bytes.subspan(chunk.size());
    }
    pc_->dump_flush(dumper_);
  }

 private:
  void write_segment(const timeval& when, Stream& s, int side, std::uint8_t flags,
                     std::span<const std::uint8_t> payload) {
    TcpSegment seg;
    seg.src = s.end[side];
    seg.dst = s.end[1 - side];
    seg.flags = flags;
    seg.payload = payload;
    const bool handshake = (flags & tcp_flag::syn) != 0;
    // The SYN's ack field is zero; SYN-ACK acknowledges the client's SYN.
    seg.seq = s.next_seq[side];
    seg.ack = (flags == tcp_flag::syn) ? 0 : s.next_seq[1 - side];
    s.next_seq[side] += static_cast<std::uint32_t>(payload.size()) + (handshake ? 1 : 0);
    const std::vector<std::uint8_t> frame = ethernet_frame(seg);
    pcap_pkthdr h{};
    h.ts = when;
    h.caplen = h.len = static_cast<bpf_u_int32>(frame.size());
    pc_->dump(reinterpret_cast<u_char*>(dumper_), &h, frame.data());
  }

  std::mutex mu_;
  const PcapLibrary* pc_ = nullptr;
  pcap_t* pcap_ = nullptr;
  pcap_dumper_t* dumper_ = nullptr;
  std::map<std::pair<TcpEndpoint, TcpEndpoint>, Stream> streams_;
  std::size_t streams_made_ = 0;
};

Recorder& recorder() {
  static Recorder* r = new Recorder;  // never destroyed: runtime threads may tap while main() returns
  return *r;
}

void on_wire(const rpc::WireConnection& conn, rpc::WireDirection dir, std::span<const std::uint8_t> bytes) {
  recorder().record(conn, dir, bytes);
}

}  // namespace

bool start_capture(const std::string& path, std::string& error) {
  if (!recorder().open(path, error)) return false;
  rpc::set_wire_tap(&on_wire);
  return true;
}

bool ScopedCapture::start(const std::string& path) {
  if (path.empty()) return true;
  std::string error;
  if (!start_capture(path, error)) {
    print_error(error);
    return false;
  }
  active_ = true;
  return true;
}

void stop_capture() {
  rpc::set_wire_tap(nullptr);
  recorder().close();
}

}  // namespace tarvik::cli
