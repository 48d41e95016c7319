#include "control/host.h"

#include <algorithm>
#include <mutex>

#include "control/machine.h"
#include "control/text_rules.h"
#include "platform/rpc/pdu.h"

namespace tarvik::control {
namespace {

// The process-wide reference to the host. Machine objects live on one thread, but a process may
// create its first object on another thread than an earlier, already retired host: the mutex keeps
// the reference itself consistent.
std::mutex g_host_mutex;
std::weak_ptr<CHost> g_host;

}  // namespace

CHost::CHost() : queue_(std::make_unique<Queue>()) {
  queue_->set_handler([this](EventRecord& record) { handle(record); });
}

CHost::~CHost() {
  // The routines must have left before the queue they post into goes.
  (void)take_down();
}

std::shared_ptr<CHost> CHost::attach(CMachine& machine) {
  std::lock_guard lock(g_host_mutex);
  std::shared_ptr<CHost> host = g_host.lock();
  if (!host) {
    host.reset(new CHost());
    g_host = host;
  }
  host->machines_.push_back(&machine);
  return host;
}

std::shared_ptr<CHost> CHost::current() {
  std::lock_guard lock(g_host_mutex);
  return g_host.lock();
}

void CHost::detach(CMachine& machine) {
  std::erase(machines_, &machine);
  const bool any_run_time =
      std::any_of(machines_.begin(), machines_.end(), [](CMachine* m) { return !m->drawn(); });
  if (!any_run_time) (void)take_down();  // a side effect: its status is not reported
  if (machines_.empty()) retire();
}

void CHost::retire() {
  (void)take_down();
  {
    std::lock_guard lock(g_host_mutex);
    if (g_host.lock().get() == this) g_host.reset();
  }
  // Records still queued belong to a host that no longer has objects: they are dropped, also while
  // a handler keeps this host alive a little longer.
  retired_ = true;
}

void CHost::set_host_id(std::optional<std::u16string> id) {
  if (same_property_text(id, endpoint_.host_id())) return;
  endpoint_.set_host_id(std::move(id));
}

void CHost::set_host_port(std::int32_t port) {
  if (port == endpoint_.host_port()) return;
  endpoint_.set_host_port(port);
  (void)take_down();
}

rpc::Status CHost::stop() {
  return take_down();
}

rpc::Status CHost::take_down() {
  // Disabling waits for the routines in progress, and a routine may be waiting for this very thread
  // to make room in the queue: release those (they answer server-too-busy) and let none wait until
  // the routines are gone.
  queue_->set_waiting(false);
  const rpc::Status s = endpoint_.disable();
  queue_->set_waiting(true);
  return s;
}

IntakeCounts CHost::counts() const {
  IntakeCounts c;
  c.answered = counts_.answered.load(std::memory_order_relaxed);
  c.raised = counts_.raised.load(std::memory_order_relaxed);
  c.unknown_machine = counts_.unknown_machine.load(std::memory_order_relaxed);
  c.drawn_only = counts_.drawn_only.load(std::memory_order_relaxed);
  c.wrong_host = counts_.wrong_host.load(std::memory_order_relaxed);
  c.waited = counts_.waited.load(std::memory_order_relaxed);
  c.refused = counts_.refused.load(std::memory_order_relaxed);
  return c;
}

protocol::TelegramAnswer CHost::answer(const protocol::IncomingTelegram& t) {
  // Shutdown_H carries no host name to check.
  if (!t.info().params.empty() && !t.host_is(endpoint_.host_id())) {
    counts_.wrong_host.fetch_add(1, std::memory_order_relaxed);
    return protocol::kWrongHostName;
  }
  const com::PostOutcome outcome = queue_->post(make_event_record(t));
  if (!com::was_queued(outcome)) {
    // The host is going down (or nobody can pump any more): a failure the machine sees and can
    // repeat, never a 0 for a telegram that will not be raised.
    counts_.refused.fetch_add(1, std::memory_order_relaxed);
    return protocol::TelegramAnswer::refuse(rpc::nca::s_server_too_busy);
  }
  if (outcome == com::PostOutcome::queued_later) counts_.waited.fetch_add(1, std::memory_order_relaxed);
  counts_.answered.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

std::int32_t CHost::on_telegram(const protocol::IncomingTelegram& t) {
  const protocol::TelegramAnswer a = answer(t);
  return a.fault != 0 ? static_cast<std::int32_t>(rpc::RPC_S_SERVER_TOO_BUSY) : a.result;
}

void CHost::handle(const EventRecord& record) {
  if (retired_ || record.telegram == nullptr) return;
  // Event handlers may release objects (even the last one, retiring this host) or create new ones:
  // keep the host and every object of the list alive until all of them have been served.
  const std::shared_ptr<CHost> self = shared_from_this();
  const std::optional<std::u16string> name =
      record.to_every_object() ? std::nullopt : upper_case_machine_name(record.machine);
  const auto still_listed = [this](CMachine* m) {
    return std::find(machines_.begin(), machines_.end(), m) != machines_.end();
  };
  bool named = false, raised = false;
  // Each event goes to all objects before the next event (R_REPORT_H: the array form first).
  const auto events = record.telegram->events;
  for (std::size_t e = 0; e < events.size(); ++e) {
    const std::vector<CMachine*> targets = machines_;
    std::vector<com::ComPtr<com::IUnknown>> keep;
    keep.reserve(targets.size());
    for (CMachine* m : targets) keep.emplace_back(static_cast<IMachine*>(m));
    for (CMachine* m : targets) {
      if (!still_listed(m)) continue;
      if (!record.to_every_object() && !same_property_text(m->machine_id(), name)) continue;
      named = true;
      if (m->drawn()) continue;
      raised = true;
      m->raise_event(events[e].dispid, record.args[e]);
    }
  }
  std::atomic<std::uint64_t>& count = raised ? counts_.raised
                                      : named ? counts_.drawn_only
                                              : counts_.unknown_machine;
  count.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace tarvik::control
