#include "testprogram/app/com_machine_controls.h"

#include <QSocketNotifier>

#include "platform/com/activation.h"
#include "platform/com/class_info.h"
#include "platform/com/connection_point.h"
#include "platform/com/event_queue.h"
#include "platform/com/event_sink.h"

namespace tarvik::testprogram {

ComMachineControls::ComMachineControls(QObject* parent)
    : QObject(parent), handler_(std::make_shared<EventHandler>()) {}

ComMachineControls::~ComMachineControls() { remove_all(); }

ComMachineControls::Slot* ComMachineControls::slot_of(int instance) {
  if (instance < 1 || instance > kMaxMachineInstances) return nullptr;
  return &slots_[instance - 1];
}

const ComMachineControls::Slot* ComMachineControls::slot_of(int instance) const {
  return const_cast<ComMachineControls*>(this)->slot_of(instance);
}

bool ComMachineControls::exists(int instance) const {
  const Slot* s = slot_of(instance);
  return s && s->control;
}

com::HRESULT ComMachineControls::create(int instance) {
  Slot* s = slot_of(instance);
  if (!s) return com::E_INVALIDARG;
  if (s->control) return com::S_FALSE;
  com::ComPtr<com::IDispatch> control;
  if (const com::HRESULT hr = com::create_instance(kMachineProgId, &control); com::failed(hr)) return hr;
  const std::shared_ptr<const com::InterfaceInfo> events = com::default_source_interface(control.get());
  if (!events) return com::E_NOINTERFACE;  // a control that does not say which events it raises

  // The sink holds the handler through a shared pointer, so replacing the handler reaches sinks
  // that are already connected.
  std::weak_ptr<EventHandler> handler = handler_;
  com::ComPtr<com::IDispatch> sink = com::make_event_sink(
      events->iid, [handler, instance](com::DispId id, std::span<const com::Variant> args) {
        if (auto h = handler.lock(); h && *h) (*h)(instance, id, args);
      });
  std::uint32_t cookie = 0;
  if (const com::HRESULT hr = com::connect_events(control.get(), events->iid, sink.get(), &cookie);
      com::failed(hr))
    return hr;
  s->control = std::move(control);
  s->sink = std::move(sink);
  s->events = events->iid;
  s->cookie = cookie;
  watch_host_queue();
  return com::S_OK;
}

std::string ComMachineControls::create_failure_text(com::HRESULT hr) const {
  const std::string manifest = com::default_manifest_path();
  const std::string registry = com::registry_path();
  const std::string code = " (" + com::hresult_name(hr) + ")";
  const std::string manifest_text = "the manifest " + (manifest.empty() ? std::string("(none)") : manifest);
  const std::string registry_text = "the registry " + registry;
  std::string module;
  com::Guid clsid;
  if (com::succeeded(com::clsid_from_name(kMachineProgId, &clsid))) (void)com::module_of_class(clsid, &module);
  if (hr == com::REGDB_E_CLASSNOTREG || hr == com::CO_E_CLASSSTRING)
    return std::string(kMachineProgId) + " is named in neither " + manifest_text + " nor " + registry_text + code;
  if (hr == com::REGDB_E_READREGDB || hr == com::REGDB_E_INVALIDVALUE)
    return manifest_text + " or " + registry_text + " cannot be read" + code;
  if (module.empty()) return std::string(kMachineProgId) + " could not be created" + code;
  if (hr == com::E_MOD_NOT_FOUND) return "the module " + module + " cannot be loaded" + code;
  if (hr == com::CO_E_ERRORINDLL) return "the module " + module + " lacks its entry points" + code;
  return "the module " + module + " could not create " + kMachineProgId + code;
}

com::HRESULT ComMachineControls::remove(int instance) {
  Slot* s = slot_of(instance);
  if (!s || !s->control) return com::E_INVALIDARG;
  Slot gone = std::move(*s);
  *s = Slot{};
  (void)com::disconnect_events(gone.control.get(), gone.events, gone.cookie);
  // With the last control the host and its queue go: stop watching before the descriptor closes.
  if (!any_control()) stop_watching();
  gone.control.reset();
  return com::S_OK;
}

void ComMachineControls::remove_all() {
  for (int i = kMaxMachineInstances; i >= 1; --i)
    if (exists(i)) (void)remove(i);
  stop_watching();
}

com::HRESULT ComMachineControls::put_property(int instance, com::DispId property, const com::Variant& value) {
  Slot* s = slot_of(instance);
  if (!s || !s->control) return com::E_INVALIDARG;
  return com::put_property(s->control.get(), property, value);
}

com::HRESULT ComMachineControls::call(int instance, com::DispId method, std::span<const com::Variant> args,
                                      com::Variant* result) {
  Slot* s = slot_of(instance);
  if (!s || !s->control) return com::E_INVALIDARG;
  // Keep the control alive through the call: an event handler run meanwhile may remove it.
  com::ComPtr<com::IDispatch> control = s->control;
  return com::invoke(control.get(), method, com::DISPATCH_METHOD, args, result);
}

void ComMachineControls::set_event_handler(EventHandler handler) { *handler_ = std::move(handler); }

// A disabled notifier leaves the queue's descriptor out of every event-loop pass (the glib event
// dispatcher ignores ExcludeSocketNotifiers, so that flag cannot do it); enabled again, it fires at
// once for what waits.
void ComMachineControls::hold_events(bool held) {
  events_held_ += held ? 1 : (events_held_ > 0 ? -1 : 0);
  if (notifier_) notifier_->setEnabled(events_held_ == 0);
}

com::IUnknown* ComMachineControls::any_control() const {
  for (const Slot& s : slots_)
    if (s.control) return s.control.get();
  return nullptr;
}

int ComMachineControls::pump_events() {
  com::IUnknown* any = any_control();
  if (!any) return 0;
  com::ComPtr<com::IEventQueue> queue = com::ComPtr<com::IUnknown>(any).as<com::IEventQueue>();
  int delivered = 0;
  if (queue) (void)queue->Pump(&delivered);
  return delivered;
}

void ComMachineControls::watch_host_queue() {
  com::IUnknown* any = any_control();
  if (!any) return;
  com::ComPtr<com::IEventQueue> queue = com::ComPtr<com::IUnknown>(any).as<com::IEventQueue>();
  int fd = -1;
  if (!queue || com::failed(queue->GetQueueDescriptor(&fd)) || fd < 0) return;
  if (notifier_ && fd == watched_fd_) return;
  stop_watching();
  watched_fd_ = fd;
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  notifier_->setEnabled(events_held_ == 0);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { pump_events(); });
}

void ComMachineControls::stop_watching() {
  notifier_.reset();
  watched_fd_ = -1;
}

}  // namespace tarvik::testprogram
