// Generic server routines for either interface, built from the telegram table: each routine
// unmarshals its request (any defect is answered with the fault 0x6F7 and the callback is not
// called), hands the values to a callback, and marshals the callback's result as the response.
// The host routines (host_routines.h) and the machine simulator of the command line are built on it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/rpc/server.h"
#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::protocol {

// What a routine answers: the call's result (ignored for the shutdown procedures, which answer with
// an empty stub), or a refusal: a fault the caller's runtime reports instead of a result, for a call
// the server could not take and the caller may repeat. Converts from a plain result.
struct TelegramAnswer {
  TelegramAnswer(std::int32_t result) : result(result) {}  // NOLINT: a result is an answer
  static TelegramAnswer refuse(std::uint32_t fault) {
    TelegramAnswer a(0);
    a.fault = fault;
    return a;
  }
  std::int32_t result = 0;
  std::uint32_t fault = 0;  // nca::... status; 0: answer with `result`
};

// Called on a runtime thread, possibly several at once. `values` (one per parameter, wire order)
// are valid until it returns.
using TelegramServe = std::function<TelegramAnswer(const TelegramInfo& t, std::span<const WireValue> values,
                                                   const rpc::CallInfo& call)>;

// One routine per opnum of `iface`, identity from the table; register it with rpc::register_if.
rpc::ServerInterface make_server_interface(Interface iface, TelegramServe serve);

}  // namespace tarvik::protocol
