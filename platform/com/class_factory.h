// Class factories and the four entry points every component module (shared library) exports.
//
// A module defines the four extern "C" functions declared in module_exports.h; with the helpers here
// DllGetClassObject and DllCanUnloadNow are one line each:
//
//   static com::ModuleUsage usage;
//   static const com::ClassEntry kClasses[] = {{kClsidWidget, &com::create_object_for<Widget>}};
//   HRESULT DllGetClassObject(const Guid& c, const Guid& i, void** out) {
//     return com::get_class_object(kClasses, usage, c, i, out);
//   }
//   HRESULT DllCanUnloadNow() { return usage.idle() ? S_OK : S_FALSE; }
#pragma once

#include <span>

#include "platform/com/object.h"

namespace tarvik::com {

struct IClassFactory : IUnknown {
  static constexpr Guid kIid = make_guid("{00000001-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  // With an outer unknown the object is created aggregated and only IUnknown may be asked for
  // (CLASS_E_NOAGGREGATION otherwise, or when the class cannot be aggregated).
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
  // Keeps the module loaded (true) or lets it go again (false).
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// Creates one instance; the signature of IClassFactory::CreateInstance.
using CreateFunction = HRESULT (*)(IUnknown* outer, const Guid& iid, void** out);

// A CreateFunction for T(IUnknown* outer, ModuleUsage* usage).
template <class T, ModuleUsage* Usage = nullptr>
HRESULT create_object_for(IUnknown* outer, const Guid& iid, void** out) {
  return create_object<T>(outer, iid, out, Usage);
}

// A factory that creates through `create`. It counts as a live object of the module while held.
class ClassFactory final : public Object<IClassFactory> {
 public:
  ClassFactory(IUnknown* outer, CreateFunction create, ModuleUsage* usage);

  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) override;
  HRESULT LockServer(bool lock) override;

 private:
  CreateFunction create_;
  ModuleUsage* usage_;
};

struct ClassEntry {
  Guid clsid;
  CreateFunction create;
};

// The body of DllGetClassObject: a new factory for `clsid` queried for `iid`;
// CLASS_E_CLASSNOTAVAILABLE for a class the module does not have.
HRESULT get_class_object(std::span<const ClassEntry> classes, ModuleUsage& usage, const Guid& clsid,
                         const Guid& iid, void** out);

}  // namespace tarvik::com
