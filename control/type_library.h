// The type library MEVRIX, generated from the telegram table and the property table: the event
// interface _IMachineEvents (the events of the `_H` telegrams, DISPIDs 10-20), the creatable class
// Machine, and the dual interface IMachine (seven properties with a get and a put each, DISPIDs 1-7,
// then the seventeen telegram methods, DISPIDs 10-26).
//
// Built once on first use and shared, immutable, by every object and printer; safe from any thread.
#pragma once

#include <memory>

#include "platform/com/typeinfo.h"

namespace tarvik::control {

const std::shared_ptr<const com::TypeLibrary>& mevrix_type_library();

// The two interfaces of the library (kept alive by the library).
std::shared_ptr<const com::InterfaceInfo> imachine_info();
std::shared_ptr<const com::InterfaceInfo> imachine_events_info();

}  // namespace tarvik::control
