// The capture reader on captures made here packet by packet: TCP put back in order (early
// segments, retransmissions), DCE RPC fragments joined, requests paired with responses and faults,
// other traffic skipped, and every kind of damage reported with the packet it is in.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/rpc/pdu.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_table.h"
#include "tools/capture_reader.h"
#include "tools/tcp_frames.h"

namespace tarvik::cli {
namespace {

struct Packet {
  bool from_client = true;
  std::uint32_t offset = 0;  // stream offset of the first payload byte
  std::vector<std::uint8_t> payload;
  std::uint8_t flags = tcp_flag::ack | tcp_flag::psh;
  std::size_t captured = 0;  // 0: the whole frame
};

TcpEndpoint endpoint(std::uint8_t last, std::uint16_t port) {
  TcpEndpoint e;
  e.addr = {192, 0, 2, last};
  e.port = port;
  return e;
}

// Writes the packets of one connection (client 192.0.2.1:40000, server 192.0.2.2:3010) as a capture.
std::string write_capture(const std::string& name, const std::vector<Packet>& packets, int link = DLT_EN10MB) {
  const std::string path = (std::filesystem::temp_directory_path() / ("tarvik_" + name + ".pcap")).string();
  pcap_t* pcap = pcap_open_dead(link, 65535);
  pcap_dumper_t* out = pcap_dump_open(pcap, path.c_str());
  long usec = 0;
  for (const Packet& p : packets) {
    TcpSegment s;
    s.src = p.from_client ? endpoint(1, 40000) : endpoint(2, 3010);
    s.dst = p.from_client ? endpoint(2, 3010) : endpoint(1, 40000);
    s.seq = (p.from_client ? 1000u : 9000u) + p.offset;
    s.flags = p.flags;
    s.payload = p.payload;
    std::vector<std::uint8_t> frame = ethernet_frame(s);
    if (link == DLT_RAW) frame.erase(frame.begin(), frame.begin() + 14);
    pcap_pkthdr h{};
    h.ts.tv_usec = usec += 1000;
    h.len = static_cast<bpf_u_int32>(frame.size());
    h.caplen = p.captured != 0 ? static_cast<bpf_u_int32>(p.captured) : h.len;
    pcap_dump(reinterpret_cast<u_char*>(out), &h, frame.data());
  }
  pcap_dump_close(out);
  pcap_close(pcap);
  return path;
}

std::vector<std::uint8_t> bind_pdu(const rpc::SyntaxId& iface) {
  rpc::BindPdu b;
  b.contexts.push_back({0, iface, {rpc::kNdr20Syntax}});
  std::vector<std::uint8_t> out;
  rpc::encode_bind(out, rpc::PduType::bind, rpc::pfc::first_frag | rpc::pfc::last_frag, 1, b);
  return out;
}

// The request of `t` with these values, cut into DCE RPC fragments of at most `chunk` stub bytes.
std::vector<std::uint8_t> request_pdus(const protocol::TelegramInfo& t, const std::vector<protocol::WireValue>& values,
                                       std::uint32_t call_id, std::size_t chunk) {
  std::vector<std::uint8_t> stub;
  EXPECT_EQ(protocol::marshal_request(t, values, stub), rpc::RPC_S_OK);
  std::vector<std::uint8_t> out;
  for (std::size_t at = 0; at < stub.size(); at += chunk) {
    rpc::RequestPdu r;
    r.opnum = t.opnum;
    r.stub = std::span(stub).subspan(at, std::min(chunk, stub.size() - at));
    const std::uint8_t flags = (at == 0 ? rpc::pfc::first_frag : 0) | (at + chunk >= stub.size() ? rpc::pfc::last_frag : 0);
    rpc::encode_request(out, flags, call_id, r);
  }
  return out;
}

std::vector<std::uint8_t> response_pdu(std::int32_t result, std::uint32_t call_id) {
  std::vector<std::uint8_t> stub;
  protocol::marshal_response(*protocol::find_telegram("R_MACHINE_H"), result, stub);
  rpc::ResponsePdu r;
  r.stub = stub;
  std::vector<std::uint8_t> out;
  rpc::encode_response(out, rpc::pfc::first_frag | rpc::pfc::last_frag, call_id, r);
  return out;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t n = SIZE_MAX) {
  n = std::min(n, v.size() - from);
  return {v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + n)};
}

std::vector<protocol::WireValue> machine_values(std::int32_t order) {
  const auto& t = *protocol::find_telegram("R_MACHINE_H");
  auto v = protocol::default_values(t);
  v[0] = protocol::WireText{"HOST1"};
  v[1] = protocol::WireText{"MC1"};
  v[2] = order;
  v[5] = protocol::WireText{std::string(300, 'N')};  // long enough to need several fragments
  return v;
}

TEST(CaptureReader, PutsStreamsAndFragmentsTogetherAndPairsAnswers) {
  const auto& t = *protocol::find_telegram("R_MACHINE_H");
  const auto bind = bind_pdu(protocol::kHostInterfaceId);
  const auto first = request_pdus(t, machine_values(7), 2, 64);  // several DCE RPC fragments
  const auto second = request_pdus(t, machine_values(8), 3, 4096);
  const auto answer = response_pdu(-110, 2);
  rpc::FaultPdu fault;
  fault.status = rpc::nca::s_server_too_busy;
  std::vector<std::uint8_t> faulted;
  rpc::encode_fault(faulted, rpc::pfc::first_frag | rpc::pfc::last_frag, 3, fault);

  const std::uint32_t b = static_cast<std::uint32_t>(bind.size());
  const std::uint32_t f = static_cast<std::uint32_t>(first.size());
  const std::vector<Packet> packets = {
      {true, 0, {}, tcp_flag::syn},
      {true, 1, bind},
      {true, 1 + b + 100, slice(first, 100)},      // arrives before the bytes ahead of it
      {true, 1 + b, slice(first, 0, 150)},         // overlaps what was held back
      {true, 1 + b, slice(first, 0, 150)},         // a retransmission
      {false, 1, answer},
      {true, 1 + b + f, slice(second, 0, 100)},
      {true, 1 + b + f + 50, slice(second, 50)},   // overlaps what was delivered, new bytes at its end
      {false, 1 + static_cast<std::uint32_t>(answer.size()), faulted},
  };
  CaptureContents c;
  std::string error;
  ASSERT_TRUE(read_capture_file(write_capture("ordered", packets), c, error)) << error;
  EXPECT_EQ(c.packets, packets.size());
  EXPECT_EQ(c.connections, 1u);
  ASSERT_EQ(c.calls.size(), 2u);

  std::vector<protocol::WireValue> values;
  ASSERT_EQ(protocol::unmarshal_request(t, c.calls[0].stub, c.calls[0].order, values), rpc::RPC_S_OK);
  EXPECT_EQ(values, machine_values(7));
  EXPECT_EQ(c.calls[0].packet, 4u);  // completed by the segment that filled the gap
  ASSERT_TRUE(c.calls[0].iface.has_value());
  EXPECT_EQ(*c.calls[0].iface, protocol::kHostInterfaceId);
  EXPECT_EQ(c.calls[0].opnum, 0);
  EXPECT_TRUE(c.calls[0].answered);
  std::int32_t result = 0;
  ASSERT_EQ(protocol::unmarshal_response(t, c.calls[0].response_stub, c.calls[0].response_order, result), rpc::RPC_S_OK);
  EXPECT_EQ(result, -110);

  ASSERT_EQ(protocol::unmarshal_request(t, c.calls[1].stub, c.calls[1].order, values), rpc::RPC_S_OK);
  EXPECT_EQ(std::get<std::int32_t>(values[2]), 8);
  EXPECT_EQ(c.calls[1].fault, rpc::nca::s_server_too_busy);
  EXPECT_GT(c.calls[1].time, c.calls[0].time);

  // The same conversation without link layer (raw IP), as some capture tools write it.
  ASSERT_TRUE(read_capture_file(write_capture("raw", packets, DLT_RAW), c, error)) << error;
  EXPECT_EQ(c.calls.size(), 2u);
}

TEST(CaptureReader, OtherTrafficIsSkippedAndCapturesStartingMidStreamAreRead) {
  const std::vector<std::uint8_t> text = {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1',
                                          '\r', '\n', '\r', '\n', 0, 0};
  CaptureContents c;
  std::string error;
  // Not DCE RPC: skipped, not an error.
  ASSERT_TRUE(read_capture_file(write_capture("other", {{true, 0, text}}), c, error)) << error;
  EXPECT_TRUE(c.calls.empty());
  // No SYN, the bind already past: the request is still found, its interface unknown.
  const auto req = request_pdus(*protocol::find_telegram("R_MACHINE_H"), machine_values(1), 5, 4096);
  ASSERT_TRUE(read_capture_file(write_capture("midstream", {{true, 500, req}}), c, error)) << error;
  ASSERT_EQ(c.calls.size(), 1u);
  EXPECT_FALSE(c.calls[0].iface.has_value());
  EXPECT_FALSE(c.calls[0].answered);
}

TEST(CaptureReader, DamageIsReportedWithItsPacket) {
  const auto bind = bind_pdu(protocol::kHostInterfaceId);
  const std::uint32_t b = static_cast<std::uint32_t>(bind.size());
  CaptureContents c;
  std::string error;

  // A malformed header after DCE RPC began on the stream.
  std::vector<std::uint8_t> junk(20, 0xff);
  EXPECT_FALSE(read_capture_file(write_capture("junk", {{true, 0, bind}, {true, b, junk}}), c, error));
  EXPECT_NE(error.find("packet 2: malformed DCE RPC header"), std::string::npos) << error;

  // A request whose body is shorter than its own fields say.
  std::vector<std::uint8_t> bad = {5, 0, 0, 3, 0x10, 0, 0, 0, 20, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(read_capture_file(write_capture("short_request", {{true, 0, bind}, {true, b, bad}}), c, error));
  EXPECT_NE(error.find("packet 2: malformed request PDU"), std::string::npos) << error;

  // A DCE RPC packet cut short by the snapshot length.
  EXPECT_FALSE(read_capture_file(write_capture("snaplen", {{true, 0, bind}, {true, b, bind, tcp_flag::ack, 70}}), c, error));
  EXPECT_NE(error.find("packet 2: cut short (70 of"), std::string::npos) << error;

  // A segment whose TCP header length is shorter than a TCP header.
  const std::string path = write_capture("tcp_header", {{true, 0, bind}});
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(24 + 16 + 14 + 20 + 12);  // file header, record header, Ethernet, IPv4: TCP data offset
    f.put(static_cast<char>(0x40));
  }
  EXPECT_FALSE(read_capture_file(path, c, error));
  EXPECT_NE(error.find("packet 1: TCP header"), std::string::npos) << error;

  // The file ends inside a packet.
  const std::string cut = write_capture("truncated", {{true, 0, bind}, {true, b, bind}});
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 10);
  EXPECT_FALSE(read_capture_file(cut, c, error));
  EXPECT_NE(error.find("packet 2: "), std::string::npos) << error;

  // Not a capture at all, and no file.
  const std::string text = (std::filesystem::temp_directory_path() / "tarvik_not_a_capture.pcap").string();
  std::ofstream(text) << "hello, this is text\n";
  EXPECT_FALSE(read_capture_file(text, c, error));
  EXPECT_NE(error.find(text), std::string::npos);
  EXPECT_FALSE(read_capture_file("/nonexistent/x.pcap", c, error));
}

}  // namespace
}  // namespace tarvik::cli
