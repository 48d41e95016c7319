// IControlHost: a container's access to the process's host side that every Machine object shares:
// the host window (the owner-thread queue through which received telegrams become events; its part
// is the component layer's IEventQueue, which a container that needs no more asks for instead), the
// port the host server listens on, and the counts of what came in. Every Machine object answers both.
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

#include "platform/com/event_queue.h"

namespace tarvik::control {

// What the host side took in since it was created (the first Machine object of the process). Every
// telegram answered with 0 was queued ("answered"); once its record has been pumped it is either
// raised on at least one object or counted as reaching none.
struct IntakeCounts {
  std::uint64_t answered = 0;         // telegrams answered with 0 (Shutdown_H: answered at all), queued
  std::uint64_t raised = 0;           // records raised on at least one object
  std::uint64_t unknown_machine = 0;  // records whose machine name no object has
  std::uint64_t drawn_only = 0;       // records whose name only objects with the drawn mark have
  std::uint64_t wrong_host = 0;       // telegrams answered with -110 (host name is not HostID)
  std::uint64_t waited = 0;           // telegrams that waited for room in a full queue, then were queued
  std::uint64_t refused = 0;          // telegrams answered with the server-too-busy fault (host going down)
};

// GetQueueDescriptor, Pump and WaitAndPump come first, from IEventQueue.
struct IControlHost : com::IEventQueue {
  static constexpr com::Guid kIid = com::make_guid("{6A0C3E51-9B7D-4E2A-8F14-3C5D7B9A2E60}");
  using Base = com::IEventQueue;
  // The TCP port the host server listens on while it runs (HostPort, or the free port chosen when
  // HostPort is 0); 0 while it is stopped.
  virtual com::HRESULT GetListeningPort(std::int32_t* port) = 0;
  // The counts above, read at once (E_POINTER for null).
  virtual com::HRESULT GetIntakeCounts(IntakeCounts* counts) = 0;
  // How many records may wait in the queue (10000 initially; at least 1, else E_INVALIDARG). A
  // telegram that finds it full waits on its RPC thread until the owner thread has pumped one.
  virtual com::HRESULT SetQueueLimit(std::int32_t records) = 0;

 protected:
  ~IControlHost() = default;
};

}  // namespace tarvik::control
