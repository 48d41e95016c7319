// The seven properties of IMachine: dispatch identifier, name, variant type and help string, in the
// order of the interface. The type information, the dispatch of property calls and both persistence
// forms read this one table.
#pragma once

#include <array>
#include <string_view>

#include "platform/com/typeinfo.h"
#include "platform/com/variant.h"

namespace tarvik::control {

enum class Property : com::DispId {
  MachineID = 1,
  MachineIP = 2,
  MachinePort = 3,
  MachineTimeout = 4,
  HostID = 5,
  HostPort = 6,
  HostEnabled = 7,
};

struct PropertyInfo {
  Property id;
  std::string_view name;
  com::VarType type;
  std::string_view help;
  bool persisted;  // HostEnabled is not kept with the container's data
};

inline constexpr std::array<PropertyInfo, 7> kProperties{{
    {Property::MachineID, "MachineID", com::VT_BSTR, "MEVRIX machine name", true},
    {Property::MachineIP, "MachineIP", com::VT_BSTR, "MEVRIX IP adress or network name", true},
    {Property::MachinePort, "MachinePort", com::VT_I4, "EndPoint used from MEVRIX on this machine", true},
    {Property::MachineTimeout, "MachineTimeout", com::VT_I2, "Timeout for machine RPC", true},
    {Property::HostID, "HostID", com::VT_BSTR, "Host name in the MEVRIX configuration", true},
    {Property::HostPort, "HostPort", com::VT_I4, "Host EndPoint in theMEVRIX configuration", true},
    {Property::HostEnabled, "HostEnabled", com::VT_BOOL, "get/set host activity", false},
}};

constexpr com::DispId dispid(Property p) {
  return static_cast<com::DispId>(p);
}

constexpr const PropertyInfo* find_property(com::DispId id) {
  for (const PropertyInfo& p : kProperties)
    if (dispid(p.id) == id) return &p;
  return nullptr;
}

}  // namespace tarvik::control
