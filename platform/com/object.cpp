#include "platform/com/object.h"

namespace tarvik::com {

ObjectCore::ObjectCore(IUnknown* outer, ModuleUsage* usage) : outer_(outer ? outer : &inner_), usage_(usage) {
  if (usage_) usage_->object_created();
}

ObjectCore::~ObjectCore() {
  if (usage_) usage_->object_destroyed();
}

HRESULT ObjectCore::Inner::QueryInterface(const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IUnknown::kIid) {
    *out = this;
    AddRef();
    return S_OK;
  }
  void* p = owner_->find_interface(iid);
  *out = p;
  if (!p) return E_NOINTERFACE;
  // The interface's own AddRef goes to the controlling unknown, as every later call on it will.
  owner_->outer_->AddRef();
  return S_OK;
}

std::uint32_t ObjectCore::Inner::AddRef() {
  return owner_->refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::uint32_t ObjectCore::Inner::Release() {
  const std::uint32_t left = owner_->refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete owner_;
  return left;
}

}  // namespace tarvik::com
