// Our client against the independent peer (rpcpeer.py serve-machine): the statuses it answered and
// what it decoded from our requests (its JSON lines).
#include <gtest/gtest.h>

#include "platform/rpc/client.h"
#include "platform/rpc/ndr.h"
#include "tests/support/peer.h"

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PeerServer;
const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};

std::unique_ptr<Binding> binding_to(const PeerServer& peer) {
  std::unique_ptr<Binding> b;
  EXPECT_EQ(binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(peer.port()) + "]", b), RPC_S_OK);
  return b;
}

std::int32_t result_of(const Bytes& stub) {
  std::int32_t v = 0;
  NdrReader r(stub, ByteOrder::little);
  EXPECT_TRUE(r.read_i32(v) && r.remaining() == 0);
  return v;
}

TEST(ClientInterop, CallsReachThePeerIntactOnOneConnection) {
  PeerServer peer("machine", {"--status", "0", "--status-for", "T_DATA_M=-3"});
  const auto b = binding_to(peer);
  ASSERT_NE(b, nullptr);
  Bytes t_machine, t_data, out;
  NdrWriter m(t_machine);  // T_MACHINE_M (opnum 0): pszHost, pszMachine, OrderNum
  m.write_string("HOST");
  m.write_string("M1");
  m.write_i32(-2);
  const std::string big(9000, 'x');  // beyond the peer's 4280-byte fragments: a fragmented request
  NdrWriter d(t_data);               // T_DATA_M (opnum 2): pszHost, pszMachine, OrderNum, SFkt, Name1, Name2
  d.write_string("HOST1");
  d.write_string("M\xe4");
  d.write_i32(2147483647);
  d.write_i32(7);
  d.write_string(big);
  d.write_string("");

  ASSERT_EQ(b->call(kMachine, 0, t_machine, out), RPC_S_OK);
  EXPECT_EQ(result_of(out), 0);
  ASSERT_EQ(b->call(kMachine, 2, t_data, out), RPC_S_OK);
  EXPECT_EQ(result_of(out), -3);
  ASSERT_EQ(b->call(kMachine, 14, {}, out), RPC_S_OK);  // Shutdown_M: empty stubs both ways
  EXPECT_TRUE(out.empty());
  std::vector<nlohmann::json> calls;
  for (int i = 0; i < 3; ++i) calls.push_back(peer.next_call());
  EXPECT_EQ(calls[0]["telegram"], "T_MACHINE_M");
  EXPECT_EQ(calls[0]["pszHost"], "HOST");
  EXPECT_EQ(calls[0]["pszMachine"], "M1");
  EXPECT_EQ(calls[0]["OrderNum"], -2);
  EXPECT_EQ(calls[1]["pszMachine"], "M\u00e4");  // byte 0xE4 arrives as itself
  EXPECT_EQ(calls[1]["OrderNum"], 2147483647);
  EXPECT_EQ(calls[1]["Name1"], big);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(calls[i].contains("warnings")) << calls[i].dump();
    EXPECT_EQ(calls[i]["conn"], 1);  // one connection carried all three calls
  }
}

TEST(ClientInterop, PeerRefusalsBecomeStatusesAndTheNextCallBindsAnew) {
  PeerServer peer("machine");
  const auto b = binding_to(peer);
  ASSERT_NE(b, nullptr);
  Bytes out;
  EXPECT_EQ(b->call(kMachine, 17, {}, out), RPC_S_PROCNUM_OUT_OF_RANGE);
  EXPECT_EQ(b->call(kMachine, 0, Bytes{1, 2, 3}, out), RPC_X_BAD_STUB_DATA);
  const SyntaxId host{*Uuid::parse("d3d7d860-c15a-11d0-a0cb-00a0244ce687"), 1, 0};
  EXPECT_EQ(b->call(host, 0, {}, out), RPC_S_UNKNOWN_IF);  // an interface the peer does not serve
  EXPECT_EQ(b->call(SyntaxId{kMachine.uuid, 1, 2}, 0, {}, out),
            RPC_S_UNKNOWN_IF);  // minor above the server's
  ASSERT_EQ(b->call(kMachine, 14, {}, out), RPC_S_OK);
  nlohmann::json last = peer.next_call();
  while (last.is_object() && last["telegram"] != "Shutdown_M") last = peer.next_call();
  EXPECT_EQ(last["conn"], 5);  // every failure dropped the connection
}

}  // namespace
}  // namespace tarvik::rpc
