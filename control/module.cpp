// The module entry points of libRpcTarvik.so: its one class Machine, its registration and its type
// information.
#include <string>

#include "control/identities.h"
#include "control/machine.h"
#include "control/type_library.h"
#include "platform/com/class_factory.h"
#include "platform/com/class_registration.h"
#include "platform/com/module_exports.h"

namespace tarvik::control {
namespace {

com::ModuleUsage g_usage;

com::HRESULT create_machine(com::IUnknown* outer, const com::Guid& iid, void** out) {
  return com::create_object<CMachine>(outer, iid, out, &g_usage);
}

const com::ClassEntry kClasses[] = {{kClsidMachine, &create_machine}};

std::string this_module() {
  return com::module_path_of(reinterpret_cast<const void*>(&create_machine));
}

com::ClassRegistration machine_registration(const std::string& module) {
  com::ClassRegistration c;
  c.clsid = kClsidMachine;
  c.description = std::string(kMachineClassDescription);
  c.prog_id = std::string(kProgId);
  c.version_independent_prog_id = std::string(kVersionIndependentProgId);
  c.module_path = module;
  c.threading_model = std::string(kThreadingModel);
  c.typelib = kLibidMevrix;
  c.version = std::to_string(kLibraryMajor) + "." + std::to_string(kLibraryMinor);
  c.extra_keys = {
      {"Programmable", std::nullopt},
      {"Control", std::nullopt},
      {"Insertable", std::nullopt},
      {"ToolboxBitmap32", module + std::string(kToolboxBitmapSuffix)},
      {"MiscStatus", "0"},
      {"MiscStatus\\1", std::to_string(kMiscStatus)},
  };
  return c;
}

com::TypeLibRegistration typelib_registration(const std::string& module) {
  return com::TypeLibRegistration{kLibidMevrix, kLibraryMajor, kLibraryMinor, std::string(kLibraryHelp),
                                  module};
}

}  // namespace

}  // namespace tarvik::control

using namespace tarvik;

extern "C" com::HRESULT DllRegisterServer() {
  const std::string module = control::this_module();
  if (module.empty()) return com::SELFREG_E_CLASS;
  const com::ClassRegistration classes[] = {control::machine_registration(module)};
  const com::TypeLibRegistration typelib = control::typelib_registration(module);
  return com::register_server(classes, &typelib);
}

extern "C" com::HRESULT DllUnregisterServer() {
  const com::Guid clsids[] = {control::kClsidMachine};
  const com::TypeLibRegistration typelib = control::typelib_registration(control::this_module());
  return com::unregister_server(clsids, &typelib);
}

extern "C" com::HRESULT DllGetClassObject(const com::Guid& clsid, const com::Guid& iid, void** out) {
  return com::get_class_object(control::kClasses, control::g_usage, clsid, iid, out);
}

extern "C" com::HRESULT DllCanUnloadNow() {
  return control::g_usage.idle() ? com::S_OK : com::S_FALSE;
}

extern "C" com::HRESULT DllGetTypeLibrary(std::shared_ptr<const com::TypeLibrary>* out) {
  if (!out) return com::E_POINTER;
  *out = control::mevrix_type_library();
  return com::S_OK;
}
