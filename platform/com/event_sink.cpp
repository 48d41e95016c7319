#include "platform/com/event_sink.h"

#include <vector>

namespace tarvik::com {

EventSink::EventSink(IUnknown* outer, const Guid& events_iid, Handler handler,
                     std::shared_ptr<const InterfaceInfo> info)
    : Object(outer), events_iid_(events_iid), handler_(std::move(handler)), info_(std::move(info)) {}

void* EventSink::find_extra_interface(const Guid& iid) {
  return iid == events_iid_ ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT EventSink::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = info_ ? 1 : 0;
  return S_OK;
}

HRESULT EventSink::GetTypeInfo(std::uint32_t index, Lcid, std::shared_ptr<const InterfaceInfo>* out) {
  if (!out) return E_POINTER;
  if (!info_ || index != 0) return DISP_E_BADINDEX;
  *out = info_;
  return S_OK;
}

HRESULT EventSink::GetIDsOfNames(const Guid&, std::span<const std::u16string> names, Lcid, DispId* ids) {
  if (!info_) return E_NOTIMPL;
  return ids_of_names(*info_, names, ids);
}

HRESULT EventSink::Invoke(DispId id, const Guid&, Lcid, DispatchFlags, const DispParams& params,
                          Variant* result, ExcepInfo*, std::uint32_t*) {
  if (result) result->clear();
  if (handler_) {
    const std::vector<Variant> in_order(params.args.rbegin(), params.args.rend());
    handler_(id, in_order);
  }
  return S_OK;
}

HRESULT EventSink::OnEvent(DispId id, std::span<const Variant> args_declaration_order) {
  if (handler_) handler_(id, args_declaration_order);
  return S_OK;
}

}  // namespace tarvik::com
