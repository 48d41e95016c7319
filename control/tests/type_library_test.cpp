// The type library MEVRIX as the telegram and property tables generate it: the counts a container
// relies on, the order of IMachine's slots, and the names and types that are easy to get wrong.
#include "control/type_library.h"

#include <gtest/gtest.h>

#include "control/identities.h"

namespace tarvik::control {
namespace {

std::vector<std::string> param_names(const com::FunctionInfo& f) {
  std::vector<std::string> out;
  for (const auto& p : f.params) out.push_back(p.name);
  return out;
}

TEST(TypeLibrary, DeclaresElevenEventsOneClassAndThirtyOneFunctionsInSlotOrder) {
  const auto& lib = *mevrix_type_library();
  ASSERT_EQ(lib.items.size(), 3u);  // _IMachineEvents, Machine, IMachine
  EXPECT_EQ(std::get<com::InterfaceInfo>(lib.items[0]).iid, kDiidIMachineEvents);
  EXPECT_EQ(std::get<com::ClassInfo>(lib.items[1]).default_source, kDiidIMachineEvents);
  EXPECT_EQ(std::get<com::InterfaceInfo>(lib.items[2]).iid, kIidIMachine);

  const auto im = imachine_info();
  ASSERT_EQ(im->functions.size(), 31u);
  EXPECT_EQ(im->count(com::FuncKind::method), 17u);
  for (int i = 0; i < 14; ++i) {  // get before put, DISPIDs 1..7
    const auto& f = im->functions[i];
    EXPECT_EQ(f.id, i / 2 + 1);
    EXPECT_EQ(f.kind, i % 2 ? com::FuncKind::property_put : com::FuncKind::property_get);
    EXPECT_EQ(param_names(f), std::vector<std::string>{i % 2 ? "" : "pVal"});
  }
  for (int i = 0; i < 17; ++i) EXPECT_EQ(im->functions[14 + i].id, 10 + i);
  EXPECT_EQ(im->find(4, com::FuncKind::property_get)->params[0].type, com::VT_I2);

  const auto ev = imachine_events_info();
  ASSERT_EQ(ev->functions.size(), 11u);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(ev->functions[i].id, 10 + i);
}

TEST(TypeLibrary, ParameterNamesAndTypesFollowTheTelegrams) {
  const auto im = imachine_info();
  const com::FunctionInfo& order = *im->find("C_ORDER_M");
  EXPECT_EQ(param_names(order),
            (std::vector<std::string>{"OrderNum", "SFkt", "Name1", "Name2", "Name3", "Name4", "Parameter1",
                                      "Parameter2", "Parameter3", "Parameter4", "ret"}));
  EXPECT_TRUE(order.params[2].by_ref && order.params[2].type == com::VT_BSTR);
  EXPECT_TRUE(order.params.back().retval);
  EXPECT_EQ(param_names(*im->find("R_NC4WPC_M"))[3], "DateVal");
  EXPECT_TRUE(im->find("Shutdown_M")->params.empty());

  const auto ev = imachine_events_info();
  EXPECT_EQ(ev->find("RxMACHINExH")->params.size(), 20u);
  EXPECT_EQ(param_names(*ev->find("RxMACHINExH"))[11], "WPC1");
  const com::FunctionInfo& report = *ev->find("RxREPORTxH");
  EXPECT_EQ(param_names(report), (std::vector<std::string>{"OrderNum", "Typ", "Number", "Time", "Flag",
                                                           "ResInt1", "ResInt2", "ResByte"}));
  EXPECT_EQ(report.params[4].type, com::VT_VARIANT);
  EXPECT_EQ(ev->find("RxREPORTxH2")->params.size(), 35u);
  EXPECT_EQ(param_names(*ev->find("RxREPORTxH2"))[31], "Flag10");
  EXPECT_EQ(param_names(*ev->find("RxDATAxH"))[4], "DateVal");
}

}  // namespace
}  // namespace tarvik::control
