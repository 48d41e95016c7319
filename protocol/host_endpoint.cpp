#include "protocol/host_endpoint.h"

#include <string>

namespace tarvik::protocol {

HostEndpoint::HostEndpoint(HostHandler& handler) : routines_(host_server_interface(handler)) {}

HostEndpoint::~HostEndpoint() {
  // The handler may go right after us: no routine may still be running into it.
  (void)take_down(/*wait_for_other_disable=*/true);
}

rpc::Status HostEndpoint::enable() {
  std::lock_guard lock(state_mu_);
  // While another thread is taking the endpoint down, its routines still run and may send a
  // telegram (which enables first): they must not wait for the lock, and the registration they
  // would find is the one on its way out. The disable wins.
  if (registered_) return rpc::RPC_S_OK;
  std::uint16_t actual = 0;
  rpc::Status s = rpc::use_protseq_ep("ncacn_ip_tcp", rpc::RPC_C_PROTSEQ_MAX_REQS_DEFAULT,
                                      std::to_string(host_port_.load()), &actual);
  // The endpoint stays open after a disable; meeting it again is how a restart goes on.
  if (s == rpc::RPC_S_DUPLICATE_ENDPOINT) s = rpc::RPC_S_OK;
  if (s != rpc::RPC_S_OK) return s;
  s = rpc::register_if(routines_, kHostRegistrationFlags, kHostMaxConcurrentCalls);
  if (s != rpc::RPC_S_OK) return s;
  registered_ = true;
  listening_port_ = actual != 0 ? actual : static_cast<std::uint16_t>(host_port_.load());
  return rpc::RPC_S_OK;
}

rpc::Status HostEndpoint::disable() {
  return take_down(/*wait_for_other_disable=*/false);
}

// Unregistering waits for the routines in progress, and a routine may itself enable or disable
// (a handler that answers with a telegram, or stops the host). So the wait happens without the
// state lock; a second disable meanwhile returns at once (the first one is doing what it asks),
// except in the destructor, which must not return while a routine could still run.
rpc::Status HostEndpoint::take_down(bool wait_for_other_disable) {
  std::unique_lock lock(state_mu_);
  if (wait_for_other_disable) disabled_cv_.wait(lock, [this] { return !disabling_; });
  if (!registered_ || disabling_) return rpc::RPC_S_OK;
  disabling_ = true;
  lock.unlock();
  const rpc::Status s = rpc::unregister_if(routines_.id, /*wait_for_calls=*/true);
  lock.lock();
  disabling_ = false;
  if (s == rpc::RPC_S_OK) registered_ = false;
  disabled_cv_.notify_all();
  return s;
}

std::optional<std::u16string> HostEndpoint::host_id() const {
  std::lock_guard lock(id_mu_);
  return host_id_;
}

void HostEndpoint::set_host_id(std::optional<std::u16string> id) {
  std::lock_guard lock(id_mu_);
  host_id_ = std::move(id);
}

}  // namespace tarvik::protocol
