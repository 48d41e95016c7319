// The RpcTarvik control's type information, reached the way any host reaches the control: its ProgID
// through the manifest beside this program (or the class registry), the module that serves the
// class, and that module's DllGetTypeLibrary. The command line links nothing of the control.
#pragma once

#include <memory>
#include <string>

#include "platform/com/hresult.h"
#include "platform/com/typeinfo.h"

namespace tarvik::cli {

// What was found: the library, and the control's class and its two interfaces within it (non-null
// whenever `library` is).
struct ControlTypeInfo {
  std::shared_ptr<const com::TypeLibrary> library;
  const com::ClassInfo* machine_class = nullptr;
  const com::InterfaceInfo* methods = nullptr;  // the class's default interface
  const com::InterfaceInfo* events = nullptr;   // its default event interface
};

// The ProgID the control is found by ("Mevrix.Machine").
const char* control_prog_id();

// Loads the type information of the module at `module_path`, or (when it is empty) of the module
// that serves the control's ProgID. On failure `why` says what was missing and the result is null.
std::shared_ptr<const com::TypeLibrary> load_type_library(const std::string& module_path, std::string* why);

// The control's type information, found by its ProgID; `library` null (and `why` set) when the
// control is not to be found or its library lacks the class or its interfaces.
ControlTypeInfo find_control_type_info(std::string* why);

}  // namespace tarvik::cli
