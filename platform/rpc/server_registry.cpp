#include "platform/rpc/server_registry.h"

#include "platform/rpc/pdu.h"

namespace tarvik::rpc {
namespace {
// The interface currently running a routine on this thread (to let a routine unregister its own
// interface without waiting for itself).
thread_local const Registered* t_running = nullptr;
}  // namespace

std::optional<SyntaxId> Registry::find(const SyntaxId& requested) const {
  std::lock_guard lock(mutex_);
  std::optional<SyntaxId> best;
  for (const auto& r : entries_) {
    if (version_compatible(r->iface.id, requested) && (!best || r->iface.id.minor > best->minor)) {
      best = r->iface.id;
    }
  }
  return best;
}

std::optional<std::size_t> Registry::opnum_count(const SyntaxId& id) const {
  std::lock_guard lock(mutex_);
  for (const auto& r : entries_)
    if (r->iface.id == id) return r->iface.routines.size();
  return std::nullopt;
}

std::shared_ptr<Registered> Registry::get(const SyntaxId& id) const {
  std::lock_guard lock(mutex_);
  for (const auto& r : entries_)
    if (r->iface.id == id) return r;
  return nullptr;
}

bool Registry::add(std::shared_ptr<Registered> r) {
  std::lock_guard lock(mutex_);
  for (const auto& e : entries_)
    if (e->iface.id == r->iface.id) return false;
  entries_.push_back(std::move(r));
  ++version_;
  return true;
}

std::shared_ptr<Registered> Registry::remove(const SyntaxId& id) {
  std::lock_guard lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if ((*it)->iface.id == id) {
      auto r = std::move(*it);
      entries_.erase(it);
      ++version_;
      return r;
    }
  }
  return nullptr;
}

namespace {
void leave(Registered& r) {
  r.active.fetch_sub(1);
  if (r.removed.load()) {
    std::lock_guard lock(r.mutex);  // an unregister may be waiting for this call
    r.calls_done.notify_all();
  }
}
}  // namespace

CallOutcome run_routine(const Registry& registry, RegistryCache& cache, const ServerCall& call,
                        std::vector<std::uint8_t>& out) {
  out.clear();
  const std::uint64_t version = registry.version();
  if (cache.version != version || !(cache.id == call.iface)) {
    cache.entry = registry.get(call.iface);
    cache.id = call.iface;
    cache.version = version;
  }
  Registered* reg = cache.entry.get();
  if (!reg || reg->removed.load()) return {nca::s_unk_if, true};
  const Routine* routine = call.opnum < reg->iface.routines.size() ? &reg->iface.routines[call.opnum] : nullptr;
  if (!routine || !*routine) return {nca::s_op_rng_error, true};
  unsigned running = reg->active.load();
  do {
    if (running >= reg->max_calls) return {nca::s_server_too_busy, true};
  } while (!reg->active.compare_exchange_weak(running, running + 1));
  if (reg->removed.load()) {  // unregistered while this call took its place
    leave(*reg);
    return {nca::s_unk_if, true};
  }
  CallOutcome outcome;
  t_running = reg;
  try {
    outcome.status = (*routine)(CallInfo{call.opnum, call.byte_order, call.call_id}, call.stub, out);
  } catch (...) {
    outcome.status = nca::s_fault_unspec;  // a routine's exception fails its call, not the server
  }
  t_running = nullptr;
  leave(*reg);
  return outcome;
}

void retire(Registered& r, bool wait) {
  r.removed.store(true);
  if (wait) {
    const unsigned own = t_running == &r ? 1 : 0;
    std::unique_lock lock(r.mutex);
    r.calls_done.wait(lock, [&] { return r.active.load() <= own; });
  }
}

}  // namespace tarvik::rpc
