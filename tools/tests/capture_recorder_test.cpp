// The recorder against the capture reader: two connections from the same client port to the same
// server port (a port used again, as a busy machine does) are written as two TCP connections, each
// with its own handshake, and both calls are read back.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <filesystem>

#include "platform/rpc/wire_tap.h"
#include "tests/support/hex.h"
#include "tools/capture_reader.h"
#include "tools/capture_recorder.h"

namespace tarvik::cli {
namespace {

// One R_TPS_H call as a machine made it: bind, bind_ack, request, response (status -110).
const char* const kBind =
    "05000b03100000004800000001000000b810b81000000000010000000000010060d8d7d35ac1d011a0cb00a0244ce687"
    "01000000045d888aeb1cc9119fe808002b10486002000000";
const char* const kBindAck =
    "05000c03100000003c00000001000000b810b8104623010006003337393733000100000000000000045d888aeb1cc9119f"
    "e808002b10486002000000";
const char* const kRequest =
    "050000031000000093000000010000007b0000000000010009000000000000000900000070737ae43131303100ababab0a"
    "000000000000000a00000070737a4de43131303200bfbfaefbb0fb53045004acfbaefb5504520438e41000c71befff20e8"
    "1000df17efff414243000000e45a3637383959045604a6fba8fb0b000000000000000b00000070737a5265e43131313200";
const char* const kResponse = "05000203100000001c00000001000000040000000000000092ffffff";

sockaddr_storage loopback(std::uint16_t port) {
  sockaddr_storage s{};
  auto& in = reinterpret_cast<sockaddr_in&>(s);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  in.sin_port = htons(port);
  return s;
}

// The server side of one connection from client port 40000 to 3010, as the runtime reports it.
void serve_one_call(rpc::WireTap tap, std::uint64_t connection_id) {
  rpc::WireConnection conn{loopback(3010), loopback(40000), connection_id};
  for (const auto& [dir, hex] : {std::pair{rpc::WireDirection::received, kBind}, {rpc::WireDirection::sent, kBindAck},
                                 {rpc::WireDirection::received, kRequest}, {rpc::WireDirection::sent, kResponse}})
    tap(conn, dir, test::from_hex(hex));
}

TEST(CaptureRecorder, AClientPortUsedAgainIsANewConnectionWithItsOwnHandshake) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tarvik_recorder_" + std::to_string(::getpid()) + ".pcap")).string();
  std::string error;
  ASSERT_TRUE(start_capture(path, error)) << error;
  const rpc::WireTap tap = rpc::wire_tap_detail::g_tap.load();
  ASSERT_NE(tap, nullptr);
  serve_one_call(tap, 1);
  serve_one_call(tap, 2);
  serve_one_call(tap, 2);  // the same connection again: no new handshake
  stop_capture();

  CaptureContents c;
  ASSERT_TRUE(read_capture_file(path, c, error)) << error;
  EXPECT_EQ(c.connections, 2u);
  EXPECT_EQ(c.packets, 2 * 3 + 12u);  // a handshake per connection, one packet per PDU
  ASSERT_EQ(c.calls.size(), 3u);
  const std::size_t connection_of_call[] = {0, 1, 1};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(c.calls[i].connection, connection_of_call[i]) << i;
    EXPECT_EQ(c.calls[i].opnum, 1) << i;  // R_TPS_H
    EXPECT_TRUE(c.calls[i].answered) << i;
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tarvik::cli
