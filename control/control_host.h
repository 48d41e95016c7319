// IControlHost: a container's access to the process's host side that every Machine object shares:
// the host window (the owner-thread queue through which received telegrams become events) and the
// port the host server listens on. Every Machine object answers it.
//
//   ComPtr<IControlHost> h = machine.as<IControlHost>();
//   int fd = -1; h->GetQueueDescriptor(&fd);   // wait until readable (QSocketNotifier, poll), then
//   int n = 0;  h->Pump(&n);                    // raises the pending events on this thread
//
// The queue belongs to the host: when the last Machine object of the process goes and a new one is
// created later, the new host has a new queue, so a container asks again after re-creating its
// objects. Threads: the owner thread only (the thread that created the first Machine object).
#pragma once

#include <cstdint>

#include "platform/com/unknown.h"

namespace tarvik::control {

struct IControlHost : com::IUnknown {
  static constexpr com::Guid kIid = com::make_guid("{6A0C3E51-9B7D-4E2A-8F14-3C5D7B9A2E60}");
  using Base = com::IUnknown;

  // The pollable descriptor: readable while records are pending (-1 when the system gave none; then
  // only WaitAndPump delivers).
  virtual com::HRESULT GetQueueDescriptor(int* fd) = 0;
  // Raises the events of the records pending now, in posting order; `delivered` (may be null) gets
  // their number. E_UNEXPECTED off the owner thread.
  virtual com::HRESULT Pump(int* delivered) = 0;
  // Waits up to `timeout_ms` (negative: no limit) for a record, then pumps.
  virtual com::HRESULT WaitAndPump(int timeout_ms, int* delivered) = 0;
  // The TCP port the host server listens on while it runs (HostPort, or the free port chosen when
  // HostPort is 0); 0 while it is stopped.
  virtual com::HRESULT GetListeningPort(std::int32_t* port) = 0;

 protected:
  ~IControlHost() = default;
};

}  // namespace tarvik::control
