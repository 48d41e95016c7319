#include "control/machine.h"

#include "control/property_notify.h"
#include "control/text_rules.h"

namespace tarvik::control {

CMachine::CMachine(com::IUnknown* outer, com::ModuleUsage* usage)
    : Object(outer, usage),
      host_(CHost::attach(*this)),
      connection_(host_->endpoint(), protocol::kControlPolicy),
      events_(controlling_unknown(), this, kDiidIMachineEvents),
      property_notify_(controlling_unknown(), this, IPropertyNotifySink::kIid) {}

CMachine::~CMachine() {
  // Sinks hold no reference to us, but they must not be called any more.
  events_.disconnect_all();
  property_notify_.disconnect_all();
  connection_.unbind();
  host_->detach(*this);
}

// ---- properties ----

com::HRESULT CMachine::get_MachineID(com::BStr* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = to_bstr(connection_.machine_id());
  return com::S_OK;
}

com::HRESULT CMachine::put_MachineID(const com::BStr& value) {
  // No comparison with the old value, and the binding stays: the name only travels in the telegrams.
  connection_.set_machine_id(upper_case_machine_name(to_optional(value)));
  dirty_ = true;
  notify_changed(dispid(Property::MachineID));  // the design-time drawing shows the name
  return com::S_OK;
}

com::HRESULT CMachine::get_MachineIP(com::BStr* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = to_bstr(connection_.machine_ip());
  return com::S_OK;
}

com::HRESULT CMachine::put_MachineIP(const com::BStr& value) {
  const auto ip = to_optional(value);
  if (same_property_text(ip, connection_.machine_ip())) return com::S_OK;
  connection_.set_machine_ip(ip);  // drops the binding
  dirty_ = true;
  return com::S_OK;
}

com::HRESULT CMachine::get_MachinePort(std::int32_t* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = connection_.machine_port();
  return com::S_OK;
}

com::HRESULT CMachine::put_MachinePort(std::int32_t value) {
  if (value == connection_.machine_port()) return com::S_OK;
  connection_.set_machine_port(value);  // drops the binding
  dirty_ = true;
  return com::S_OK;
}

com::HRESULT CMachine::get_MachineTimeout(std::int16_t* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = static_cast<std::int16_t>(connection_.machine_timeout());
  return com::S_OK;
}

com::HRESULT CMachine::put_MachineTimeout(std::int16_t value) {
  const std::int32_t before = connection_.machine_timeout();
  connection_.set_machine_timeout(value);  // kept within 0..9; a different level drops the binding
  if (connection_.machine_timeout() != before) dirty_ = true;
  return com::S_OK;
}

com::HRESULT CMachine::get_HostID(com::BStr* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = to_bstr(host_->host_id());
  return com::S_OK;
}

com::HRESULT CMachine::put_HostID(const com::BStr& value) {
  host_->set_host_id(to_optional(value));
  dirty_ = true;
  return com::S_OK;
}

com::HRESULT CMachine::get_HostPort(std::int32_t* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = host_->host_port();
  return com::S_OK;
}

com::HRESULT CMachine::put_HostPort(std::int32_t value) {
  host_->set_host_port(value);  // a different port stops the host server
  dirty_ = true;
  return com::S_OK;
}

com::HRESULT CMachine::get_HostEnabled(com::VariantBool* pVal) {
  if (!pVal) return com::E_POINTER;
  *pVal = host_->running() ? com::kVariantTrue : com::kVariantFalse;
  return com::S_OK;
}

com::HRESULT CMachine::put_HostEnabled(com::VariantBool value) {
  const rpc::Status s = value != 0 ? host_->start() : host_->stop();
  return s == rpc::RPC_S_OK ? com::S_OK : host_enable_failure(static_cast<std::int32_t>(s));
}

// ---- connection points and events ----

com::HRESULT CMachine::EnumConnectionPoints(std::vector<com::ComPtr<com::IConnectionPoint>>* out) {
  com::ConnectionPoint* const points[] = {&property_notify_, &events_};
  return com::enum_connection_points(points, out);
}

com::HRESULT CMachine::FindConnectionPoint(const com::Guid& iid, com::IConnectionPoint** out) {
  com::ConnectionPoint* const points[] = {&property_notify_, &events_};
  return com::find_connection_point(points, iid, out);
}

void CMachine::raise_event(com::DispId id, std::span<const com::Variant> args) {
  com::raise_event_in_order(events_, id, args);
}

void CMachine::notify_changed(com::DispId id) {
  std::vector<com::ConnectData> sinks;
  property_notify_.EnumConnections(&sinks);
  for (const com::ConnectData& c : sinks) static_cast<IPropertyNotifySink*>(c.sink.get())->OnChanged(id);
}

// ---- host queue ----

com::HRESULT CMachine::GetQueueDescriptor(int* fd) {
  if (!fd) return com::E_POINTER;
  *fd = host_->queue().fd();
  return com::S_OK;
}

com::HRESULT CMachine::Pump(int* delivered) {
  const std::shared_ptr<CHost> host = host_;  // the pump may release this very object
  const int n = host->queue().pump();
  if (delivered) *delivered = n < 0 ? 0 : n;
  return n < 0 ? com::E_UNEXPECTED : com::S_OK;
}

com::HRESULT CMachine::WaitAndPump(int timeout_ms, int* delivered) {
  const std::shared_ptr<CHost> host = host_;
  const int n = host->queue().wait_and_pump(timeout_ms);
  if (delivered) *delivered = n < 0 ? 0 : n;
  return n < 0 ? com::E_UNEXPECTED : com::S_OK;
}

com::HRESULT CMachine::GetIntakeCounts(IntakeCounts* counts) {
  if (!counts) return com::E_POINTER;
  *counts = host_->counts();
  return com::S_OK;
}

com::HRESULT CMachine::SetQueueLimit(std::int32_t records) {
  if (records < 1) return com::E_INVALIDARG;
  host_->queue().set_max_pending(static_cast<std::size_t>(records));
  return com::S_OK;
}

com::HRESULT CMachine::GetListeningPort(std::int32_t* port) {
  if (!port) return com::E_POINTER;
  *port = host_->running() ? host_->listening_port() : 0;
  return com::S_OK;
}

// ---- drawing ----

com::HRESULT CMachine::Draw(com::DrawTarget* target, const com::Rect& bounds) {
  if (!target) return com::E_POINTER;
  // Only containers at design time draw an invisible-at-run-time control: this mark keeps such an
  // instance out of event delivery and out of the objects that keep the host server running.
  drawn_ = true;
  target->fill_rect(bounds, com::rgb(255, 255, 192));
  target->frame_rect(bounds, com::rgb(0, 0, 0));
  const auto& id = connection_.machine_id();
  const std::u16string text = u"Machine : " + (id ? *id : std::u16string());
  target->text_out(bounds.left + 10, bounds.top + 18, com::TextAlign::baseline_left, through_ansi(text));
  return com::S_OK;
}

com::HRESULT CMachine::GetExtent(com::Size* extent) {
  if (!extent) return com::E_POINTER;
  *extent = {kInitialExtentX, kInitialExtentY};
  return com::S_OK;
}

}  // namespace tarvik::control
