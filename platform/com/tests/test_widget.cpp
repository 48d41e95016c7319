#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {

std::shared_ptr<const TypeLibrary> widget_type_library() {
  static const std::shared_ptr<const TypeLibrary> lib = [] {
    auto l = std::make_shared<TypeLibrary>();
    l->libid = kLibidWidget;
    l->name = "WIDGETLIB";
    InterfaceInfo events{kDiidWidgetEvents, "_IWidgetEvents", "", InterfaceKind::dispatch_only, {}};
    events.functions = {
        {"Fired", kFired, FuncKind::method, {{"Number", VT_I4}, {"Text", VT_BSTR}}, ""},
        {"Stopped", kStopped, FuncKind::method, {}, ""},
    };
    l->add(std::move(events));
    l->add(ClassInfo{kClsidWidget, "Widget", "Widget Class", true, kIidIWidget, kDiidWidgetEvents});
    InterfaceInfo w{kIidIWidget, "IWidget", "", InterfaceKind::dual, {}};
    w.functions = {
        {"Name", kName, FuncKind::property_get, {{"pVal", VT_BSTR, false, true}}, ""},
        {"Name", kName, FuncKind::property_put, {{"", VT_BSTR}}, ""},
        {"Count", kCount, FuncKind::property_get, {{"pVal", VT_I4, false, true}}, ""},
        {"Count", kCount, FuncKind::property_put, {{"", VT_I4}}, ""},
        {"Small", kSmall, FuncKind::property_get, {{"pVal", VT_I2, false, true}}, ""},
        {"Small", kSmall, FuncKind::property_put, {{"", VT_I2}}, ""},
        {"Subtract", kSubtract, FuncKind::method,
         {{"Minuend", VT_I4}, {"Subtrahend", VT_I4}, {"ret", VT_I4, false, true}}, ""},
        {"Fire", kFire, FuncKind::method, {{"Number", VT_I4}, {"Text", VT_BSTR, true}}, ""},
    };
    l->add(std::move(w));
    return l;
  }();
  return lib;
}

Widget::Widget(IUnknown* outer, ModuleUsage* usage)
    : Object(outer, usage),
      dispatch_(interface_of(widget_type_library(), kIidIWidget)),
      events_(controlling_unknown(), this, kDiidWidgetEvents) {}

HRESULT Widget::Invoke(DispId id, const Guid& iid, Lcid, DispatchFlags flags, const DispParams& params,
                       Variant* result, ExcepInfo* excep, std::uint32_t* arg_err) {
  return dispatch_.invoke(id, iid, flags, params, result, excep, arg_err,
                          [this](const FunctionInfo& fn, std::span<Variant> args, Variant* retval) {
                            return call(fn, args, retval);
                          });
}

HRESULT Widget::call(const FunctionInfo& fn, std::span<Variant> args, Variant* retval) {
  const bool get = fn.kind == FuncKind::property_get;
  switch (fn.id) {
    case kName:
      if (get) return *retval = Variant::bstr(name_), S_OK;
      name_ = args[0].as_bstr();
      break;
    case kCount:
      if (get) return *retval = Variant::i4(count_), S_OK;
      if (args[0].as_i4() < 0) return E_INVALIDARG;
      count_ = args[0].as_i4();
      break;
    case kSmall:
      if (get) return *retval = Variant::i2(small_), S_OK;
      small_ = args[0].as_i2();
      break;
    case kSubtract:
      *retval = Variant::i4(args[0].as_i4() - args[1].as_i4());
      return S_OK;
    case kFire: {
      const Variant fired[] = {args[1], args[0]};  // dispatch order
      raise_event(events_, kFired, fired);
      raise_event(events_, kStopped, {});
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  dirty_ = true;
  return S_OK;
}

HRESULT Widget::EnumConnectionPoints(std::vector<ComPtr<IConnectionPoint>>* out) {
  ConnectionPoint* const points[] = {&events_};
  return enum_connection_points(points, out);
}

HRESULT Widget::FindConnectionPoint(const Guid& iid, IConnectionPoint** out) {
  ConnectionPoint* const points[] = {&events_};
  return find_connection_point(points, iid, out);
}

HRESULT Widget::GetClassID(Guid* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kClsidWidget;
  return S_OK;
}

// The stream form is the name and the count as two stored values.
HRESULT Widget::Load(IStream* stream) {
  Variant name, count;
  HRESULT hr;
  if (failed(hr = read_variant(stream, &name)) || failed(hr = change_type(name, VT_BSTR, &name))) return hr;
  name_ = name.as_bstr();
  if (failed(hr = read_variant(stream, &count)) || failed(hr = change_type(count, VT_I4, &count))) return hr;
  count_ = count.as_i4();
  return S_OK;
}

HRESULT Widget::Save(IStream* stream, bool clear_dirty) {
  HRESULT hr = write_variant(stream, Variant::bstr(name_));
  if (succeeded(hr)) hr = write_variant(stream, Variant::i4(count_));
  if (succeeded(hr) && clear_dirty) dirty_ = false;
  return hr;
}

HRESULT Widget::GetClassInfo(std::shared_ptr<const TypeLibrary>* library, Guid* clsid) {
  if (!library || !clsid) return E_POINTER;
  *library = widget_type_library();
  *clsid = kClsidWidget;
  return S_OK;
}

}  // namespace tarvik::com::testing
