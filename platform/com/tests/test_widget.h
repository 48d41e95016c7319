// A small component built on the component layer the way a real control is: dispatch from type
// information, events through a connection point, stream persistence, class information. The unit
// tests use it in-process; test_component_module.cpp serves it from a module.
#pragma once

#include "platform/com/class_factory.h"
#include "platform/com/class_info.h"
#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/persist.h"

namespace tarvik::com::testing {

inline constexpr Guid kClsidWidget = make_guid("{6B1D3F20-9C4E-4A51-8D2E-3F6A7B8C9D01}");
inline constexpr Guid kIidIWidget = make_guid("{6B1D3F21-9C4E-4A51-8D2E-3F6A7B8C9D01}");
inline constexpr Guid kDiidWidgetEvents = make_guid("{6B1D3F22-9C4E-4A51-8D2E-3F6A7B8C9D01}");
inline constexpr Guid kLibidWidget = make_guid("{6B1D3F23-9C4E-4A51-8D2E-3F6A7B8C9D01}");
inline constexpr char kProgId[] = "Tarvik.TestWidget.1";
inline constexpr char kVersionIndependentProgId[] = "Tarvik.TestWidget";

// DISPIDs of IWidget and of the events.
enum : DispId { kName = 1, kCount = 2, kSmall = 3, kSubtract = 10, kFire = 12 };
enum : DispId { kFired = 20, kStopped = 21 };

std::shared_ptr<const TypeLibrary> widget_type_library();

class Widget final : public Object<IDispatch, IConnectionPointContainer, IPersistStreamInit, IProvideClassInfo> {
 public:
  Widget(IUnknown* outer, ModuleUsage* usage);

  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return dispatch_.type_info_count(count); }
  HRESULT GetTypeInfo(std::uint32_t index, Lcid, std::shared_ptr<const InterfaceInfo>* out) override {
    return dispatch_.type_info(index, out);
  }
  HRESULT GetIDsOfNames(const Guid& iid, std::span<const std::u16string> names, Lcid, DispId* ids) override {
    return dispatch_.ids_of_names(iid, names, ids);
  }
  HRESULT Invoke(DispId id, const Guid& iid, Lcid, DispatchFlags flags, const DispParams& params,
                 Variant* result, ExcepInfo* excep, std::uint32_t* arg_err) override;

  HRESULT EnumConnectionPoints(std::vector<ComPtr<IConnectionPoint>>* out) override;
  HRESULT FindConnectionPoint(const Guid& iid, IConnectionPoint** out) override;

  HRESULT GetClassID(Guid* clsid) override;
  HRESULT IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT InitNew() override { return S_OK; }
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, bool clear_dirty) override;
  HRESULT GetSizeMax(std::uint64_t*) override { return E_NOTIMPL; }

  HRESULT GetClassInfo(std::shared_ptr<const TypeLibrary>* library, Guid* clsid) override;

  const BStr& name() const { return name_; }
  std::int32_t count() const { return count_; }

 private:
  HRESULT call(const FunctionInfo& fn, std::span<Variant> args, Variant* retval);

  DispatchHelper dispatch_;
  ConnectionPoint events_;
  BStr name_{u"?"};
  std::int32_t count_ = 0;
  std::int16_t small_ = 0;
  bool dirty_ = false;
};

}  // namespace tarvik::com::testing
