// Machine objects as a container drives them: defaults, the property rules, the shared host and its
// lifetime, binding kept or dropped, the host server's start and stop rules, and drawing.
#include "control/tests/machine_fixture.h"
#include "platform/com/drawing.h"
#include "platform/rpc/status.h"
#include "tests/support/peer.h"

namespace tarvik::control::test {
namespace {

TEST(Machine, NewObjectReadsTheInitialValuesAndRefusesMissingResultPointers) {
  auto m = new_machine();
  EXPECT_EQ(get(m, Property::MachineID), text(u"?"));
  EXPECT_EQ(get(m, Property::MachineIP), text(u"?"));
  EXPECT_EQ(get(m, Property::MachinePort), com::Variant::i4(3011));
  EXPECT_EQ(get(m, Property::MachineTimeout), com::Variant::i2(5));
  EXPECT_EQ(get(m, Property::HostID), text(u"?"));
  EXPECT_EQ(get(m, Property::HostPort), com::Variant::i4(3010));
  EXPECT_EQ(get(m, Property::HostEnabled), com::Variant::boolean(false));

  EXPECT_EQ(m->get_MachineID(nullptr), com::E_POINTER);
  EXPECT_EQ(m->get_MachineIP(nullptr), com::E_POINTER);
  EXPECT_EQ(m->get_MachinePort(nullptr), com::E_POINTER);
  EXPECT_EQ(m->get_MachineTimeout(nullptr), com::E_POINTER);
  EXPECT_EQ(m->get_HostID(nullptr), com::E_POINTER);
  EXPECT_EQ(m->get_HostPort(nullptr), com::E_POINTER);
  EXPECT_EQ(m->get_HostEnabled(nullptr), com::E_POINTER);
  const auto events = com::default_source_interface(m.get());
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(events->name, "_IMachineEvents");
}

TEST(Machine, MachineIdIsHeldUpperCasedAndNullStaysNull) {
  auto m = new_machine();
  ASSERT_EQ(put(m, Property::MachineID, text(u"cnc-12a")), com::S_OK);
  EXPECT_EQ(get(m, Property::MachineID), text(u"CNC-12A"));
  // Upper-casing goes through the 8-bit code page: accented letters it holds are upper-cased too.
  ASSERT_EQ(put(m, Property::MachineID, text(u"fräse")), com::S_OK);
  EXPECT_EQ(get(m, Property::MachineID), text(u"FRÄSE"));
  ASSERT_EQ(m->put_MachineID(com::BStr::null()), com::S_OK);
  com::BStr id(u"x");
  ASSERT_EQ(m->get_MachineID(&id), com::S_OK);
  EXPECT_TRUE(id.is_null());
}

// The connection's own rules (address, port, clamping, failures) are checked in the protocol tests;
// here the properties reach it, with the value after conversion deciding, and the name stays apart.
TEST(Machine, EndpointSettingsKeepTheBindingWhenUnchangedAndDropItOtherwise) {
  tarvik::test::PeerServer peer("machine");
  auto m = new_machine();
  ASSERT_EQ(put(m, Property::MachineIP, text(u"127.0.0.1")), com::S_OK);
  ASSERT_EQ(put(m, Property::MachinePort, com::Variant::i4(peer.port())), com::S_OK);
  ASSERT_EQ(put(m, Property::HostPort, com::Variant::i4(0)), com::S_OK);
  const auto& conn = impl(m)->connection();

  const auto bind = [&] {
    EXPECT_EQ(call(m, kT_MACHINE_M, {com::Variant::i4(1)}), 0);
    EXPECT_TRUE(peer.next_call().is_object());
    return conn.binding();
  };
  const rpc::Binding* b = bind();
  ASSERT_NE(b, nullptr);
  put(m, Property::MachineTimeout, com::Variant::i4(12));  // becomes 9: a change
  EXPECT_EQ(conn.binding(), nullptr);
  b = bind();
  put(m, Property::MachineTimeout, com::Variant::i4(9));  // 9 when 9 is stored
  put(m, Property::MachineID, text(u"other"));            // the name never touches the binding
  EXPECT_EQ(conn.binding(), b);
}

TEST(Machine, NullTextsReachNoMachineAndShutdownReportsNothing) {
  auto m = new_machine();
  put(m, Property::HostPort, com::Variant::i4(0));
  put(m, Property::MachineIP, text(u"127.0.0.1"));
  put(m, Property::MachinePort, com::Variant::i4(tarvik::test::unused_port()));
  // A null text is refused before anything would be sent, even though nobody listens.
  const std::vector<com::Variant> t_data = {com::Variant::i4(1), com::Variant::i4(2),
                                            com::Variant::bstr(com::BStr::null()), text(u"x")};
  EXPECT_EQ(call(m, 12, t_data), rpc::RPC_X_NULL_REF_POINTER);
  m->put_HostID(com::BStr::null());
  EXPECT_EQ(call(m, kT_MACHINE_M, {com::Variant::i4(1)}), rpc::RPC_X_NULL_REF_POINTER);
  EXPECT_EQ(impl(m)->connection().binding(), nullptr);
  // Shutdown_M: no arguments, no result, and an unreachable machine is no failure.
  EXPECT_EQ(com::invoke(m.get(), 24, com::DISPATCH_METHOD, {}, nullptr), com::S_OK);
  std::int32_t ret = 0;
  EXPECT_EQ(m->Telegram(kT_MACHINE_M, std::vector{com::Variant::i4(1)}, nullptr), com::E_POINTER);
  EXPECT_EQ(m->Telegram(27, {}, &ret), com::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(m->Telegram(kT_MACHINE_M, {}, &ret), com::DISP_E_BADPARAMCOUNT);
}

TEST(Host, SettingsAreSharedAndAPortChangeStopsTheServerForEveryObject) {
  auto a = new_machine();
  auto b = new_machine();
  EXPECT_EQ(impl(a)->host(), impl(b)->host());
  put(a, Property::HostPort, com::Variant::i4(0));
  ASSERT_EQ(put(b, Property::HostEnabled, com::Variant::boolean(true)), com::S_OK);
  EXPECT_EQ(get(a, Property::HostEnabled), com::Variant::boolean(true));
  put(b, Property::HostID, text(u"host1"));
  EXPECT_EQ(get(a, Property::HostID), text(u"host1"));

  put(a, Property::HostPort, com::Variant::i4(tarvik::test::unused_port()));
  EXPECT_EQ(get(b, Property::HostPort), get(a, Property::HostPort));
  EXPECT_EQ(get(a, Property::HostEnabled), com::Variant::boolean(false));
  EXPECT_EQ(get(b, Property::HostEnabled), com::Variant::boolean(false));
  // Setting the same port again stops nothing.
  ASSERT_EQ(put(a, Property::HostEnabled, com::Variant::boolean(true)), com::S_OK);
  put(b, Property::HostPort, get(a, Property::HostPort));
  EXPECT_EQ(get(b, Property::HostEnabled), com::Variant::boolean(true));
  // Disabled, the next telegram starts the server again (even when the machine is unreachable).
  ASSERT_EQ(put(a, Property::HostEnabled, com::Variant::boolean(false)), com::S_OK);
  put(a, Property::MachineIP, text(u"127.0.0.1"));
  put(a, Property::MachinePort, com::Variant::i4(tarvik::test::unused_port()));
  EXPECT_EQ(call(a, kT_MACHINE_M, {com::Variant::i4(1)}), rpc::RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(get(b, Property::HostEnabled), com::Variant::boolean(true));
}

// What a port held elsewhere does to sending is checked in the protocol tests; here: the failure
// as the control reports it.
TEST(Host, APortHeldByAnotherProgramFailsEnablingWithARuntimeStatus) {
  tarvik::test::PeerServer holder("host");
  auto m = new_machine();
  put(m, Property::HostPort, com::Variant::i4(holder.port()));
  const com::HRESULT hr = put(m, Property::HostEnabled, com::Variant::boolean(true));
  EXPECT_EQ(hr, host_enable_failure(rpc::RPC_S_CANT_CREATE_ENDPOINT));
  EXPECT_EQ(static_cast<std::uint32_t>(hr) & 0xFFFF0000u, 0x80010000u);
  EXPECT_EQ(get(m, Property::HostEnabled), com::Variant::boolean(false));
}

TEST(Host, LivesFromTheFirstObjectToTheLastAndStartsAfreshAfterwards) {
  {
    auto a = new_machine();
    auto b = new_machine();
    put(a, Property::HostID, text(u"H9"));
    put(a, Property::HostPort, com::Variant::i4(0));
    ASSERT_EQ(put(a, Property::HostEnabled, com::Variant::boolean(true)), com::S_OK);
    a.reset();
    EXPECT_NE(CHost::current(), nullptr);
    EXPECT_EQ(get(b, Property::HostID), text(u"H9"));
  }
  EXPECT_EQ(CHost::current(), nullptr);
  auto c = new_machine();
  EXPECT_EQ(get(c, Property::HostID), text(u"?"));
  EXPECT_EQ(get(c, Property::HostPort), com::Variant::i4(3010));
  EXPECT_EQ(get(c, Property::HostEnabled), com::Variant::boolean(false));
}

TEST(Host, LastRunTimeObjectStopsTheServerEvenWithDesignTimeObjectsLeft) {
  auto design = new_machine();
  com::RecordingDrawTarget target;
  ASSERT_EQ(impl(design)->Draw(&target, {0, 0, 100, 30}), com::S_OK);
  auto run = new_machine();
  put(run, Property::HostPort, com::Variant::i4(0));
  ASSERT_EQ(put(run, Property::HostEnabled, com::Variant::boolean(true)), com::S_OK);
  run.reset();
  EXPECT_EQ(get(design, Property::HostEnabled), com::Variant::boolean(false));
  EXPECT_NE(CHost::current(), nullptr);  // the design-time object still holds the host
}

// The label shows the name as the code page upper-cases it; drawing marks the object as design-time.
TEST(Machine, DrawsALabelledBoxWithTheUpperCasedName) {
  auto m = new_machine();
  put(m, Property::MachineID, text(u"cnc-12a"));
  com::RecordingDrawTarget target;
  EXPECT_FALSE(impl(m)->drawn());
  ASSERT_EQ(impl(m)->Draw(&target, {20, 40, 220, 75}), com::S_OK);
  EXPECT_TRUE(impl(m)->drawn());
  ASSERT_EQ(target.ops.size(), 3u);
  EXPECT_EQ(target.ops[2].text, u"Machine : CNC-12A");
}

}  // namespace
}  // namespace tarvik::control::test
