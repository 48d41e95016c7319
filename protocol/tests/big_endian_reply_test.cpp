// A machine whose runtime answers in big-endian data representation: its bind_ack and response are
// golden bytes, served from 127.0.0.1 by a one-connection script. The telegram's result must be the
// long the machine wrote, read in the byte order its response declares.
#include <gtest/gtest.h>

#include "protocol/machine_connection.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_server.h"

namespace tarvik::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

// bind_ack, drep 00 (big-endian): frags 5840/5840, group 0x1234, secondary address "3011", one
// result: acceptance of NDR 2.0.
const Bytes kBindAck = test::from_hex(
    "05000c03 00000000 003c0000 00000001 16d016d0 00001234 0005 3330313100 00"
    "01000000 00000000 8a885d04 1ceb11c9 9fe80800 2b104860 00000002");
// response, drep 00: alloc_hint 4, context 0, stub = the long 1000 (00 00 03 e8). Read as
// little-endian it would be -402456576.
const Bytes kResponse1000 = test::from_hex("05000203 00000000 001c0000 00000001 00000004 00000000 000003e8");

// Answers the bind and one request of one connection with the golden PDUs.
struct BigEndianMachine : test::scripted::ScriptedServer {
  BigEndianMachine()
      : ScriptedServer([](int fd, int) {
          using namespace test::scripted;
          if (read_pdu(fd).empty()) return;
          write_all(fd, kBindAck);
          if (!read_pdu(fd).empty()) write_all(fd, kResponse1000);
          client_hung_up(fd);
        }) {}
};

class NoTelegrams : public HostHandler {
 public:
  std::int32_t on_telegram(const IncomingTelegram&) override { return 0; }
};

TEST(BigEndianReply, TheTelegramsResultIsTheMachinesLongUnderBothPolicies) {
  for (ClientPolicy policy : {kControlPolicy, kManagedPolicy}) {
    NoTelegrams handler;
    HostEndpoint host(handler);
    policy.host_start = ClientPolicy::HostStart::never;
    std::int32_t ret = 0;
    {
      BigEndianMachine machine;
      MachineConnection m(host, policy);
      m.set_machine_ip(u"127.0.0.1");
      m.set_machine_port(machine.port());
      const CallerArg order[] = {1};
      ret = m.send(*find_telegram("T_MACHINE_M"), order);
      EXPECT_TRUE(m.is_bound());  // a successful call keeps the binding
    }
    EXPECT_EQ(ret, 1000);
  }
}

TEST(BigEndianReply, CallersOfRawLittleEndianStubsStillGetAProtocolError) {
  BigEndianMachine machine;
  std::unique_ptr<rpc::Binding> b;
  ASSERT_EQ(rpc::binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(machine.port()) + "]", b),
            rpc::RPC_S_OK);
  Bytes stub;
  EXPECT_EQ(b->call(kMachineInterfaceId, 0, Bytes(12, 0), stub), rpc::RPC_S_PROTOCOL_ERROR);
  EXPECT_TRUE(stub.empty());
  b.reset();
}

}  // namespace
}  // namespace tarvik::protocol
