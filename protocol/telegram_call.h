// One call of a telegram through a binding, the way a client stub makes it: marshal the request,
// make the call, read the result. Used by the host's machine connections and by tools that play a
// machine calling a host.
#pragma once

#include <cstdint>
#include <span>

#include "platform/rpc/client.h"
#include "platform/rpc/status.h"
#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::protocol {

// Returns RPC_S_OK with the procedure's `result` (0 for the shutdown procedures), or the status
// that a client stub would raise: the marshaller's (1780 for a null text: nothing is sent), the
// runtime's call status (1722, 1726, a fault's status ...), or RPC_X_BAD_STUB_DATA for a response
// without its result. The caller's thread waits for the response (bounded by the binding's time-out).
[[nodiscard]] rpc::Status call_telegram(rpc::Binding& binding, const TelegramInfo& t,
                                        std::span<const WireValue> values, std::int32_t& result);

}  // namespace tarvik::protocol
