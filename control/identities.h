// The identities of the RpcTarvik control: its class, its two interfaces, its type library, its
// ProgIDs and the registry values that describe it. One place, so the type information, the class
// factory, registration and the containers' tests all agree.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/com/guid.h"

namespace tarvik::control {

// Class `Machine` (CLSID_Machine) and its description.
inline constexpr com::Guid kClsidMachine = com::make_guid("{EDF199C1-4F2E-11D3-9DC3-00A0249B4877}");
inline constexpr std::string_view kMachineClassName = "Machine";
inline constexpr std::string_view kMachineClassDescription = "Machine Class";

// Dual interface IMachine (IID_IMachine).
inline constexpr com::Guid kIidIMachine = com::make_guid("{EDF199C0-4F2E-11D3-9DC3-00A0249B4877}");
inline constexpr std::string_view kIMachineName = "IMachine";
inline constexpr std::string_view kIMachineHelp = "IMachine Interface";

// Event interface _IMachineEvents (DIID__IMachineEvents), dispatch only.
inline constexpr com::Guid kDiidIMachineEvents = com::make_guid("{EDF199C2-4F2E-11D3-9DC3-00A0249B4877}");
inline constexpr std::string_view kIMachineEventsName = "_IMachineEvents";
inline constexpr std::string_view kIMachineEventsHelp = "_IMachineEvents Interface";

// Type library MEVRIX (LIBID_MEVRIX) 1.0.
inline constexpr com::Guid kLibidMevrix = com::make_guid("{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");
inline constexpr std::string_view kLibraryName = "MEVRIX";
inline constexpr std::uint16_t kLibraryMajor = 1;
inline constexpr std::uint16_t kLibraryMinor = 0;
inline constexpr std::string_view kLibraryHelp = "RPC TARVIK.OCX 1.00 RPC TARVIK control";

// ProgIDs: the versioned one and the version-independent one (whose CurVer names the first).
inline constexpr std::string_view kProgId = "Mevrix.Machine.1";
inline constexpr std::string_view kVersionIndependentProgId = "Mevrix.Machine";

// Registry values of the class key.
inline constexpr std::string_view kThreadingModel = "Apartment";
inline constexpr std::string_view kToolboxBitmapSuffix = ", 101";
// Recompose on resize (1), cannot link inside (0x10), inside-out (0x80), activate when visible
// (0x100), invisible at run time (0x400), set client site first (0x20000).
inline constexpr std::uint32_t kMiscStatus = 0x1 | 0x10 | 0x80 | 0x100 | 0x400 | 0x20000;
static_assert(kMiscStatus == 132497);

// The project name the module carries.
inline constexpr std::string_view kProjectName = "RpcTarvik";

// Display extent of a new control in 0.01 mm, and its natural extent.
inline constexpr int kInitialExtentX = 3000;
inline constexpr int kInitialExtentY = 700;
inline constexpr int kNaturalExtent = 5080;

}  // namespace tarvik::control
