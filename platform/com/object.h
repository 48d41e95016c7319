// Building blocks for implementing component objects: reference counting, QueryInterface over a list
// of interfaces, aggregation, and per-module counts for DllCanUnloadNow.
//
//   class Widget final : public com::Object<com::IDispatch, com::IPersistStreamInit> {
//    public:
//     using Object::Object;                       // (IUnknown* outer, ModuleUsage* usage)
//     ... the interfaces' methods ...
//   };
//   ComPtr<IDispatch> d;
//   HRESULT hr = com::create_object<Widget>(outer, IDispatch::kIid, d.put_void());
//
// Aggregation: an object created with an outer unknown delegates QueryInterface, AddRef and Release of
// all its interfaces to that outer object, and hands the outer its non-delegating inner unknown
// (the only pointer through which the outer may query it and which keeps it alive). Not aggregated,
// the inner unknown is the object's identity.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>

#include "platform/com/unknown.h"

namespace tarvik::com {

// Live objects and server locks of one module (shared library). A module keeps one instance, passes
// it to its objects and class factories, and answers DllCanUnloadNow with idle(). Thread-safe.
class ModuleUsage {
 public:
  void object_created() { objects_.fetch_add(1, std::memory_order_relaxed); }
  void object_destroyed() { objects_.fetch_sub(1, std::memory_order_acq_rel); }
  void lock() { locks_.fetch_add(1, std::memory_order_relaxed); }
  void unlock() { locks_.fetch_sub(1, std::memory_order_acq_rel); }
  long objects() const { return objects_.load(std::memory_order_acquire); }
  long locks() const { return locks_.load(std::memory_order_acquire); }
  bool idle() const { return objects() == 0 && locks() == 0; }

 private:
  std::atomic<long> objects_{0};
  std::atomic<long> locks_{0};
};

// The reference count, the inner (non-delegating) unknown and the outer pointer. Use through Object<>.
class ObjectCore {
 public:
  ObjectCore(const ObjectCore&) = delete;
  ObjectCore& operator=(const ObjectCore&) = delete;

  // The non-delegating unknown: the object's identity when not aggregated, and what an aggregating
  // outer object holds.
  IUnknown* inner_unknown() { return &inner_; }
  // Where QueryInterface/AddRef/Release of every interface go: the outer when aggregated, else inner.
  IUnknown* controlling_unknown() const { return outer_; }
  bool aggregated() const { return outer_ != &inner_; }

 protected:
  // `outer`: the aggregating object, or nullptr. `usage`: the module's counts, or nullptr.
  explicit ObjectCore(IUnknown* outer, ModuleUsage* usage);
  virtual ~ObjectCore();
  // This object's pointer for `iid` (IUnknown is answered before this is asked), or nullptr.
  virtual void* find_interface(const Guid& iid) = 0;

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(ObjectCore* owner) : owner_(owner) {}
    HRESULT QueryInterface(const Guid& iid, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

   private:
    ObjectCore* owner_;
  };

  Inner inner_{this};
  IUnknown* outer_;
  ModuleUsage* usage_;
  std::atomic<std::uint32_t> refs_{0};
};

namespace detail {
template <class I>
void* match_interface(const Guid& iid, I* p) {
  if (iid == I::kIid) return p;
  if constexpr (!std::is_same_v<typename I::Base, IUnknown>) {
    return match_interface<typename I::Base>(iid, static_cast<typename I::Base*>(p));
  } else {
    return nullptr;
  }
}
}  // namespace detail

// An object implementing `Interfaces...` (each with its Base chain). Derived classes implement the
// interfaces' methods and may answer further identifiers (tear-offs, aggregated inner objects) by
// overriding find_extra_interface.
template <class... Interfaces>
class Object : public Interfaces..., public ObjectCore {
 public:
  explicit Object(IUnknown* outer = nullptr, ModuleUsage* usage = nullptr) : ObjectCore(outer, usage) {}

  HRESULT QueryInterface(const Guid& iid, void** out) override {
    return controlling_unknown()->QueryInterface(iid, out);
  }
  std::uint32_t AddRef() override { return controlling_unknown()->AddRef(); }
  std::uint32_t Release() override { return controlling_unknown()->Release(); }

 protected:
  virtual void* find_extra_interface(const Guid&) { return nullptr; }

 private:
  void* find_interface(const Guid& iid) final {
    void* p = nullptr;
    ((p = p ? p : detail::match_interface<Interfaces>(iid, static_cast<Interfaces*>(this))), ...);
    return p ? p : find_extra_interface(iid);
  }
};

// Creates a T (constructed as T(outer, args...)) and queries it for `iid`; the usual body of
// IClassFactory::CreateInstance. With an outer unknown only IUnknown may be asked for
// (CLASS_E_NOAGGREGATION otherwise). The object is deleted again when the query fails.
template <class T, class... Args>
HRESULT create_object(IUnknown* outer, const Guid& iid, void** out, Args&&... args) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && iid != IUnknown::kIid) return CLASS_E_NOAGGREGATION;
  T* obj = new (std::nothrow) T(outer, std::forward<Args>(args)...);
  if (!obj) return E_OUTOFMEMORY;
  IUnknown* inner = obj->inner_unknown();
  inner->AddRef();
  const HRESULT hr = inner->QueryInterface(iid, out);
  inner->Release();
  return hr;
}

// A new, non-aggregated T held by a ComPtr (for objects used inside one program: streams, bags).
template <class T, class... Args>
ComPtr<T> make_object(Args&&... args) {
  return ComPtr<T>(new T(nullptr, std::forward<Args>(args)...));
}

}  // namespace tarvik::com
