// IProvideClassInfo: how a container learns, from the object alone, which class it is and which
// event interface it raises (to name events and check their arguments).
#pragma once

#include <memory>

#include "platform/com/typeinfo.h"
#include "platform/com/unknown.h"

namespace tarvik::com {

struct IProvideClassInfo : IUnknown {
  static constexpr Guid kIid = make_guid("{B196B283-BAB4-101A-B69C-00AA00341D07}");
  using Base = IUnknown;

  // The type library that describes the object, and the object's class identifier within it.
  virtual HRESULT GetClassInfo(std::shared_ptr<const TypeLibrary>* library, Guid* clsid) = 0;

 protected:
  ~IProvideClassInfo() = default;
};

// The description of the object's default event interface; nullptr when the object does not say.
inline std::shared_ptr<const InterfaceInfo> default_source_interface(IUnknown* object) {
  if (!object) return nullptr;
  ComPtr<IProvideClassInfo> info;
  if (failed(object->QueryInterface(IProvideClassInfo::kIid, info.put_void()))) return nullptr;
  std::shared_ptr<const TypeLibrary> lib;
  Guid clsid;
  if (failed(info->GetClassInfo(&lib, &clsid)) || !lib) return nullptr;
  const ClassInfo* c = lib->find_class(clsid);
  return c ? interface_of(lib, c->default_source) : nullptr;
}

}  // namespace tarvik::com
