// The binding rules of a machine connection under both policies. Nothing here sends: a binding
// handle does not connect until its first call.
#include "protocol/machine_connection.h"

#include <gtest/gtest.h>

namespace tarvik::protocol {
namespace {

class NoTelegrams : public HostHandler {
 public:
  std::int32_t on_telegram(const IncomingTelegram&) override { return 0; }
};

struct Fixture : ::testing::Test {
  NoTelegrams handler;
  HostEndpoint host{handler};
};

using ControlConnection = Fixture;
using ManagedConnection = Fixture;

TEST_F(ControlConnection, TimeoutIsClampedAndOnlyARealChangeDropsTheBinding) {
  MachineConnection m(host, kControlPolicy);
  m.set_machine_ip(u"127.0.0.1");
  m.set_machine_timeout(12);
  EXPECT_EQ(m.machine_timeout(), 9);
  ASSERT_EQ(m.bind(), rpc::RPC_S_OK);
  EXPECT_EQ(m.binding()->com_timeout(), 9u);
  m.set_machine_timeout(9);
  m.set_machine_timeout(30);  // clamps to the 9 already stored
  EXPECT_TRUE(m.is_bound());
  m.set_machine_timeout(-3);
  EXPECT_EQ(m.machine_timeout(), 0);
  EXPECT_FALSE(m.is_bound());
}

TEST_F(ControlConnection, AddressAndPortChangesDropTheBindingSameValuesKeepIt) {
  MachineConnection m(host, kControlPolicy);
  m.set_machine_ip(u"127.0.0.1");
  ASSERT_EQ(m.force_binding(), rpc::RPC_S_OK);
  const rpc::Binding* first = m.binding();
  EXPECT_EQ(m.force_binding(), rpc::RPC_S_OK);  // reused, not made again
  EXPECT_EQ(m.binding(), first);
  m.set_machine_port(3011);
  m.set_machine_ip(u"127.0.0.1");
  EXPECT_EQ(m.binding(), first);
  m.set_machine_port(3012);
  EXPECT_FALSE(m.is_bound());

  ASSERT_EQ(m.bind(), rpc::RPC_S_OK);
  m.set_machine_ip(u"localhost");
  EXPECT_FALSE(m.is_bound());

  // A null address equals an empty one: no change, the binding stays.
  m.set_machine_ip(u"");
  ASSERT_EQ(m.bind(), rpc::RPC_S_OK);
  m.set_machine_ip(std::nullopt);
  EXPECT_TRUE(m.is_bound());
  EXPECT_EQ(m.unbind(), rpc::RPC_S_OK);
  EXPECT_EQ(m.unbind(), rpc::RPC_S_OK);  // nothing to free
}

TEST_F(ManagedConnection, KeepsTheBindingAndTakesAnyTimeout) {
  MachineConnection m(host, kManagedPolicy);
  m.set_machine_ip(u"127.0.0.1");
  ASSERT_EQ(m.bind(), rpc::RPC_S_OK);
  m.set_machine_port(4000);
  m.set_machine_ip(u"192.0.2.10");
  m.set_machine_timeout(12);
  EXPECT_TRUE(m.is_bound());
  EXPECT_EQ(m.machine_timeout(), 12);
  EXPECT_EQ(m.machine_ip(), u"192.0.2.10");

  // A level the runtime refuses is bind()'s result; the new binding stays, without the level.
  EXPECT_EQ(m.unbind(), rpc::RPC_S_OK);
  m.set_machine_timeout(-1);
  EXPECT_EQ(m.bind(), rpc::RPC_S_INVALID_TIMEOUT);
  EXPECT_TRUE(m.is_bound());
  EXPECT_EQ(m.force_binding(), rpc::RPC_S_OK);
}

TEST_F(ControlConnection, ArgumentsThatDoNotFitTheTelegramSendNothing) {
  MachineConnection m(host, kControlPolicy);
  const CallerArg too_few[] = {1, 2};
  const CallerArg text_for_number[] = {1, CallerText(u"x"), CallerText(u"a"), CallerText(u"b")};
  EXPECT_EQ(m.send(*find_telegram("T_DATA_M"), too_few), rpc::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(m.send(*find_telegram("T_DATA_M"), text_for_number), rpc::ERROR_INVALID_PARAMETER);
  const CallerArg order[] = {1};
  EXPECT_EQ(m.send(*find_telegram("R_DDEDATA_H"), order), rpc::ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(host.enabled());
  EXPECT_FALSE(m.is_bound());
}

}  // namespace
}  // namespace tarvik::protocol
