// Creating objects by class identifier or ProgID, and loading the modules that serve them.
//
// Lookup order for a class: the program's manifest (manifest.h), then the class registry
// (registry.h, class_registration.h). The module is loaded with dlopen once per process and kept
// until free_unused_modules() finds it idle; its DllGetClassObject hands out the class factory and
// IClassFactory::CreateInstance makes the object.
//
// Failures: CO_E_CLASSSTRING (neither a class identifier nor a known ProgID), REGDB_E_CLASSNOTREG (the
// class is known to neither source), E_MOD_NOT_FOUND (the module file cannot be loaded),
// CO_E_ERRORINDLL (it lacks an entry point), REGDB_E_READREGDB / REGDB_E_INVALIDVALUE (registry or
// manifest unreadable or malformed), and whatever the module's factory answers
// (CLASS_E_CLASSNOTAVAILABLE, CLASS_E_NOAGGREGATION, E_NOINTERFACE ...).
// All functions may be called from any thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/com/manifest.h"
#include "platform/com/registry.h"
#include "platform/com/typeinfo.h"
#include "platform/com/unknown.h"

namespace tarvik::com {

// Where activation looks; the defaults are the program's manifest and the per-user registry, read at
// the time of each call (so TARVIK_REGISTRY set by a test takes effect).
struct ActivationPaths {
  std::string manifest = default_manifest_path();
  std::string registry = registry_path();
};

// "{...}" text is taken as a class identifier as it stands; anything else as a ProgID.
HRESULT clsid_from_name(std::string_view name, Guid* clsid, const ActivationPaths& paths = {});
// The path of the module serving `clsid`.
HRESULT module_of_class(const Guid& clsid, std::string* module_path, const ActivationPaths& paths = {});

HRESULT get_class_object(const Guid& clsid, const Guid& iid, void** out, const ActivationPaths& paths = {});
HRESULT create_instance(const Guid& clsid, IUnknown* outer, const Guid& iid, void** out,
                        const ActivationPaths& paths = {});
HRESULT create_instance(std::string_view clsid_or_prog_id, IUnknown* outer, const Guid& iid, void** out,
                        const ActivationPaths& paths = {});

template <class T>
HRESULT create_instance(std::string_view clsid_or_prog_id, ComPtr<T>* out,
                        const ActivationPaths& paths = {}) {
  return create_instance(clsid_or_prog_id, nullptr, T::kIid, out->put_void(), paths);
}

// Self-registration of a module file (loads it and calls DllRegisterServer / DllUnregisterServer).
HRESULT register_module(const std::string& path);
HRESULT unregister_module(const std::string& path);

// The type information a module offers through DllGetTypeLibrary (TYPE_E_CANTLOADLIBRARY when it
// offers none).
HRESULT load_module_type_library(const std::string& path, std::shared_ptr<const TypeLibrary>* out);
// The type library registered (manifest first, then registry) under `libid` and version;
// TYPE_E_LIBNOTREGISTERED when neither knows it.
HRESULT load_registered_type_library(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                                     std::shared_ptr<const TypeLibrary>* out,
                                     const ActivationPaths& paths = {});

// Unloads every loaded module whose DllCanUnloadNow answers S_OK; returns how many were unloaded.
std::size_t free_unused_modules();
// Whether a module file is currently loaded by activation.
bool module_loaded(const std::string& path);

}  // namespace tarvik::com
