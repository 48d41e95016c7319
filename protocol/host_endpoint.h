// The host side of a process: HostID, HostPort and the host endpoint, on which MEVRIXHOST is
// registered so that machines can call this host. One per process (the runtime serves one
// registration of an interface): the control's CHost and the managed Host each own one.
//
//   HostEndpoint host(my_handler);      // handler outlives `host`
//   host.set_host_id(u"HOST1");
//   host.set_host_port(3010);
//   Status s = host.enable();           // RpcHostEnable: 0, or the runtime's status
//
// Threads: enable()/disable() may be called from any thread (serialised inside). host_id() is read
// by runtime threads while the owner sets it, so it is copied under a lock. The handler is called
// on runtime threads until disable() returns; the destructor disables.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/rpc/server.h"
#include "platform/rpc/status.h"
#include "protocol/host_routines.h"

namespace tarvik::protocol {

inline constexpr std::int32_t kDefaultHostPort = 3010;
// Registration of MEVRIXHOST: listen at once, accept calls without authentication (= 17).
inline constexpr unsigned kHostRegistrationFlags = rpc::RPC_IF_AUTOLISTEN | rpc::RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH;
inline constexpr unsigned kHostMaxConcurrentCalls = 1234;
static_assert(kHostRegistrationFlags == 17);

class HostEndpoint {
 public:
  explicit HostEndpoint(HostHandler& handler);
  ~HostEndpoint();
  HostEndpoint(const HostEndpoint&) = delete;
  HostEndpoint& operator=(const HostEndpoint&) = delete;

  // RpcHostEnable. 0 if already registered; else opens ncacn_ip_tcp on HostPort (max-calls argument
  // 10; a duplicate endpoint, 1740, counts as success) and registers MEVRIXHOST (flags 17, at most
  // 1234 calls at once). Any other status is returned and nothing is marked.
  [[nodiscard]] rpc::Status enable();
  // RpcHostDisable. 0 if not registered; else unregisters, waiting for the routines in progress.
  // A failure is returned and the registration stays. The TCP endpoint stays open. Routines may
  // call enable() and disable() while a disable waits for them: both return 0 at once.
  [[nodiscard]] rpc::Status disable();
  bool enabled() const { return registered_.load(); }

  // The port the endpoint listens on after a successful enable(): HostPort, or the free port the
  // runtime chose when HostPort is 0. 0 before the first successful enable().
  std::uint16_t listening_port() const { return listening_port_.load(); }

  // HostID: "?" initially; null is allowed (it is sent as a null text, which is refused).
  std::optional<std::u16string> host_id() const;
  void set_host_id(std::optional<std::u16string> id);
  // HostPort: 3010 initially. Takes effect at the next enable(); a running endpoint is not touched.
  std::int32_t host_port() const { return host_port_.load(); }
  void set_host_port(std::int32_t port) { host_port_.store(port); }

 private:
  rpc::Status take_down(bool wait_for_other_disable);

  const rpc::ServerInterface routines_;
  std::mutex state_mu_;  // serialises enable/disable; never held while waiting for routines
  std::condition_variable disabled_cv_;
  bool disabling_ = false;  // under state_mu_: an unregister is waiting for the routines
  std::atomic<bool> registered_{false};
  std::atomic<std::uint16_t> listening_port_{0};
  std::atomic<std::int32_t> host_port_{kDefaultHostPort};
  mutable std::mutex id_mu_;
  std::optional<std::u16string> host_id_{u"?"};
};

}  // namespace tarvik::protocol
