#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {

std::shared_ptr<const TypeLibrary> widget_type_library() {
  static const std::shared_ptr<const TypeLibrary> lib = [] {
    auto l = std::make_shared<TypeLibrary>();
    l->libid = kLibidWidget;
    l->name = "WIDGETLIB";
    l->help = "Test widget library";
    InterfaceInfo events{
        kDiidWidgetEvents, "_IWidgetEvents", "Widget events", InterfaceKind::dispatch_only, {}};
    events.functions = {
        {"Fired", kFired, FuncKind::method, {{"Number", VT_I4}, {"Text", VT_BSTR}}, ""},
        {"Stopped", kStopped, FuncKind::method, {}, ""},
    };
    l->add(std::move(events));
    l->add(ClassInfo{kClsidWidget, "Widget", "Widget Class", true, kIidIWidget, kDiidWidgetEvents});
    InterfaceInfo w{kIidIWidget, "IWidget", "IWidget Interface", InterfaceKind::dual, {}};
    const ParamInfo ret_i4{"ret", VT_I4, false, true};
    w.functions = {
        {"Name", kName, FuncKind::property_get, {{"pVal", VT_BSTR, false, true}}, "the name"},
        {"Name", kName, FuncKind::property_put, {{"", VT_BSTR}}, "the name"},
        {"Count", kCount, FuncKind::property_get, {{"pVal", VT_I4, false, true}}, ""},
        {"Count", kCount, FuncKind::property_put, {{"", VT_I4}}, ""},
        {"Small", kSmall, FuncKind::property_get, {{"pVal", VT_I2, false, true}}, ""},
        {"Small", kSmall, FuncKind::property_put, {{"", VT_I2}}, ""},
        {"Subtract", kSubtract, FuncKind::method, {{"Minuend", VT_I4}, {"Subtrahend", VT_I4}, ret_i4}, ""},
        {"Concat",
         kConcat,
         FuncKind::method,
         {{"Left", VT_BSTR, true}, {"Right", VT_BSTR, true}, {"ret", VT_BSTR, false, true}},
         ""},
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
    case kConcat:
      *retval = Variant::bstr(BStr(args[0].as_bstr().str() + args[1].as_bstr().str()));
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

HRESULT Widget::Load(IStream* stream) {
  std::uint8_t v[4];
  HRESULT hr = read_exact(stream, v, 4);
  if (failed(hr)) return hr;
  if ((v[0] | v[1] << 8 | v[2] << 16 | static_cast<std::uint32_t>(v[3]) << 24) > kStreamVersion)
    return E_FAIL;
  Variant name, count;
  if (failed(hr = read_variant(stream, &name)) || failed(hr = change_type(name, VT_BSTR, &name))) return hr;
  name_ = name.as_bstr();
  if (failed(hr = read_variant(stream, &count)) || failed(hr = change_type(count, VT_I4, &count))) return hr;
  count_ = count.as_i4();
  return S_OK;
}

HRESULT Widget::Save(IStream* stream, bool clear_dirty) {
  const std::uint8_t v[4] = {kStreamVersion & 0xFF, kStreamVersion >> 8, 0, 0};
  HRESULT hr = write_all(stream, v, 4);
  if (succeeded(hr)) hr = write_variant(stream, Variant::bstr(name_));
  if (succeeded(hr)) hr = write_variant(stream, Variant::i4(count_));
  if (succeeded(hr) && clear_dirty) dirty_ = false;
  return hr;
}

HRESULT Widget::GetSizeMax(std::uint64_t* size) {
  if (!size) return E_POINTER;
  *size = 4 + 6 + name_.byte_length() + 2 + 6;
  return S_OK;
}

HRESULT Widget::Load(IPropertyBag* bag) {
  if (!bag) return E_POINTER;
  Variant v = Variant::bstr(BStr());
  if (succeeded(bag->Read(u"Name", &v))) name_ = v.as_bstr();
  v = Variant::i4(0);
  if (succeeded(bag->Read(u"Count", &v))) count_ = v.as_i4();
  return S_OK;
}

HRESULT Widget::Save(IPropertyBag* bag, bool clear_dirty, bool) {
  if (!bag) return E_POINTER;
  HRESULT hr = bag->Write(u"Name", Variant::bstr(name_));
  if (succeeded(hr)) hr = bag->Write(u"Count", Variant::i4(count_));
  if (succeeded(hr) && clear_dirty) dirty_ = false;
  return hr;
}

HRESULT Widget::GetClassInfo(std::shared_ptr<const TypeLibrary>* library, Guid* clsid) {
  if (!library || !clsid) return E_POINTER;
  *library = widget_type_library();
  *clsid = kClsidWidget;
  return S_OK;
}

HRESULT Widget::Draw(DrawTarget* target, const Rect& r) {
  if (!target) return E_POINTER;
  target->fill_rect(r, rgb(255, 255, 192));
  target->frame_rect(r, rgb(0, 0, 0));
  target->text_out(r.left + 10, r.top + 18, TextAlign::baseline_left, u"Widget : " + name_.str());
  return S_OK;
}

HRESULT Widget::GetExtent(Size* extent) {
  if (!extent) return E_POINTER;
  *extent = {3000, 700};
  return S_OK;
}

}  // namespace tarvik::com::testing
