#include "platform/com/activation.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/com/class_factory.h"
#include "platform/com/class_registration.h"
#include "platform/com/module_exports.h"

namespace tarvik::com {
namespace {

struct LoadedModule {
  void* handle = nullptr;
  DllGetClassObjectFn get_class_object = nullptr;
  DllCanUnloadNowFn can_unload_now = nullptr;
  DllRegisterServerFn register_server = nullptr;
  DllUnregisterServerFn unregister_server = nullptr;
  DllGetTypeLibraryFn get_type_library = nullptr;  // optional
};

// Loaded modules by canonical path. Calls into a module happen under this lock, so that
// free_unused_modules() cannot unload a module while it runs.
std::recursive_mutex& modules_mutex() {
  static std::recursive_mutex m;
  return m;
}
std::map<std::string, LoadedModule>& modules() {
  static std::map<std::string, LoadedModule> m;
  return m;
}

std::string canonical(const std::string& path) {
  std::error_code ec;
  auto p = std::filesystem::canonical(path, ec);
  return ec ? std::string() : p.string();
}

// Loads (or finds) a module; the caller holds modules_mutex().
HRESULT load_module(const std::string& path, LoadedModule** out) {
  const std::string key = canonical(path);
  if (key.empty()) return E_MOD_NOT_FOUND;
  auto it = modules().find(key);
  if (it == modules().end()) {
    void* handle = ::dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return E_MOD_NOT_FOUND;
    LoadedModule m;
    m.handle = handle;
    m.get_class_object = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    m.can_unload_now = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
    m.register_server = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    m.unregister_server = reinterpret_cast<DllUnregisterServerFn>(::dlsym(handle, "DllUnregisterServer"));
    m.get_type_library = reinterpret_cast<DllGetTypeLibraryFn>(::dlsym(handle, "DllGetTypeLibrary"));
    if (!m.get_class_object || !m.can_unload_now || !m.register_server || !m.unregister_server) {
      ::dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    it = modules().emplace(key, m).first;
  }
  *out = &it->second;
  return S_OK;
}

}  // namespace

HRESULT clsid_from_name(std::string_view name, Guid* clsid, const ActivationPaths& paths) {
  if (!clsid) return E_POINTER;
  *clsid = kNullGuid;
  if (!name.empty() && name.front() == '{') {
    const auto g = Guid::parse(name);
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
  }
  Manifest manifest;
  HRESULT hr = load_manifest(paths.manifest, &manifest);
  if (failed(hr)) return hr;
  if (const auto g = manifest.clsid_of(name)) {
    *clsid = *g;
    return S_OK;
  }
  Registry reg;
  if (failed(hr = load_registry(paths.registry, &reg))) return hr;
  const auto g = clsid_from_prog_id(reg, name);
  if (!g) return CO_E_CLASSSTRING;
  *clsid = *g;
  return S_OK;
}

HRESULT module_of_class(const Guid& clsid, std::string* module_path, const ActivationPaths& paths) {
  if (!module_path) return E_POINTER;
  Manifest manifest;
  HRESULT hr = load_manifest(paths.manifest, &manifest);
  if (failed(hr)) return hr;
  if (const ManifestModule* m = manifest.module_of(clsid)) {
    *module_path = m->path;
    return S_OK;
  }
  Registry reg;
  if (failed(hr = load_registry(paths.registry, &reg))) return hr;
  const auto path = inproc_server(reg, clsid);
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  *module_path = *path;
  return S_OK;
}

HRESULT get_class_object(const Guid& clsid, const Guid& iid, void** out, const ActivationPaths& paths) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string path;
  HRESULT hr = module_of_class(clsid, &path, paths);
  if (failed(hr)) return hr;
  std::lock_guard lock(modules_mutex());
  LoadedModule* m = nullptr;
  if (failed(hr = load_module(path, &m))) return hr;
  return m->get_class_object(clsid, iid, out);
}

HRESULT create_instance(const Guid& clsid, IUnknown* outer, const Guid& iid, void** out,
                        const ActivationPaths& paths) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && iid != IUnknown::kIid) return CLASS_E_NOAGGREGATION;
  ComPtr<IClassFactory> factory;
  const HRESULT hr = get_class_object(clsid, IClassFactory::kIid, factory.put_void(), paths);
  if (failed(hr)) return hr;
  return factory->CreateInstance(outer, iid, out);
}

HRESULT create_instance(std::string_view clsid_or_prog_id, IUnknown* outer, const Guid& iid, void** out,
                        const ActivationPaths& paths) {
  if (!out) return E_POINTER;
  *out = nullptr;
  Guid clsid;
  const HRESULT hr = clsid_from_name(clsid_or_prog_id, &clsid, paths);
  if (failed(hr)) return hr;
  return create_instance(clsid, outer, iid, out, paths);
}

HRESULT register_module(const std::string& path) {
  std::lock_guard lock(modules_mutex());
  LoadedModule* m = nullptr;
  const HRESULT hr = load_module(path, &m);
  return failed(hr) ? hr : m->register_server();
}

HRESULT unregister_module(const std::string& path) {
  std::lock_guard lock(modules_mutex());
  LoadedModule* m = nullptr;
  const HRESULT hr = load_module(path, &m);
  return failed(hr) ? hr : m->unregister_server();
}

HRESULT load_module_type_library(const std::string& path, std::shared_ptr<const TypeLibrary>* out) {
  if (!out) return E_POINTER;
  out->reset();
  std::lock_guard lock(modules_mutex());
  LoadedModule* m = nullptr;
  HRESULT hr = load_module(path, &m);
  if (failed(hr)) return hr;
  if (!m->get_type_library) return TYPE_E_CANTLOADLIBRARY;
  hr = m->get_type_library(out);
  return succeeded(hr) && !*out ? TYPE_E_CANTLOADLIBRARY : hr;
}

HRESULT load_registered_type_library(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                                     std::shared_ptr<const TypeLibrary>* out, const ActivationPaths& paths) {
  if (!out) return E_POINTER;
  out->reset();
  Manifest manifest;
  HRESULT hr = load_manifest(paths.manifest, &manifest);
  if (failed(hr)) return hr;
  if (const ManifestModule* m = manifest.module_of_typelib(libid, major, minor))
    return load_module_type_library(m->path, out);
  Registry reg;
  if (failed(hr = load_registry(paths.registry, &reg))) return hr;
  const auto path = type_library_module(reg, libid, major, minor);
  if (!path) return TYPE_E_LIBNOTREGISTERED;
  return load_module_type_library(*path, out);
}

std::size_t free_unused_modules() {
  std::lock_guard lock(modules_mutex());
  std::size_t unloaded = 0;
  for (auto it = modules().begin(); it != modules().end();) {
    if (it->second.can_unload_now() == S_OK) {
      ::dlclose(it->second.handle);
      it = modules().erase(it);
      ++unloaded;
    } else {
      ++it;
    }
  }
  return unloaded;
}

bool module_loaded(const std::string& path) {
  std::lock_guard lock(modules_mutex());
  return modules().count(canonical(path)) != 0;
}

}  // namespace tarvik::com
