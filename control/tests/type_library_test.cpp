// The type library MEVRIX as the telegram and property tables generate it: the names and types that
// are easy to get wrong (slot order is checked against the compiled interface in typed_methods_test.cpp).
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
