// Shared helpers of the control's in-process tests: Machine objects created the way the class
// factory creates them, typed property access through IMachine and dispatch calls by DISPID.
#pragma once

#include <gtest/gtest.h>

#include "control/host.h"
#include "control/imachine.h"
#include "control/machine.h"

namespace tarvik::control::test {

inline com::ComPtr<IMachine> new_machine() {
  com::ComPtr<IMachine> m;
  EXPECT_EQ(com::create_object<CMachine>(nullptr, IMachine::kIid, m.put_void(),
                                         static_cast<com::ModuleUsage*>(nullptr)),
            com::S_OK);
  return m;
}

inline CMachine* impl(const com::ComPtr<IMachine>& m) {
  return static_cast<CMachine*>(m.get());
}

inline com::Variant get(const com::ComPtr<IMachine>& m, Property p) {
  com::Variant v;
  EXPECT_EQ(com::get_property(m.get(), dispid(p), &v), com::S_OK);
  return v;
}

inline com::HRESULT put(const com::ComPtr<IMachine>& m, Property p, const com::Variant& v) {
  return com::put_property(m.get(), dispid(p), v);
}

inline com::Variant text(std::u16string_view s) {
  return com::Variant::bstr(com::BStr(s));
}

// Calls a telegram method through Invoke with its arguments in declaration order; returns `ret`.
inline std::int32_t call(const com::ComPtr<IMachine>& m, com::DispId id, std::vector<com::Variant> args) {
  com::Variant ret;
  EXPECT_EQ(com::invoke(m.get(), id, com::DISPATCH_METHOD, args, &ret), com::S_OK);
  return ret.as_i4();
}

inline constexpr com::DispId kT_MACHINE_M = 10;

}  // namespace tarvik::control::test
