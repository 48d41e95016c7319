// The host routines of MEVRIXHOST (served as the interface MEVRIXHOST_v1_0_s_ifspec):
// opnum n is served by the routine of the same telegram name, which unmarshals the call and hands
// the decoded telegram to a HostHandler. The control and the managed library each supply one.
#pragma once

#include <cstdint>

#include "platform/rpc/server.h"
#include "protocol/incoming_telegram.h"
#include "protocol/server_routines.h"

namespace tarvik::protocol {

// Results a host routine answers besides 0.
inline constexpr std::int32_t kWrongHostName = -110;   // pszHost is not this host's HostID
inline constexpr std::int32_t kNoSuchMachine = -111;   // no machine object with that name (managed)

class HostHandler {
 public:
  virtual ~HostHandler() = default;
  // Called on an RPC runtime thread, several at once; must not throw. `t` and everything it refers
  // to are valid until the call returns. The returned long goes back to the machine (ignored for
  // Shutdown_H, which has no result).
  virtual std::int32_t on_telegram(const IncomingTelegram& t) = 0;
  // The routine's whole answer: on_telegram()'s result unless overridden. A handler that may have to
  // refuse a telegram it cannot take (TelegramAnswer::refuse, a fault the machine sees and may
  // retry) overrides this one.
  virtual TelegramAnswer answer(const IncomingTelegram& t) { return on_telegram(t); }
};

// The ten routines, in opnum order, calling `handler` (which must outlive the registration).
rpc::ServerInterface host_server_interface(HostHandler& handler);

}  // namespace tarvik::protocol
