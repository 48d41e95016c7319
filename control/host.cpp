#include "control/host.h"

#include <algorithm>
#include <mutex>

#include "control/machine.h"
#include "control/text_rules.h"

namespace tarvik::control {
namespace {

// The process-wide reference to the host. Machine objects live on one thread, but a process may
// create its first object on another thread than an earlier, already retired host: the mutex keeps
// the reference itself consistent.
std::mutex g_host_mutex;
std::weak_ptr<CHost> g_host;

}  // namespace

CHost::CHost() : queue_(std::make_unique<com::OwnerQueue>()) {
  queue_->set_handler([this](std::int32_t command, com::Variant& payload) {
    if (command < 0) return;
    static const EventRecord kNoRecord;
    handle_command(static_cast<std::uint32_t>(command), payload.is_array() ? payload.as_array() : kNoRecord);
  });
}

CHost::~CHost() {
  // The routines must have left before the queue they post into goes.
  (void)endpoint_.disable();
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
  if (!any_run_time) (void)endpoint_.disable();  // a side effect: its status is not reported
  if (machines_.empty()) retire();
}

void CHost::retire() {
  (void)endpoint_.disable();
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
  (void)endpoint_.disable();
}

void CHost::post(std::uint32_t command, EventRecord record) {
  // A record that cannot be posted (queue full) is released here; the machine gets 0 all the same.
  (void)queue_->post(static_cast<std::int32_t>(command), com::Variant::array(std::move(record)));
}

std::int32_t CHost::on_telegram(const protocol::IncomingTelegram& t) {
  if (t.info().params.empty()) {  // Shutdown_H: no host name to check, no record
    for (const protocol::Event& e : t.info().events) (void)queue_->post(e.dispid);
    return 0;
  }
  // The check is made for every record, as each is posted (R_REPORT_H posts two).
  for (const protocol::Event& e : t.info().events) {
    if (!t.host_is(endpoint_.host_id())) return protocol::kWrongHostName;
    post(static_cast<std::uint32_t>(e.dispid), make_event_record(t, e));
  }
  return 0;
}

bool CHost::handle_command(std::uint32_t command, const EventRecord& record) {
  if (retired_ || command < kFirstEventCommand || command > kLastEventCommand) return false;
  // Event handlers may release objects (even the last one, retiring this host) or create new ones:
  // keep the host and every object of the list alive until all of them have been served.
  const std::shared_ptr<CHost> self = shared_from_this();
  std::vector<com::ComPtr<com::IUnknown>> keep;
  const std::vector<CMachine*> targets = machines_;
  keep.reserve(targets.size());
  for (CMachine* m : targets) keep.emplace_back(static_cast<IMachine*>(m));

  const auto still_listed = [this](CMachine* m) {
    return std::find(machines_.begin(), machines_.end(), m) != machines_.end();
  };
  const com::DispId id = static_cast<com::DispId>(command);
  if (command == kShutdownCommand) {
    for (CMachine* m : targets)
      if (still_listed(m) && !m->drawn()) m->raise_event(id, {});
    return true;
  }
  const std::optional<std::u16string> name = upper_case_machine_name(record_machine_name(record).str());
  const std::span<const com::Variant> args = record_arguments(record);
  for (CMachine* m : targets)
    if (still_listed(m) && !m->drawn() && same_property_text(m->machine_id(), name)) m->raise_event(id, args);
  return true;
}

}  // namespace tarvik::control
