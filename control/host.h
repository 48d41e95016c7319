// CHost: the host side that every Machine object of a process shares. It holds HostID and HostPort,
// owns the host server (MEVRIXHOST registered on HostPort), keeps the machine list, and owns the host
// window: the owner-thread queue to which the server routines post event records and from which the
// records come out, in posting order, on the thread that created the host.
//
// Lifetime: the first Machine object of a process creates the CHost (attach) on its own thread; the
// last one to go (detach) retires it: the host server is stopped, the process-wide reference is
// cleared and records still queued are dropped, so the next Machine object starts again from the
// initial values ("?", 3010, server stopped). Machine objects hold a shared_ptr, so a host that is
// retired while one of its own event handlers runs is freed only once that handler has returned.
//
// Threads: everything but on_telegram() belongs to the owner thread (no lock, like the window it
// stands for). on_telegram() runs on RPC runtime threads and touches only HostID (read as a copy
// under the endpoint's lock) and the queue (whose post is thread-safe).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/event_record.h"
#include "platform/com/owner_queue.h"
#include "platform/rpc/status.h"
#include "protocol/host_endpoint.h"
#include "protocol/host_routines.h"

namespace tarvik::control {

class CMachine;

// Command identifiers of the posted records: the event's DISPID (10-20).
inline constexpr std::uint32_t kFirstEventCommand = 10;
inline constexpr std::uint32_t kLastEventCommand = 20;
inline constexpr std::uint32_t kShutdownCommand = 19;  // ShutdownH: posted without a record

class CHost final : public protocol::HostHandler, public std::enable_shared_from_this<CHost> {
 public:
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
  [[nodiscard]] rpc::Status stop() { return endpoint_.disable(); }
  bool running() const { return endpoint_.enabled(); }
  // The TCP port the server listens on (HostPort, or the free port chosen for HostPort 0).
  std::uint16_t listening_port() const { return endpoint_.listening_port(); }
  protocol::HostEndpoint& endpoint() { return endpoint_; }

  const std::vector<CMachine*>& machines() const { return machines_; }
  // The queue that stands for the host window (its descriptor and pump are for the container).
  com::OwnerQueue& queue() { return *queue_; }

  // Server routine of every `_H` telegram (RPC threads): -110 for a foreign host name, else the
  // event record(s) are posted and 0 returned.
  std::int32_t on_telegram(const protocol::IncomingTelegram& t) override;

  // Message handler of the host window (owner thread): raises the event of `command` on every
  // matching Machine object without the drawn mark, in list order. Commands outside 10-20 are
  // ignored (false).
  bool handle_command(std::uint32_t command, const EventRecord& record);

 private:
  CHost();
  void post(std::uint32_t command, EventRecord record);
  void retire();

  // The queue is declared first so that it outlives the endpoint, whose routines post into it until
  // the endpoint has been disabled.
  std::unique_ptr<com::OwnerQueue> queue_;
  protocol::HostEndpoint endpoint_{*this};
  std::vector<CMachine*> machines_;  // creation order; not owning
  bool retired_ = false;             // the last object has gone; this host serves nothing more
};

}  // namespace tarvik::control
