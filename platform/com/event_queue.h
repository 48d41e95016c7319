// IEventQueue: how a container delivers the events of a component whose events travel through an
// owner-thread queue (owner_queue.h): it waits on the queue's descriptor in its own event loop and
// pumps the queue, and the component raises the pending events on that thread. A container asks any
// object of the component for it; it needs nothing of the component but this interface.
//
//   ComPtr<IEventQueue> q = object.as<IEventQueue>();
//   int fd = -1; q->GetQueueDescriptor(&fd);   // wait until readable (QSocketNotifier, poll), then
//   int n = 0;  q->Pump(&n);                    // raises the pending events on this thread
//
// Threads: the owner thread only (the thread that owns the component's queue).
#pragma once

#include "platform/com/unknown.h"

namespace tarvik::com {

struct IEventQueue : IUnknown {
  static constexpr Guid kIid = make_guid("{3F8E2B64-7C1D-4A95-B0E6-5D2A9C47F813}");
  using Base = IUnknown;

  // The pollable descriptor: readable while records are pending (-1 when the system gave none; then
  // only WaitAndPump delivers).
  virtual HRESULT GetQueueDescriptor(int* fd) = 0;
  // Raises the events of the records pending now, in posting order; `delivered` (may be null) gets
  // their number. E_UNEXPECTED off the owner thread.
  virtual HRESULT Pump(int* delivered) = 0;
  // Waits up to `timeout_ms` (negative: no limit) for a record, then pumps.
  virtual HRESULT WaitAndPump(int timeout_ms, int* delivered) = 0;

 protected:
  ~IEventQueue() = default;
};

}  // namespace tarvik::com
