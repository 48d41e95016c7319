// Incoming telegrams as events: the host name check, routing by machine name, the drawn mark, the
// two report events, Shutdown_H, and delivery only when the owner thread pumps (never during a
// telegram method's own remote call). Order and thread under load: intake_test.cpp.
#include <thread>

#include "control/tests/host_fixture.h"
#include "platform/rpc/server.h"
#include "protocol/server_routines.h"

namespace tarvik::control::test {
namespace {

using EventsTest = HostTest;

TEST_F(EventsTest, MachineNamesMatchUpperCasedAndDrawnObjectsAreSkipped) {
  add(u"M1");
  add(u"m1");
  add(u"M10");
  auto drawn = add(u"M1");
  com::RecordingDrawTarget target;
  impl(drawn)->Draw(&target, {0, 0, 10, 10});
  start_host(u"H");
  // The host name counts letter case; a refused telegram raises nothing, an unmatched one neither.
  EXPECT_EQ(notify("T_DATA_H", {{"pszHost", wtext("h")}, {"pszMachine", wtext("M1")}}), -110);
  EXPECT_EQ(notify("T_DATA_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("nobody")}}), 0);
  EXPECT_EQ(notify("T_DATA_H", {{"pszHost", wtext("H")},
                                {"pszMachine", wtext("m1")},
                                {"OrderNum", -7},
                                {"SFkt", 3},
                                {"pszName1", wtext("a\xE4")},
                                {"pszName2", wtext("")}}),
            0);
  EXPECT_TRUE(received_.empty());  // nothing before the owner thread pumps
  EXPECT_EQ(pump(), 2);
  ASSERT_EQ(receivers(), (std::vector<int>{1, 2}));
  EXPECT_EQ(received_[0].id, 14);
  EXPECT_EQ(received_[0].args,
            (std::vector<com::Variant>{com::Variant::i4(-7), com::Variant::i4(3), text(u"aä"), text(u"")}));
  EXPECT_EQ(received_[0].thread, std::this_thread::get_id());

  received_.clear();
  notify("Shutdown_H", {});
  pump();
  EXPECT_EQ(receivers(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(received_[2].id, 19);
  EXPECT_TRUE(received_[2].args.empty());
}

TEST_F(EventsTest, ReportRaisesTheArrayEventThenTheFlattenedOne) {
  add(u"R");
  start_host(u"H");
  std::vector<std::int32_t> numbers(10), times(10);
  std::vector<std::uint8_t> flags(10);
  for (int i = 0; i < 10; ++i)
    numbers[i] = i + 1, times[i] = -100 * i, flags[i] = static_cast<std::uint8_t>(200 + i);
  EXPECT_EQ(notify("R_REPORT_H", {{"pszHost", wtext("H")},
                                  {"pszMachine", wtext("r")},
                                  {"OrderNum", 5},
                                  {"Typ", 2},
                                  {"Number", numbers},
                                  {"Time", times},
                                  {"Flag", flags},
                                  {"ResInt1", -1},
                                  {"ResInt2", 2147483647},
                                  {"pszResByte", wtext("z")}}),
            0);
  pump();
  ASSERT_EQ(received_.size(), 2u);
  // The first event takes the tables whole (I4 and UI1 elements), the second flattens them.
  const auto& whole = received_[0].args;
  EXPECT_EQ(received_[0].id, 12);
  ASSERT_EQ(whole.size(), 8u);
  EXPECT_EQ(whole[2].as_array().at(9), com::Variant::i4(10));
  EXPECT_EQ(whole[3].as_array().at(1), com::Variant::i4(-100));
  EXPECT_EQ(whole[4].as_array().at(0), com::Variant::ui1(200));
  const auto& flat = received_[1].args;
  EXPECT_EQ(received_[1].id, 20);
  ASSERT_EQ(flat.size(), 35u);
  EXPECT_EQ(flat[22], com::Variant::i4(200));  // Flag1: unsigned, widened
  EXPECT_EQ(flat[34], text(u"z"));
}

TEST_F(EventsTest, NoEventIsRaisedDuringATelegramMethodsOwnCall) {
  auto m = add(u"SELF");
  start_host(u"H");
  // A machine in this process that reports to the host before it answers the telegram.
  std::int32_t host_port = 0;
  m.as<IControlHost>()->GetListeningPort(&host_port);
  const rpc::ServerInterface machine = protocol::make_server_interface(
      protocol::Interface::machine,
      [&](const protocol::TelegramInfo&, std::span<const WireValue>, const rpc::CallInfo&) {
        std::int32_t r = 0;
        std::vector<WireValue> v = protocol::default_values(*protocol::find_telegram("R_MESSAGE_H"));
        v[0] = wtext("H"), v[1] = wtext("SELF"), v[3] = wtext("during");
        std::unique_ptr<rpc::Binding> b;  // this thread's own binding to the host
        if (rpc::binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(host_port) + "]",
                                             b) == 0)
          (void)protocol::call_telegram(*b, *protocol::find_telegram("R_MESSAGE_H"), v, r);
        return 0;
      });
  ASSERT_EQ(rpc::register_if(machine, rpc::RPC_IF_AUTOLISTEN, 10), rpc::RPC_S_OK);
  put(m, Property::MachineIP, text(u"127.0.0.1"));
  put(m, Property::MachinePort, com::Variant::i4(host_port));  // the same endpoint serves both interfaces
  EXPECT_EQ(call(m, kT_MACHINE_M, {com::Variant::i4(1)}), 0);
  EXPECT_TRUE(received_.empty());
  pump();
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0].args[1], text(u"during"));
  EXPECT_EQ(rpc::unregister_if(machine.id, true), rpc::RPC_S_OK);
}

TEST_F(EventsTest, AHandlerMayReleaseEveryObjectWhileEventsAreRaised) {
  add(u"X");
  add(u"X");
  start_host(u"H");
  auto q = objects_[0].as<com::IEventQueue>();  // the component layer's part of IControlHost
  notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("X")}});
  notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("X")}});
  // The first sink lets go of both objects: the second still gets the event it was due; then it is
  // gone, and only object 1, which `q` still holds, receives the second record.
  auto releaser = com::make_event_sink(kDiidIMachineEvents, [this](com::DispId, auto) { objects_.clear(); });
  std::uint32_t cookie = 0;
  com::connect_events(objects_[0].get(), kDiidIMachineEvents, releaser.get(), &cookie);
  binding_.reset();
  int n = 0;
  EXPECT_EQ(q->Pump(&n), com::S_OK);
  EXPECT_EQ(receivers(), (std::vector<int>{1, 2, 1}));
  q.reset();
  EXPECT_EQ(CHost::current(), nullptr);
}

}  // namespace
}  // namespace tarvik::control::test
