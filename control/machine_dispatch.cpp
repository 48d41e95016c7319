// IDispatch of CMachine: property calls go to the accessors by the property table, method calls to
// the telegram of the same DISPID in the telegram table.
#include <vector>

#include "control/machine.h"
#include "control/type_library.h"
#include "protocol/telegram_table.h"

namespace tarvik::control {
namespace {

const com::DispatchHelper& dispatcher() {
  static const com::DispatchHelper helper(imachine_info());
  return helper;
}

// The `_M` telegram whose method has this DISPID, or nullptr.
const protocol::TelegramInfo* telegram_of(com::DispId id) {
  for (const protocol::TelegramInfo& t : protocol::telegrams(protocol::Interface::machine))
    if (t.method_dispid == id) return &t;
  return nullptr;
}

}  // namespace

com::HRESULT CMachine::GetClassInfo(std::shared_ptr<const com::TypeLibrary>* library, com::Guid* clsid) {
  if (!library || !clsid) return com::E_POINTER;
  *library = mevrix_type_library();
  *clsid = kClsidMachine;
  return com::S_OK;
}

com::HRESULT CMachine::GetTypeInfoCount(std::uint32_t* count) {
  return dispatcher().type_info_count(count);
}

com::HRESULT CMachine::GetTypeInfo(std::uint32_t index, com::Lcid,
                                   std::shared_ptr<const com::InterfaceInfo>* out) {
  return dispatcher().type_info(index, out);
}

com::HRESULT CMachine::GetIDsOfNames(const com::Guid& iid, std::span<const std::u16string> names, com::Lcid,
                                     com::DispId* ids) {
  return dispatcher().ids_of_names(iid, names, ids);
}

com::HRESULT CMachine::Invoke(com::DispId id, const com::Guid& iid, com::Lcid, com::DispatchFlags flags,
                              const com::DispParams& params, com::Variant* result, com::ExcepInfo* excep,
                              std::uint32_t* arg_err) {
  return dispatcher().invoke(id, iid, flags, params, result, excep, arg_err,
                             [this](const com::FunctionInfo& fn, std::span<com::Variant> args,
                                    com::Variant* retval) -> com::HRESULT {
                               if (const PropertyInfo* p = find_property(fn.id)) {
                                 if (fn.kind == com::FuncKind::property_get)
                                   return get_property(p->id, retval);
                                 return put_property(p->id, args[0]);
                               }
                               // The helper has converted the arguments to the declared types
                               // already: they go to the telegram as they are.
                               const protocol::TelegramInfo* t = telegram_of(fn.id);
                               if (!t) return com::DISP_E_MEMBERNOTFOUND;
                               std::int32_t ret = 0;
                               const com::HRESULT hr = send_typed(*t, args, &ret);
                               if (retval && com::succeeded(hr)) *retval = com::Variant::i4(ret);
                               return hr;
                             });
}

com::HRESULT CMachine::get_property(Property p, com::Variant* value) {
  if (!value) return com::E_POINTER;
  com::HRESULT hr = com::S_OK;
  switch (p) {
    case Property::MachineID:
    case Property::MachineIP:
    case Property::HostID: {
      com::BStr s;
      hr = p == Property::MachineID   ? get_MachineID(&s)
           : p == Property::MachineIP ? get_MachineIP(&s)
                                      : get_HostID(&s);
      *value = com::Variant::bstr(std::move(s));
      break;
    }
    case Property::MachinePort:
    case Property::HostPort: {
      std::int32_t n = 0;
      hr = p == Property::MachinePort ? get_MachinePort(&n) : get_HostPort(&n);
      *value = com::Variant::i4(n);
      break;
    }
    case Property::MachineTimeout: {
      std::int16_t n = 0;
      hr = get_MachineTimeout(&n);
      *value = com::Variant::i2(n);
      break;
    }
    case Property::HostEnabled: {
      com::VariantBool b = com::kVariantFalse;
      hr = get_HostEnabled(&b);
      *value = com::Variant::boolean(b != 0);
      break;
    }
  }
  return hr;
}

com::HRESULT CMachine::put_property(Property p, const com::Variant& value) {
  const PropertyInfo* info = find_property(dispid(p));
  com::Variant v;
  if (const com::HRESULT hr = com::change_type(value, info->type, &v); com::failed(hr)) return hr;
  switch (p) {
    case Property::MachineID:
      return put_MachineID(v.as_bstr());
    case Property::MachineIP:
      return put_MachineIP(v.as_bstr());
    case Property::MachinePort:
      return put_MachinePort(v.as_i4());
    case Property::MachineTimeout:
      return put_MachineTimeout(v.as_i2());
    case Property::HostID:
      return put_HostID(v.as_bstr());
    case Property::HostPort:
      return put_HostPort(v.as_i4());
    case Property::HostEnabled:
      return put_HostEnabled(v.as_bool() ? com::kVariantTrue : com::kVariantFalse);
  }
  return com::E_INVALIDARG;
}

com::HRESULT CMachine::Telegram(com::DispId id, std::span<const com::Variant> args, std::int32_t* ret) {
  const protocol::TelegramInfo* t = telegram_of(id);
  if (!t) return com::DISP_E_MEMBERNOTFOUND;
  if (!ret && t->has_result) return com::E_POINTER;  // before any argument is looked at
  const auto own = t->own_params();
  if (args.size() != own.size()) return com::DISP_E_BADPARAMCOUNT;

  // The caller's values, converted to the argument types; texts are read, never changed.
  std::vector<com::Variant> converted(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool text = own[i].kind == protocol::Kind::text;
    if (com::failed(com::change_type(args[i], text ? com::VT_BSTR : com::VT_I4, &converted[i])))
      return com::DISP_E_TYPEMISMATCH;
  }
  return send_typed(*t, converted, ret);
}

com::HRESULT CMachine::send_typed(const protocol::TelegramInfo& t, std::span<const com::Variant> typed,
                                  std::int32_t* ret) {
  const auto own = t.own_params();
  if (typed.size() != own.size()) return com::DISP_E_BADPARAMCOUNT;
  std::vector<protocol::CallerArg> caller(typed.size());
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (own[i].kind == protocol::Kind::text) {
      const com::BStr& s = typed[i].as_bstr();
      caller[i] = s.is_null() ? protocol::CallerText() : protocol::CallerText(s.view());
    } else {
      caller[i] = typed[i].as_i4();
    }
  }
  return send_telegram(t, caller, ret);
}

com::HRESULT CMachine::send_telegram(const protocol::TelegramInfo& t, std::span<const protocol::CallerArg> args,
                                     std::int32_t* ret) {
  if (!ret && t.has_result) return com::E_POINTER;
  // Every outcome, the machine's result or a runtime status, is the method's `ret`. Shutdown_M
  // reports nothing, not even a failure to start the host server or to bind.
  const std::int32_t outcome = connection_.send(t, args);
  if (ret && t.has_result) *ret = outcome;
  return com::S_OK;
}

}  // namespace tarvik::control
