// IHostQueue: how a container reaches the control's host window, the owner-thread queue through which
// received telegrams become events. Every Machine object answers it; all objects of a process share
// the one queue of their CHost.
//
//   ComPtr<IHostQueue> q = machine.as<IHostQueue>();
//   int fd = -1; q->GetDescriptor(&fd);    // wait until readable (QSocketNotifier, poll), then
//   int n = 0;  q->Pump(&n);               // raises the pending events on this thread
//
// The descriptor belongs to the host: when the last Machine object of the process goes and a new one
// is created later, the new host has a new queue, so a container asks again after re-creating its
// objects. Threads: the owner thread only (the thread that created the first Machine object).
#pragma once

#include "platform/com/unknown.h"

namespace tarvik::control {

struct IHostQueue : com::IUnknown {
  static constexpr com::Guid kIid = com::make_guid("{6A0C3E51-9B7D-4E2A-8F14-3C5D7B9A2E60}");
  using Base = com::IUnknown;

  // The pollable descriptor: readable while records are pending (-1 when the system gave none; then
  // only WaitAndPump delivers).
  virtual com::HRESULT GetDescriptor(int* fd) = 0;
  // Raises the events of the records pending now, in posting order; `delivered` (may be null) gets
  // their number. E_UNEXPECTED off the owner thread.
  virtual com::HRESULT Pump(int* delivered) = 0;
  // Waits up to `timeout_ms` (negative: no limit) for a record, then pumps.
  virtual com::HRESULT WaitAndPump(int timeout_ms, int* delivered) = 0;

 protected:
  ~IHostQueue() = default;
};

}  // namespace tarvik::control
