#include "platform/com/class_factory.h"

namespace tarvik::com {

ClassFactory::ClassFactory(IUnknown* outer, CreateFunction create, ModuleUsage* usage)
    : Object(outer, usage), create_(create), usage_(usage) {}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && iid != IUnknown::kIid) return CLASS_E_NOAGGREGATION;
  return create_(outer, iid, out);
}

HRESULT ClassFactory::LockServer(bool lock) {
  if (usage_) lock ? usage_->lock() : usage_->unlock();
  return S_OK;
}

HRESULT get_class_object(std::span<const ClassEntry> classes, ModuleUsage& usage, const Guid& clsid,
                         const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ClassEntry& c : classes)
    if (c.clsid == clsid) return create_object<ClassFactory>(nullptr, iid, out, c.create, &usage);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace tarvik::com
