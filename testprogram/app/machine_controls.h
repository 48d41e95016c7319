// macMachine: the numbered set of Machine controls (instances 1 to 20) that the main window owns.
//
// The program reaches each control only as a container does: properties and telegram methods by
// dispatch identifier, incoming telegrams as events of _IMachineEvents. This interface is what the
// windows use; ComMachineControls implements it over the component layer, tests over a fake.
//
// Threads: the program's UI thread; events are delivered on it too.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"

namespace tarvik::testprogram {

inline constexpr int kMaxMachineInstances = 20;

// Dispatch identifiers of IMachine's properties.
namespace machine_dispid {
inline constexpr com::DispId MachineID = 1;
inline constexpr com::DispId MachineIP = 2;
inline constexpr com::DispId MachinePort = 3;
inline constexpr com::DispId MachineTimeout = 4;
inline constexpr com::DispId HostID = 5;
inline constexpr com::DispId HostPort = 6;
inline constexpr com::DispId HostEnabled = 7;
}  // namespace machine_dispid

class MachineControls {
 public:
  // One event of instance `instance`: its dispatch identifier and arguments, first argument first.
  using EventHandler = std::function<void(int instance, com::DispId event, std::span<const com::Variant> args)>;

  virtual ~MachineControls() = default;

  virtual bool exists(int instance) const = 0;
  // Creates instance `instance` (1 to 20) and connects its events; S_FALSE if it already exists.
  virtual com::HRESULT create(int instance) = 0;
  // What stopped Create with `hr`, for the user: which component and which file.
  virtual std::string create_failure_text(com::HRESULT hr) const { return "error " + com::hresult_name(hr); }
  // Releases the instance; E_INVALIDARG when it does not exist.
  virtual com::HRESULT remove(int instance) = 0;
  // Releases every instance (the program ends).
  virtual void remove_all() = 0;

  // Property put; the control's result code unchanged (HostEnabled reports RPC status | 0x80010000).
  virtual com::HRESULT put_property(int instance, com::DispId property, const com::Variant& value) = 0;
  // A method call, arguments in declaration order; `result` receives the method's result (ret).
  // E_INVALIDARG for an instance that does not exist.
  virtual com::HRESULT call(int instance, com::DispId method, std::span<const com::Variant> args,
                            com::Variant* result) = 0;

  // Receives every event of every instance; replaces an earlier handler.
  virtual void set_event_handler(EventHandler handler) = 0;

  // While held (a send is under way on this thread), incoming telegrams stay queued even when the
  // thread processes events; released as often as held, the event loop raises them in their order.
  virtual void hold_events(bool held) { (void)held; }
};

}  // namespace tarvik::testprogram
