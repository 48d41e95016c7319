// CHost: the host side that every Machine object of a process shares. It holds HostID and HostPort,
// owns the host server (MEVRIXHOST registered on HostPort), keeps the machine list, and owns the host
// window: the owner-thread queue to which the server routines post event records and from which the
// records come out, in posting order, on the thread that created the host.
//
// Nothing is lost between the two: a telegram is answered with 0 only once its record is queued. A
// routine that finds the queue full waits on its RPC thread for room (the interface's concurrent-call
// limit bounds how many wait; beyond it the runtime answers server-too-busy). Every path that waits
// for the routines (a disable, the retirement, the destructor) first switches that wait off, so the
// routines waiting then answer the server-too-busy fault instead of 0 and the owner thread never
// waits for threads that wait for it. The same fault answers a telegram whose queue can no longer be
// pumped (its owner thread has ended).
//
// Lifetime: the first Machine object of a process creates the CHost (attach) on its own thread; the
// last one to go (detach) retires it: the host server is stopped, the process-wide reference is
// cleared and records still queued are dropped, so the next Machine object starts again from the
// initial values ("?", 3010, server stopped). Machine objects hold a shared_ptr, so a host that is
// retired while one of its own event handlers runs is freed only once that handler has returned.
//
// Threads: everything but answer()/on_telegram() belongs to the owner thread (no lock, like the window
// it stands for). The routines run on RPC runtime threads and touch only HostID (read as a copy under
// the endpoint's lock), the queue (whose post is thread-safe) and the atomic counts.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/control_host.h"
#include "control/event_record.h"
#include "platform/com/owner_queue.h"
#include "platform/rpc/status.h"
#include "protocol/host_endpoint.h"
#include "protocol/host_routines.h"

namespace tarvik::control {

class CMachine;

class CHost final : public protocol::HostHandler, public std::enable_shared_from_this<CHost> {
 public:
  using Queue = com::OwnerQueue<EventRecord>;

  // The process's host, created on the calling thread when there is none; `machine` is appended to
  // its machine list.
  static std::shared_ptr<CHost> attach(CMachine& machine);
  // Removes `machine` from the list; stops the host server when no object without the drawn mark is
  // left; retires the host when the list is empty.
  void detach(CMachine& machine);
  // The process's host, or nullptr when no Machine object exists.
  static std::shared_ptr<CHost> current();

  CHost(const CHost&) = delete;
  CHost& operator=(const CHost&) = delete;
  ~CHost() override;

  std::optional<std::u16string> host_id() const { return endpoint_.host_id(); }
  // Stores a different text (null equals empty); the host server is not touched.
  void set_host_id(std::optional<std::u16string> id);
  std::int32_t host_port() const { return endpoint_.host_port(); }
  // Stores a different port and stops the host server (its status is not reported).
  void set_host_port(std::int32_t port);

  // Host server: 0 or the RPC status; both are no-ops in the state they lead to.
  [[nodiscard]] rpc::Status start() { return endpoint_.enable(); }
  [[nodiscard]] rpc::Status stop();
  bool running() const { return endpoint_.enabled(); }
  // The TCP port the server listens on (HostPort, or the free port chosen for HostPort 0).
  std::uint16_t listening_port() const { return endpoint_.listening_port(); }
  protocol::HostEndpoint& endpoint() { return endpoint_; }

  const std::vector<CMachine*>& machines() const { return machines_; }
  // The queue that stands for the host window (its descriptor and pump are for the container).
  Queue& queue() { return *queue_; }
  IntakeCounts counts() const;

  // Server routine of every `_H` telegram (RPC threads): -110 for a foreign host name; else the
  // telegram's record is queued (waiting for room if need be) and 0 answered, or, when it cannot be
  // queued, the server-too-busy fault.
  protocol::TelegramAnswer answer(const protocol::IncomingTelegram& t) override;
  // The same for callers that take only the result: a refusal reads as RPC_S_SERVER_TOO_BUSY.
  std::int32_t on_telegram(const protocol::IncomingTelegram& t) override;

  // Message handler of the host window (owner thread): raises the record's events on every matching
  // Machine object without the drawn mark, in list order, and counts a record that reaches none.
  void handle(const EventRecord& record);

 private:
  CHost();
  // Disables the endpoint without letting the routines wait for this thread meanwhile.
  rpc::Status take_down();
  void retire();

  // The queue is declared first so that it outlives the endpoint, whose routines post into it until
  // the endpoint has been disabled.
  std::unique_ptr<Queue> queue_;
  protocol::HostEndpoint endpoint_{*this};
  std::vector<CMachine*> machines_;  // creation order; not owning
  bool retired_ = false;             // the last object has gone; this host serves nothing more

  struct AtomicCounts {
    std::atomic<std::uint64_t> answered{0}, raised{0}, unknown_machine{0}, drawn_only{0}, wrong_host{0},
        waited{0}, refused{0};
  };
  AtomicCounts counts_;
};

}  // namespace tarvik::control
