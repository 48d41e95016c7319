// CMachine: the control class Machine. One object stands for one connection between this host and
// one machine controller: it holds the machine's name and endpoint and the RPC binding to it, sends
// the seventeen `_M` telegrams (IMachine), raises the `_H` telegrams as events of _IMachineEvents,
// persists its properties (stream, storage and property-bag forms) and draws itself at design time.
// The host settings (HostID, HostPort, HostEnabled) live in the process's CHost, shared by all.
//
// Created through the module's class factory (module.cpp), optionally aggregated.
// Threads: apartment: every call on the thread that created the object; the process's objects all
// live on the thread of the first one, which is where their events are raised.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "control/control_host.h"
#include "control/host.h"
#include "control/imachine.h"
#include "control/machine_methods.h"
#include "control/machine_properties.h"
#include "platform/com/class_info.h"
#include "platform/com/connection_point.h"
#include "platform/com/drawing.h"
#include "platform/com/object.h"
#include "platform/com/persist.h"
#include "protocol/machine_connection.h"

namespace tarvik::control {

class CMachine final : public com::Object<MachineMethods, com::IConnectionPointContainer, com::IPersistStreamInit,
                                          com::IPersistStorage, com::IPersistPropertyBag, com::IViewObject,
                                          com::IProvideClassInfo, IControlHost> {
 public:
  // Version word at the head of the stream form; a stream with a higher one is refused.
  static constexpr std::uint32_t kStreamVersion = 0x900;

  CMachine(com::IUnknown* outer, com::ModuleUsage* usage);
  ~CMachine() override;

  // IDispatch
  com::HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  com::HRESULT GetTypeInfo(std::uint32_t index, com::Lcid lcid,
                           std::shared_ptr<const com::InterfaceInfo>* out) override;
  com::HRESULT GetIDsOfNames(const com::Guid& iid, std::span<const std::u16string> names, com::Lcid lcid,
                             com::DispId* ids) override;
  com::HRESULT Invoke(com::DispId id, const com::Guid& iid, com::Lcid lcid, com::DispatchFlags flags,
                      const com::DispParams& params, com::Variant* result, com::ExcepInfo* excep,
                      std::uint32_t* arg_err) override;

  // IMachine
  com::HRESULT get_MachineID(com::BStr* pVal) override;
  com::HRESULT put_MachineID(const com::BStr& value) override;
  com::HRESULT get_MachineIP(com::BStr* pVal) override;
  com::HRESULT put_MachineIP(const com::BStr& value) override;
  com::HRESULT get_MachinePort(std::int32_t* pVal) override;
  com::HRESULT put_MachinePort(std::int32_t value) override;
  com::HRESULT get_MachineTimeout(std::int16_t* pVal) override;
  com::HRESULT put_MachineTimeout(std::int16_t value) override;
  com::HRESULT get_HostID(com::BStr* pVal) override;
  com::HRESULT put_HostID(const com::BStr& value) override;
  com::HRESULT get_HostPort(std::int32_t* pVal) override;
  com::HRESULT put_HostPort(std::int32_t value) override;
  com::HRESULT get_HostEnabled(com::VariantBool* pVal) override;
  com::HRESULT put_HostEnabled(com::VariantBool value) override;
  // The seventeen telegram methods come from MachineMethods; they and Telegram() send through
  // send_telegram().
  com::HRESULT Telegram(com::DispId id, std::span<const com::Variant> args, std::int32_t* ret) override;

  // IConnectionPointContainer: _IMachineEvents and IPropertyNotifySink.
  com::HRESULT EnumConnectionPoints(std::vector<com::ComPtr<com::IConnectionPoint>>* out) override;
  com::HRESULT FindConnectionPoint(const com::Guid& iid, com::IConnectionPoint** out) override;

  // IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag
  com::HRESULT GetClassID(com::Guid* clsid) override;
  com::HRESULT IsDirty() override;
  com::HRESULT Load(com::IStream* stream) override;
  com::HRESULT Save(com::IStream* stream, bool clear_dirty) override;
  com::HRESULT GetSizeMax(std::uint64_t* size) override;
  com::HRESULT InitNew() override;
  com::HRESULT InitNew(com::IStorage* storage) override;
  com::HRESULT Load(com::IStorage* storage) override;
  com::HRESULT Save(com::IStorage* storage, bool same_as_load) override;
  com::HRESULT SaveCompleted(com::IStorage* storage) override;
  com::HRESULT HandsOffStorage() override;
  com::HRESULT Load(com::IPropertyBag* bag) override;
  com::HRESULT Save(com::IPropertyBag* bag, bool clear_dirty, bool save_all) override;

  // IViewObject: the design-time drawing, which sets the drawn mark.
  com::HRESULT Draw(com::DrawTarget* target, const com::Rect& bounds) override;
  com::HRESULT GetExtent(com::Size* extent) override;

  // IProvideClassInfo: the type library MEVRIX and the class Machine in it.
  com::HRESULT GetClassInfo(std::shared_ptr<const com::TypeLibrary>* library, com::Guid* clsid) override;

  // IControlHost (and its base IEventQueue)
  com::HRESULT GetQueueDescriptor(int* fd) override;
  com::HRESULT Pump(int* delivered) override;
  com::HRESULT WaitAndPump(int timeout_ms, int* delivered) override;
  com::HRESULT GetListeningPort(std::int32_t* port) override;
  com::HRESULT GetIntakeCounts(IntakeCounts* counts) override;
  com::HRESULT SetQueueLimit(std::int32_t records) override;

  // For CHost (owner thread): routing and raising events.
  const std::optional<std::u16string>& machine_id() const { return connection_.machine_id(); }
  bool drawn() const { return drawn_; }
  // Calls every _IMachineEvents sink in slot order; `args` in declaration order (first argument first).
  void raise_event(com::DispId id, std::span<const com::Variant> args);

  // For tests and diagnostics.
  const protocol::MachineConnection& connection() const { return connection_; }
  const std::shared_ptr<CHost>& host() const { return host_; }

 private:
  // A property get or put by DISPID with a variant (dispatch calls and both persistence forms); a
  // put converts `value` to the property's type first.
  com::HRESULT get_property(Property p, com::Variant* value);
  com::HRESULT put_property(Property p, const com::Variant& value);
  void notify_changed(com::DispId id);
  com::HRESULT send_telegram(const protocol::TelegramInfo& t, std::span<const protocol::CallerArg> args,
                             std::int32_t* ret) override;
  // Sends with arguments already of their declared types (I4, BSTR), in declaration order.
  com::HRESULT send_typed(const protocol::TelegramInfo& t, std::span<const com::Variant> typed,
                          std::int32_t* ret);

  std::shared_ptr<CHost> host_;  // before connection_, which refers to the host's endpoint
  protocol::MachineConnection connection_;
  bool drawn_ = false;
  bool dirty_ = false;
  com::ConnectionPoint events_;
  com::ConnectionPoint property_notify_;
};

}  // namespace tarvik::control
