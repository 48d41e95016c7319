// The Machine controls of the main window, created by ProgID through the component layer: the
// manifest beside the executable (or the class registry) names the module that serves them, so a
// build tree works without registering anything.
//
// Incoming telegrams: the controls hand them to their owner thread through the host queue; this class
// watches the queue's descriptor with a QSocketNotifier and pumps it in the Qt event loop, so the
// events of the controls arrive on the UI thread like any other event. Like any container it knows
// the control only through the component layer: the event interface from the control's class
// information, the queue through IEventQueue.
//
// Threads: create, use and destroy on the UI thread (the controls' owner thread).
#pragma once

#include <QObject>
#include <array>
#include <memory>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"
#include "testprogram/app/machine_controls.h"

class QSocketNotifier;

namespace tarvik::testprogram {

// The ProgID the program creates its controls by (the build takes it from the control's identities).
inline constexpr const char* kMachineProgId = TARVIK_CONTROL_PROGID;

class ComMachineControls final : public QObject, public MachineControls {
  Q_OBJECT
 public:
  explicit ComMachineControls(QObject* parent = nullptr);
  ~ComMachineControls() override;

  bool exists(int instance) const override;
  com::HRESULT create(int instance) override;
  std::string create_failure_text(com::HRESULT hr) const override;
  com::HRESULT remove(int instance) override;
  void remove_all() override;
  com::HRESULT put_property(int instance, com::DispId property, const com::Variant& value) override;
  com::HRESULT call(int instance, com::DispId method, std::span<const com::Variant> args,
                    com::Variant* result) override;
  void set_event_handler(EventHandler handler) override;
  void hold_events(bool held) override;

  // Raises the events waiting in the host queue now (what the notifier does when it fires).
  int pump_events();

 private:
  struct Slot {
    com::ComPtr<com::IDispatch> control;
    com::ComPtr<com::IDispatch> sink;
    com::Guid events;  // the control's event interface, which the sink is connected to
    std::uint32_t cookie = 0;
  };
  Slot* slot_of(int instance);
  const Slot* slot_of(int instance) const;
  com::IUnknown* any_control() const;
  // Follows the host queue's descriptor: it changes when the last control went and a new one came.
  void watch_host_queue();
  void stop_watching();

  std::array<Slot, kMaxMachineInstances> slots_;
  std::shared_ptr<EventHandler> handler_;
  std::unique_ptr<QSocketNotifier> notifier_;
  int watched_fd_ = -1;
  int events_held_ = 0;  // hold_events(true) not yet released: sends may nest
};

}  // namespace tarvik::testprogram
