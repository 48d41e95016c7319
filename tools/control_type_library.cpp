#include "tools/control_type_library.h"

#include "platform/com/activation.h"

#ifndef TARVIK_CONTROL_PROGID
#error "TARVIK_CONTROL_PROGID is defined by the build (from control/identities.h)"
#endif

namespace tarvik::cli {
namespace {

// Where the control's class is looked up, for messages.
std::string lookup_places() {
  const std::string manifest = com::default_manifest_path();
  return "the manifest " + (manifest.empty() ? std::string("(none)") : manifest) + " and the registry " +
         com::registry_path();
}

}  // namespace

const char* control_prog_id() { return TARVIK_CONTROL_PROGID; }

std::shared_ptr<const com::TypeLibrary> load_type_library(const std::string& module_path, std::string* why) {
  std::string module = module_path;
  if (module.empty()) {
    com::Guid clsid;
    com::HRESULT hr = com::clsid_from_name(control_prog_id(), &clsid);
    if (com::succeeded(hr)) hr = com::module_of_class(clsid, &module);
    if (com::failed(hr)) {
      *why = std::string(control_prog_id()) + " is not found in " + lookup_places() + " (" +
             com::hresult_name(hr) + ")";
      return nullptr;
    }
  }
  std::shared_ptr<const com::TypeLibrary> lib;
  if (const com::HRESULT hr = com::load_module_type_library(module, &lib); com::failed(hr) || !lib) {
    *why = "cannot read the type library of " + module + ": " + com::hresult_name(hr);
    return nullptr;
  }
  return lib;
}

ControlTypeInfo find_control_type_info(std::string* why) {
  ControlTypeInfo info;
  std::shared_ptr<const com::TypeLibrary> lib = load_type_library("", why);
  if (!lib) return info;
  com::Guid clsid;
  (void)com::clsid_from_name(control_prog_id(), &clsid);
  const com::ClassInfo* c = lib->find_class(clsid);
  const com::InterfaceInfo* methods = c ? lib->find_interface(c->default_interface) : nullptr;
  const com::InterfaceInfo* events = c ? lib->find_interface(c->default_source) : nullptr;
  if (!methods || !events) {
    *why = "the type library " + lib->name + " does not describe the class of " + control_prog_id() +
           " with its interfaces";
    return info;
  }
  info.library = std::move(lib);
  info.machine_class = c;
  info.methods = methods;
  info.events = events;
  return info;
}

}  // namespace tarvik::cli
