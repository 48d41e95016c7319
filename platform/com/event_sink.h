// A ready-made event sink for containers: answers the event interface's identifier (and IDispatch)
// and passes every event to a callback with its arguments in declaration order (first argument first).
// The callback runs on the thread that raises the event (for a control: its owner thread).
#pragma once

#include <functional>
#include <span>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"

namespace tarvik::com {

// Raised through raise_event_in_order(), the arguments reach the callback without being copied.
class EventSink final : public Object<IDispatch, IInOrderEventSink> {
 public:
  using Handler = std::function<void(DispId id, std::span<const Variant> args)>;

  // `info`, if given, answers GetTypeInfo and GetIDsOfNames.
  EventSink(IUnknown* outer, const Guid& events_iid, Handler handler,
            std::shared_ptr<const InterfaceInfo> info = nullptr);

  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, Lcid lcid, std::shared_ptr<const InterfaceInfo>* out) override;
  HRESULT GetIDsOfNames(const Guid& iid, std::span<const std::u16string> names, Lcid lcid,
                        DispId* ids) override;
  HRESULT Invoke(DispId id, const Guid& iid, Lcid lcid, DispatchFlags flags, const DispParams& params,
                 Variant* result, ExcepInfo* excep, std::uint32_t* arg_err) override;
  HRESULT OnEvent(DispId id, std::span<const Variant> args_declaration_order) override;

 private:
  void* find_extra_interface(const Guid& iid) override;

  Guid events_iid_;
  Handler handler_;
  std::shared_ptr<const InterfaceInfo> info_;
};

inline ComPtr<IDispatch> make_event_sink(const Guid& events_iid, EventSink::Handler handler,
                                         std::shared_ptr<const InterfaceInfo> info = nullptr) {
  return ComPtr<IDispatch>(make_object<EventSink>(events_iid, std::move(handler), std::move(info)).get());
}

}  // namespace tarvik::com
