// The entry points of a component module (a shared library that serves classes).
//
// A module defines all four; activation (activation.h) finds them with dlsym:
//   DllRegisterServer    writes the module's classes (and type library) into the class registry
//                        (registry_path(), so TARVIK_REGISTRY redirects it).
//   DllUnregisterServer  removes what DllRegisterServer wrote.
//   DllGetClassObject    hands out the class factory of a class (CLASS_E_CLASSNOTAVAILABLE otherwise).
//   DllCanUnloadNow      S_OK when no object, factory or server lock of the module is alive, else S_FALSE.
// Optionally, in place of a type library resource:
//   DllGetTypeLibrary    the module's type information.
// They may be called from any thread. Build a module with tarvik_com_module() (CMake), which exports
// these symbols and nothing else.
#pragma once

#include <memory>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace tarvik::com {
struct TypeLibrary;
}

#define TARVIK_COM_EXPORT __attribute__((visibility("default")))

extern "C" {
TARVIK_COM_EXPORT tarvik::com::HRESULT DllRegisterServer();
TARVIK_COM_EXPORT tarvik::com::HRESULT DllUnregisterServer();
TARVIK_COM_EXPORT tarvik::com::HRESULT DllGetClassObject(const tarvik::com::Guid& clsid,
                                                         const tarvik::com::Guid& iid, void** out);
TARVIK_COM_EXPORT tarvik::com::HRESULT DllCanUnloadNow();
TARVIK_COM_EXPORT tarvik::com::HRESULT DllGetTypeLibrary(
    std::shared_ptr<const tarvik::com::TypeLibrary>* out);
}

namespace tarvik::com {
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(const Guid& clsid, const Guid& iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllGetTypeLibraryFn = HRESULT (*)(std::shared_ptr<const TypeLibrary>* out);
}  // namespace tarvik::com
