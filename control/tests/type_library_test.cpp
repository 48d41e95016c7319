// The type library MEVRIX as the telegram table and the property table generate it.
#include <gtest/gtest.h>

#include "control/identities.h"
#include "control/type_library.h"

namespace tarvik::control {
namespace {

std::vector<std::string> param_names(const com::FunctionInfo& f) {
  std::vector<std::string> out;
  for (const auto& p : f.params) out.push_back(p.name);
  return out;
}

TEST(TypeLibrary, HoldsTheEventInterfaceTheClassAndIMachineInThisOrder) {
  const auto& lib = *mevrix_type_library();
  EXPECT_EQ(lib.libid, kLibidMevrix);
  EXPECT_EQ(lib.name, "MEVRIX");
  EXPECT_EQ(lib.major, 1);
  EXPECT_EQ(lib.minor, 0);
  EXPECT_EQ(lib.help, "RPC TARVIK.OCX 1.00 RPC TARVIK control");
  ASSERT_EQ(lib.items.size(), 3u);
  EXPECT_EQ(std::get<com::InterfaceInfo>(lib.items[0]).name, "_IMachineEvents");
  const auto& cls = std::get<com::ClassInfo>(lib.items[1]);
  EXPECT_EQ(cls.name, "Machine");
  EXPECT_EQ(cls.default_interface, kIidIMachine);
  EXPECT_EQ(cls.default_source, kDiidIMachineEvents);
  EXPECT_EQ(std::get<com::InterfaceInfo>(lib.items[2]).name, "IMachine");
  EXPECT_EQ(lib.classes().size(), 1u);
}

TEST(TypeLibrary, IMachineHas14AccessorsThen17MethodsInDispidOrder) {
  const auto im = imachine_info();
  ASSERT_EQ(im->functions.size(), 31u);
  EXPECT_EQ(im->count(com::FuncKind::property_get) + im->count(com::FuncKind::property_put), 14u);
  EXPECT_EQ(im->count(com::FuncKind::method), 17u);
  const char* kProps[] = {"MachineID", "MachineIP", "MachinePort", "MachineTimeout", "HostID", "HostPort", "HostEnabled"};
  for (int i = 0; i < 7; ++i) {
    const auto& get = im->functions[2 * i];
    const auto& put = im->functions[2 * i + 1];
    EXPECT_EQ(get.name, kProps[i]);
    EXPECT_EQ(get.id, i + 1);
    EXPECT_EQ(get.kind, com::FuncKind::property_get);
    EXPECT_EQ(param_names(get), std::vector<std::string>{"pVal"});
    EXPECT_TRUE(get.params[0].retval);
    EXPECT_EQ(put.kind, com::FuncKind::property_put);
    EXPECT_EQ(param_names(put), std::vector<std::string>{""});
  }
  EXPECT_EQ(im->find(4, com::FuncKind::property_get)->params[0].type, com::VT_I2);
  EXPECT_EQ(im->find(7, com::FuncKind::property_put)->params[0].type, com::VT_BOOL);
  EXPECT_EQ(im->find(6, com::FuncKind::property_get)->help, "Host EndPoint in theMEVRIX configuration");
  for (int i = 0; i < 17; ++i) EXPECT_EQ(im->functions[14 + i].id, 10 + i);

  const com::FunctionInfo* order = im->find("C_ORDER_M");
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->id, 25);
  EXPECT_EQ(param_names(*order), (std::vector<std::string>{"OrderNum", "SFkt", "Name1", "Name2", "Name3", "Name4",
                                                           "Parameter1", "Parameter2", "Parameter3",
                                                           "Parameter4", "ret"}));
  EXPECT_TRUE(order->params[2].by_ref);
  EXPECT_EQ(order->params[2].type, com::VT_BSTR);
  EXPECT_FALSE(order->params[1].by_ref);
  EXPECT_TRUE(order->params.back().retval);
  EXPECT_EQ(param_names(*im->find("R_NC4WPC_M"))[3], "DateVal");
  EXPECT_TRUE(im->find("Shutdown_M")->params.empty());
  EXPECT_EQ(im->find("Shutdown_M")->id, 24);
}

TEST(TypeLibrary, EventsCarryFlattenedFieldsExceptTheWholeReportTables) {
  const auto ev = imachine_events_info();
  ASSERT_EQ(ev->functions.size(), 11u);
  EXPECT_EQ(ev->kind, com::InterfaceKind::dispatch_only);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(ev->functions[i].id, 10 + i);
  const std::pair<const char*, std::size_t> kCounts[] = {
      {"RxMACHINExH", 20}, {"RxTPSxH", 13}, {"RxREPORTxH", 8}, {"RxMESSAGExH", 5}, {"TxDATAxH", 4}, {"RxDATAxH", 6},
      {"TxVARxH", 4},      {"RxVARxH", 5},  {"RxDDEDATAxH", 2}, {"ShutdownH", 0}, {"RxREPORTxH2", 35}};
  for (const auto& [name, count] : kCounts) EXPECT_EQ(ev->find(name)->params.size(), count) << name;

  const auto machine = param_names(*ev->find("RxMACHINExH"));
  EXPECT_EQ(machine[3], "NCProgramm");
  EXPECT_EQ(machine[5], "DockPos1");
  EXPECT_EQ(machine[11], "WPC1");
  EXPECT_EQ(machine[19], "ResByte");
  EXPECT_EQ(ev->find("RxMACHINExH")->params[11].type, com::VT_BSTR);
  const auto* report = ev->find("RxREPORTxH");
  EXPECT_EQ(param_names(*report), (std::vector<std::string>{"OrderNum", "Typ", "Number", "Time", "Flag", "ResInt1",
                                                            "ResInt2", "ResByte"}));
  EXPECT_EQ(report->params[2].type, com::VT_VARIANT);
  EXPECT_EQ(param_names(*ev->find("RxREPORTxH2"))[31], "Flag10");
  EXPECT_EQ(param_names(*ev->find("RxDATAxH"))[4], "DateVal");
}

}  // namespace
}  // namespace tarvik::control
