// Generic request/response stub marshalling for every telegram, driven by the telegram table.
// There is no per-telegram stub code: each parameter is written or read by its Kind.
//
// Sending: values -> request stub (little-endian, zero padding, as every peer we know sends).
// Receiving: request stub -> values, defensively: any defect (missing bytes, inconsistent string
// counts, a text without its terminating zero) is RPC_X_BAD_STUB_DATA (0x6F7), which the server
// sends back as the call's fault. Bytes after the last parameter are ignored, as peers may append.
//
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/rpc/ndr.h"
#include "platform/rpc/status.h"
#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::protocol {

// Appends the request stub of `t` to `stub`. `values` holds one value per parameter.
// RPC_X_NULL_REF_POINTER (1780) when a text is null: nothing is appended, so nothing can be sent.
// RPC_S_INVALID_BOUND when a name is longer than its 6-byte slot or a table has the wrong size;
// ERROR_INVALID_PARAMETER when the values do not match the parameters in number or kind.
// A text is sent up to its first zero byte, as a C caller's string would be.
[[nodiscard]] rpc::Status marshal_request(const TelegramInfo& t, std::span<const WireValue> values,
                                          std::vector<std::uint8_t>& stub);

// Reads the request stub of `t` into `values` (replaced). RPC_X_BAD_STUB_DATA on any defect.
[[nodiscard]] rpc::Status unmarshal_request(const TelegramInfo& t, std::span<const std::uint8_t> stub,
                                            rpc::ByteOrder order, std::vector<WireValue>& values);

// Response stub: the long result, or nothing for the shutdown procedures.
void marshal_response(const TelegramInfo& t, std::int32_t result, std::vector<std::uint8_t>& stub);
// RPC_X_BAD_STUB_DATA when the result is missing; `result` is 0 for the shutdown procedures.
[[nodiscard]] rpc::Status unmarshal_response(const TelegramInfo& t, std::span<const std::uint8_t> stub,
                                             rpc::ByteOrder order, std::int32_t& result);

}  // namespace tarvik::protocol
