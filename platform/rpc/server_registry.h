// The interfaces this process serves and the running of one call's routine within its interface's
// concurrent-call limit. Shared by every runtime thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/rpc/server.h"
#include "platform/rpc/server_connection.h"

namespace tarvik::rpc {

inline constexpr unsigned kDefaultMaxCalls = 1234;  // used when a caller registers with 0

// One registered interface. Calls in progress are counted (without a lock: a call takes its place
// with one atomic step) so that unregistering can wait for them.
struct Registered {
  ServerInterface iface;
  unsigned flags = 0;
  unsigned max_calls = kDefaultMaxCalls;
  std::atomic<unsigned> active{0};
  std::atomic<bool> removed{false};
  std::mutex mutex;  // only for waiting on calls_done
  std::condition_variable calls_done;
};

// A connection's memory of the interface its calls went to: while nothing was registered or
// unregistered since, a call finds its interface without taking the registry's lock.
struct RegistryCache {
  std::uint64_t version = 0;
  SyntaxId id;
  std::shared_ptr<Registered> entry;
};

class Registry final : public InterfaceLookup {
 public:
  std::optional<SyntaxId> find(const SyntaxId& requested) const override;
  std::optional<std::size_t> opnum_count(const SyntaxId& id) const override;
  std::shared_ptr<Registered> get(const SyntaxId& id) const;
  bool add(std::shared_ptr<Registered> r);  // false when the id is registered already
  std::shared_ptr<Registered> remove(const SyntaxId& id);
  // Changes with every add and remove.
  std::uint64_t version() const { return version_.load(); }

 private:
  std::atomic<std::uint64_t> version_{1};
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Registered>> entries_;
};

// What to send for a call: complete(status, out, did_not_execute).
struct CallOutcome {
  std::uint32_t status = 0;
  bool did_not_execute = false;
};

// Runs the routine of `call` on this thread, writing its response stub into `out` (cleared first).
// Refused without running (did_not_execute) when the interface is gone, the opnum has no routine
// or max_calls routines of the interface are running; a routine's exception fails only its call.
CallOutcome run_routine(const Registry& registry, RegistryCache& cache, const ServerCall& call,
                        std::vector<std::uint8_t>& out);

// Marks `r` removed (calls not yet started are refused) and, with `wait`, waits for its routines in
// progress; a routine unregistering its own interface does not wait for itself.
void retire(Registered& r, bool wait);

}  // namespace tarvik::rpc
