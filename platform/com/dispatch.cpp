#include "platform/com/dispatch.h"

#include <vector>

namespace tarvik::com {

HRESULT DispatchHelper::type_info_count(std::uint32_t* count) const {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT DispatchHelper::type_info(std::uint32_t index, std::shared_ptr<const InterfaceInfo>* out) const {
  if (!out) return E_POINTER;
  out->reset();
  if (index != 0) return DISP_E_BADINDEX;
  *out = info_;
  return S_OK;
}

HRESULT DispatchHelper::ids_of_names(const Guid& iid, std::span<const std::u16string> names,
                                     DispId* ids) const {
  if (!iid.is_null()) return DISP_E_UNKNOWNINTERFACE;
  return com::ids_of_names(*info_, names, ids);
}

HRESULT DispatchHelper::invoke(DispId id, const Guid& iid, DispatchFlags flags, const DispParams& params,
                               Variant* result, ExcepInfo* excep, std::uint32_t* arg_err,
                               const DispatchCall& call) const {
  if (!iid.is_null()) return DISP_E_UNKNOWNINTERFACE;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const FunctionInfo* fn = nullptr;
  if (put) {
    fn = info_->find(id, FuncKind::property_put);
  } else {
    // Callers that do not know whether a member is a method or a property pass both flags.
    if (flags & DISPATCH_METHOD) fn = info_->find(id, FuncKind::method);
    if (!fn && (flags & DISPATCH_PROPERTYGET)) fn = info_->find(id, FuncKind::property_get);
  }
  if (!fn) return DISP_E_MEMBERNOTFOUND;

  // Named arguments are not supported, except the name a put gives its value.
  const bool named_ok =
      params.named.empty() || (put && params.named.size() == 1 && params.named[0] == DISPID_PROPERTYPUT);
  if (!named_ok) return DISP_E_NONAMEDARGS;

  const std::size_t n = fn->argument_count();
  if (params.args.size() > n) return DISP_E_BADPARAMCOUNT;
  if (params.args.size() < n) return DISP_E_PARAMNOTOPTIONAL;

  std::vector<Variant> args(n);
  std::size_t natural = 0;
  for (const ParamInfo& p : fn->params) {
    if (p.retval) continue;
    const std::size_t dispatch_index = n - 1 - natural;
    const HRESULT hr = change_type(params.args[dispatch_index], p.type, &args[natural]);
    if (failed(hr)) {
      if (arg_err) *arg_err = static_cast<std::uint32_t>(dispatch_index);
      return hr;
    }
    ++natural;
  }

  Variant retval;
  const HRESULT hr = call(*fn, args, fn->retval() ? &retval : nullptr);
  if (failed(hr)) {
    if (excep) *excep = ExcepInfo{0, BStr(), BStr(), hr};
    return hr;
  }
  if (result) *result = fn->retval() ? std::move(retval) : Variant();
  return hr;
}

HRESULT invoke(IDispatch* target, DispId id, DispatchFlags flags, std::span<const Variant> args_in_order,
               Variant* result) {
  if (!target) return E_POINTER;
  std::vector<Variant> args(args_in_order.rbegin(), args_in_order.rend());
  static constexpr DispId kPut[] = {DISPID_PROPERTYPUT};
  DispParams params{args, {}};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) params.named = kPut;
  return target->Invoke(id, kNullGuid, kLocaleUserDefault, flags, params, result, nullptr, nullptr);
}

HRESULT get_property(IDispatch* target, DispId id, Variant* result) {
  return invoke(target, id, DISPATCH_PROPERTYGET, {}, result);
}

HRESULT put_property(IDispatch* target, DispId id, const Variant& value) {
  return invoke(target, id, DISPATCH_PROPERTYPUT, std::span<const Variant>(&value, 1));
}

DispId dispid_of(IDispatch* target, std::u16string_view name) {
  if (!target) return DISPID_UNKNOWN;
  const std::u16string names[] = {std::u16string(name)};
  DispId id = DISPID_UNKNOWN;
  if (failed(target->GetIDsOfNames(kNullGuid, names, kLocaleUserDefault, &id))) return DISPID_UNKNOWN;
  return id;
}

}  // namespace tarvik::com
