// Late-bound calls: IDispatch, its parameters, and a helper that implements it from type information.
//
// Arguments travel in dispatch order: args[0] is the LAST argument of the call, args[n-1] the first.
// A property put passes its value as the only argument, named DISPID_PROPERTYPUT.
//
// Result of Invoke: S_OK or the failure of the called function itself, unchanged (also copied into
// ExcepInfo::scode when the caller gives one), or one of the dispatcher's own codes:
// DISP_E_MEMBERNOTFOUND (no such DISPID, or not with these flags), DISP_E_BADPARAMCOUNT (too many
// arguments), DISP_E_PARAMNOTOPTIONAL (too few), DISP_E_NONAMEDARGS (named arguments other than a
// put's value), DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW (an argument does not convert; *arg_err is then
// its index in dispatch order).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/com/typeinfo.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace tarvik::com {

using Lcid = std::uint32_t;
inline constexpr Lcid kLocaleUserDefault = 0x400;

using DispatchFlags = std::uint16_t;
inline constexpr DispatchFlags DISPATCH_METHOD = 1;
inline constexpr DispatchFlags DISPATCH_PROPERTYGET = 2;
inline constexpr DispatchFlags DISPATCH_PROPERTYPUT = 4;
inline constexpr DispatchFlags DISPATCH_PROPERTYPUTREF = 8;

struct DispParams {
  std::span<const Variant> args;  // dispatch order: last argument first
  std::span<const DispId> named;  // identifiers of args[0 .. named.size()-1]
};

struct ExcepInfo {
  std::uint16_t code = 0;
  BStr source;
  BStr description;
  HRESULT scode = S_OK;
};

struct IDispatch : IUnknown {
  static constexpr Guid kIid = make_guid("{00020400-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  // 1 when the object offers type information, else 0.
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
  // The interface description (index 0). DISP_E_BADINDEX for other indexes.
  virtual HRESULT GetTypeInfo(std::uint32_t index, Lcid lcid, std::shared_ptr<const InterfaceInfo>* out) = 0;
  // See ids_of_names() in typeinfo.h. `iid` must be the null GUID.
  virtual HRESULT GetIDsOfNames(const Guid& iid, std::span<const std::u16string> names, Lcid lcid,
                                DispId* ids) = 0;
  // `result`, `excep` and `arg_err` may be null. `iid` must be the null GUID.
  virtual HRESULT Invoke(DispId id, const Guid& iid, Lcid lcid, DispatchFlags flags, const DispParams& params,
                         Variant* result, ExcepInfo* excep, std::uint32_t* arg_err) = 0;

 protected:
  ~IDispatch() = default;
};

// One checked call handed to an object by DispatchHelper: `args` in declaration order (first argument
// first), each converted to its declared type; `retval` non-null when the function declares a result.
using DispatchCall = std::function<HRESULT(const FunctionInfo& fn, std::span<Variant> args, Variant* retval)>;

// Implements IDispatch from an interface description: an object keeps one and forwards its four
// IDispatch methods to it. Stateless apart from the description; usable from any thread.
class DispatchHelper {
 public:
  explicit DispatchHelper(std::shared_ptr<const InterfaceInfo> info) : info_(std::move(info)) {}
  const InterfaceInfo& info() const { return *info_; }

  HRESULT type_info_count(std::uint32_t* count) const;
  HRESULT type_info(std::uint32_t index, std::shared_ptr<const InterfaceInfo>* out) const;
  HRESULT ids_of_names(const Guid& iid, std::span<const std::u16string> names, DispId* ids) const;
  // Finds the function, checks and converts the arguments, calls `call`, copies its retval to `result`.
  HRESULT invoke(DispId id, const Guid& iid, DispatchFlags flags, const DispParams& params, Variant* result,
                 ExcepInfo* excep, std::uint32_t* arg_err, const DispatchCall& call) const;

 private:
  std::shared_ptr<const InterfaceInfo> info_;
};

// Convenience for containers: invoke by DISPID with arguments in declaration order (reversed here).
HRESULT invoke(IDispatch* target, DispId id, DispatchFlags flags, std::span<const Variant> args_in_order,
               Variant* result = nullptr);
HRESULT get_property(IDispatch* target, DispId id, Variant* result);
HRESULT put_property(IDispatch* target, DispId id, const Variant& value);
// The DISPID of a member name through GetIDsOfNames; DISPID_UNKNOWN when unknown.
DispId dispid_of(IDispatch* target, std::u16string_view name);

}  // namespace tarvik::com
