// One machine connection of the host: the machine's settings, the binding to it, and sending one
// `_M` telegram. The control's CMachine and the managed MachineClass each own one; a ClientPolicy
// says where they differ.
//
//   MachineConnection m(host, kControlPolicy);
//   m.set_machine_ip(u"192.0.2.10");
//   const CallerArg args[] = {7 /*OrderNum*/, 3 /*SFkt*/, u"PART1", u""};
//   Status ret = m.send(*find_telegram("T_DATA_M"), args);   // the machine's long, or a status
//
// Threads: used by one thread at a time (no lock, like the binding it owns). The HostEndpoint is
// shared with other connections and must outlive this object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/rpc/client.h"
#include "platform/rpc/status.h"
#include "protocol/client_policy.h"
#include "protocol/host_endpoint.h"
#include "protocol/telegram_table.h"

namespace tarvik::protocol {

inline constexpr std::int32_t kDefaultMachinePort = 3011;
inline constexpr std::int32_t kDefaultMachineTimeout = 5;

// An argument of a telegram as a caller holds it: a number, or a UTF-16 text that may be null.
using CallerText = std::optional<std::u16string_view>;
using CallerArg = std::variant<std::int32_t, CallerText>;

class MachineConnection {
 public:
  MachineConnection(HostEndpoint& host, ClientPolicy policy) : host_(host), policy_(policy) {}
  ~MachineConnection();  // frees the binding
  MachineConnection(const MachineConnection&) = delete;
  MachineConnection& operator=(const MachineConnection&) = delete;

  // Settings; "?", "?", 3011, 5 initially. Null texts are allowed (a null MachineIP means this
  // computer; a null MachineID is sent as a null text and refused with 1780).
  const std::optional<std::u16string>& machine_id() const { return machine_id_; }
  const std::optional<std::u16string>& machine_ip() const { return machine_ip_; }
  std::int32_t machine_port() const { return machine_port_; }
  std::int32_t machine_timeout() const { return machine_timeout_; }
  void set_machine_id(std::optional<std::u16string> id) { machine_id_ = std::move(id); }
  // With OnEndpointChange::drop_binding a different value (null equals "") drops the binding.
  void set_machine_ip(std::optional<std::u16string> ip);
  void set_machine_port(std::int32_t port);
  // With TimeoutRule::clamp_0_to_9 a negative value is stored as 0, one above 9 as 9.
  void set_machine_timeout(std::int32_t level);

  // BindMevrix: composes "ncacn_ip_tcp:ADDRESS[PORT]" (no object UUID, no options), makes the
  // binding and sets its time-out to MachineTimeout. A failure before the binding exists leaves
  // none; a time-out the runtime refuses is returned and the binding stays without it.
  [[nodiscard]] rpc::Status bind();
  // UnbindMevrix: frees the binding if there is one; 0 otherwise.
  rpc::Status unbind();
  // ForceBinding: 0 if bound, else bind().
  [[nodiscard]] rpc::Status force_binding();
  // IsBind.
  bool is_bound() const { return binding_ != nullptr; }

  // Sends one `_M` telegram in the six steps every telegram method takes:
  // 1. host.enable() (unless the policy says never); 2. force_binding(); a failure of either is
  //    returned and nothing is sent, except a host port held by another program (1720): the host
  //    stays disabled and the telegram still goes out;
  // 3. HostID, MachineID and the texts to 8-bit text (policy conversion);
  // 4. the call; 5. its long, unchanged; 6. after a runtime failure the binding is dropped and the
  //    result is the runtime's status or 1722 (policy).
  // `args` are the parameters after pszHost and pszMachine, OrderNum first (none for Shutdown_M,
  // which returns 0 after a completed call). Arguments that do not match the telegram:
  // ERROR_INVALID_PARAMETER, nothing done.
  [[nodiscard]] std::int32_t send(const TelegramInfo& t, std::span<const CallerArg> args);

  // The binding, for tests and diagnostics; nullptr when not bound.
  const rpc::Binding* binding() const { return binding_.get(); }

 private:
  bool drops_binding_on_change() const {
    return policy_.on_endpoint_change == ClientPolicy::OnEndpointChange::drop_binding;
  }

  HostEndpoint& host_;
  const ClientPolicy policy_;
  std::optional<std::u16string> machine_id_{u"?"};
  std::optional<std::u16string> machine_ip_{u"?"};
  std::int32_t machine_port_ = kDefaultMachinePort;
  std::int32_t machine_timeout_ = kDefaultMachineTimeout;
  std::unique_ptr<rpc::Binding> binding_;
};

}  // namespace tarvik::protocol
