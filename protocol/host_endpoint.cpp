#include "protocol/host_endpoint.h"

#include <string>

namespace tarvik::protocol {

HostEndpoint::HostEndpoint(HostHandler& handler) : routines_(host_server_interface(handler)) {}

HostEndpoint::~HostEndpoint() {
  // The handler may go right after us: no routine may still be running into it.
  (void)disable();
}

rpc::Status HostEndpoint::enable() {
  std::lock_guard lock(state_mu_);
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
  std::lock_guard lock(state_mu_);
  if (!registered_) return rpc::RPC_S_OK;
  if (rpc::Status s = rpc::unregister_if(routines_.id, /*wait_for_calls=*/true); s != rpc::RPC_S_OK) return s;
  registered_ = false;
  return rpc::RPC_S_OK;
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
