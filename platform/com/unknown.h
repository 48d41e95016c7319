// The root interface of every component object and a smart pointer that holds one reference.
//
// Interfaces are abstract classes. Each declares its identifier as `static constexpr Guid kIid` and
// its parent interface as `using Base = ...;` (the chain ends at IUnknown), which lets Object<...>
// (object.h) answer QueryInterface for a whole chain. Objects are never deleted through an interface:
// the last Release deletes them. Reference counts are thread-safe; everything else an object offers
// belongs to the thread its documentation names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace tarvik::com {

struct IUnknown {
  static constexpr Guid kIid = make_guid("{00000000-0000-0000-C000-000000000046}");

  // On success stores an interface pointer that holds one new reference; on failure stores nullptr.
  // E_POINTER when `out` is null, E_NOINTERFACE when the object has no such interface.
  virtual HRESULT QueryInterface(const Guid& iid, void** out) = 0;
  // Both return the new count, for diagnostics only.
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Holds one reference to an interface (or to a concrete object type). Copy adds a reference, move
// transfers it, destruction releases it.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes an additional reference to `p`.
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  // Takes over the reference the caller owns (no AddRef).
  static ComPtr adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives up the reference without releasing it.
  T* detach() { return std::exchange(p_, nullptr); }
  // For out parameters: releases what is held and returns the slot to fill.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // QueryInterface for another interface; empty on failure.
  template <class U>
  ComPtr<U> as() const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(U::kIid, out.put_void());
    return out;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Object identity: two interface pointers belong to the same object when their IUnknowns are equal.
inline bool same_object(IUnknown* a, IUnknown* b) {
  if (!a || !b) return a == b;
  ComPtr<IUnknown> ua, ub;
  a->QueryInterface(IUnknown::kIid, ua.put_void());
  b->QueryInterface(IUnknown::kIid, ub.put_void());
  return ua.get() == ub.get();
}

}  // namespace tarvik::com
