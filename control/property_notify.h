// IPropertyNotifySink: the interface through which a control tells its container that a property
// changed (and, for a visible control, that its view must be drawn again).
#pragma once

#include "platform/com/typeinfo.h"
#include "platform/com/unknown.h"

namespace tarvik::control {

struct IPropertyNotifySink : com::IUnknown {
  static constexpr com::Guid kIid = com::make_guid("{9BFBBC02-EFF1-101A-84ED-00AA00341D07}");
  using Base = com::IUnknown;

  virtual com::HRESULT OnChanged(com::DispId id) = 0;
  virtual com::HRESULT OnRequestEdit(com::DispId id) = 0;

 protected:
  ~IPropertyNotifySink() = default;
};

}  // namespace tarvik::control
