// Our server against the independent peer (rpcpeer.py, impacket's client) calling the MEVRIXHOST
// interface: plain calls, fragmented requests, and faults (load runs through the host endpoint in the
// protocol tests).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "platform/rpc/ndr.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/server.h"
#include "tests/support/child_process.h"
#include "tests/support/peer.h"

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;

const SyntaxId kHostIface{*Uuid::parse("d3d7d860-c15a-11d0-a0cb-00a0244ce687"), 1, 0};

// R_MESSAGE_H(pszHost, pszMachine, OrderNum, pszMessage, ResInt1, ResInt2, pszResByte): answers
// OrderNum + the message length, after checking the host name the tests send.
std::uint32_t r_message(const CallInfo& call, std::span<const std::uint8_t> stub, Bytes& out) {
  NdrReader r(stub, call.byte_order);
  std::string host, machine, message, res_byte;
  std::int32_t order = 0, res1 = 0, res2 = 0;
  const bool read = r.read_string(host) == RPC_S_OK && r.read_string(machine) == RPC_S_OK && r.read_i32(order) &&
                    r.read_string(message) == RPC_S_OK && r.read_i32(res1) && r.read_i32(res2) &&
                    r.read_string(res_byte) == RPC_S_OK;
  if (!read || host != "HOST1") return nca::s_fault_ndr;
  NdrWriter(out).write_i32(order + static_cast<std::int32_t>(message.size()));
  return 0;
}

class ServerInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(use_protseq_ep("ncacn_ip_tcp", RPC_C_PROTSEQ_MAX_REQS_DEFAULT, "0", &port_), RPC_S_OK);
    ServerInterface iface{kHostIface, std::vector<Routine>(10)};
    for (std::uint16_t op = 0; op < 9; ++op) {
      iface.routines[op] = [](const CallInfo& call, std::span<const std::uint8_t>,
                              Bytes& out) -> std::uint32_t {
        NdrWriter(out).write_i32(100 + call.opnum);
        return 0;
      };
    }
    iface.routines[3] = r_message;
    iface.routines[9] = [](const CallInfo&, std::span<const std::uint8_t>, Bytes&) -> std::uint32_t {
      return 0;
    };
    ASSERT_EQ(register_if(iface, RPC_IF_AUTOLISTEN, 1234), RPC_S_OK);
  }
  static void TearDownTestSuite() { unregister_if(kHostIface, true); }

  // Runs one rpcpeer command against our port and returns its JSON line.
  nlohmann::json peer(std::vector<std::string> args, int expected_exit) {
    args.insert(args.begin() + 1, {"--port", std::to_string(port_)});
    const test::RunResult r = test::run(test::peer_command(args), std::chrono::seconds(90));
    EXPECT_EQ(r.exit_code, expected_exit) << r.out << r.err;
    return nlohmann::json::parse(r.out, nullptr, false);
  }
  static inline std::uint16_t port_ = 0;
};

TEST_F(ServerInterop, CallsAndFragmentedRequests) {
  EXPECT_EQ(
      peer({"call-host", "R_MESSAGE_H", "pszHost=HOST1", "OrderNum=-7", "pszMessage=hello"}, 0)["status"],
      -2);
  EXPECT_EQ(peer({"call-host", "T_DATA_H", "pszHost=HOST1", "SFkt=3"}, 0)["status"], 104);
  EXPECT_TRUE(peer({"call-host", "Shutdown_H"}, 0)["status"].is_null());
  // Forced into 64-byte fragments, and a text long enough to need impacket's own fragmentation.
  const std::string text(3000, 'x'), long_text(20000, 'y');
  EXPECT_EQ(peer({"call-host", "--max-frag", "64", "R_MESSAGE_H", "pszHost=HOST1", "pszMessage=" + text},
                 0)["status"],
            3000);
  EXPECT_EQ(peer({"call-host", "R_MESSAGE_H", "pszHost=HOST1", "pszMessage=" + long_text}, 0)["status"],
            20000);
}

// Refusals reach the peer as fault PDUs it decodes (the stubs the runtime refuses are checked
// in ndr_test.cpp and server_connection_test.cpp).
TEST_F(ServerInterop, FaultsReachThePeer) {
  EXPECT_EQ(peer({"call-host", "--raw-stub", "0000000000000000000000", "3"}, 1)["fault"], nca::s_fault_ndr);
  EXPECT_EQ(peer({"call-host", "--raw-stub", "", "17"}, 1)["fault"], nca::s_op_rng_error);
}

}  // namespace
}  // namespace tarvik::rpc
