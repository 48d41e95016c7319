// Status values of the RPC runtime. Every runtime operation returns one of these 32-bit numbers;
// they are the Windows runtime's own numbers, because callers, logs and machine operators know them
// and because telegram results share this number space with the machines' own status values.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvik::rpc {

using Status = std::int32_t;

inline constexpr Status RPC_S_OK = 0;
inline constexpr Status ERROR_ACCESS_DENIED = 5;
inline constexpr Status ERROR_INVALID_HANDLE = 6;
inline constexpr Status ERROR_OUTOFMEMORY = 14;
inline constexpr Status ERROR_INVALID_PARAMETER = 87;
inline constexpr Status RPC_S_SERVER_OUT_OF_MEMORY = 1130;
inline constexpr Status RPC_S_INVALID_STRING_BINDING = 1700;
inline constexpr Status RPC_S_WRONG_KIND_OF_BINDING = 1701;
inline constexpr Status RPC_S_INVALID_BINDING = 1702;
inline constexpr Status RPC_S_PROTSEQ_NOT_SUPPORTED = 1703;
inline constexpr Status RPC_S_INVALID_RPC_PROTSEQ = 1704;
inline constexpr Status RPC_S_INVALID_STRING_UUID = 1705;
inline constexpr Status RPC_S_INVALID_ENDPOINT_FORMAT = 1706;
inline constexpr Status RPC_S_INVALID_NET_ADDR = 1707;
inline constexpr Status RPC_S_INVALID_TIMEOUT = 1709;
inline constexpr Status RPC_S_ALREADY_REGISTERED = 1711;
inline constexpr Status RPC_S_UNKNOWN_IF = 1717;
inline constexpr Status RPC_S_CANT_CREATE_ENDPOINT = 1720;
inline constexpr Status RPC_S_OUT_OF_RESOURCES = 1721;
inline constexpr Status RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr Status RPC_S_SERVER_TOO_BUSY = 1723;
inline constexpr Status RPC_S_NO_CALL_ACTIVE = 1725;
inline constexpr Status RPC_S_CALL_FAILED = 1726;
inline constexpr Status RPC_S_CALL_FAILED_DNE = 1727;
inline constexpr Status RPC_S_PROTOCOL_ERROR = 1728;
inline constexpr Status RPC_S_UNSUPPORTED_TRANS_SYN = 1730;
inline constexpr Status RPC_S_UNSUPPORTED_TYPE = 1732;
inline constexpr Status RPC_S_INVALID_TAG = 1733;
inline constexpr Status RPC_S_INVALID_BOUND = 1734;
inline constexpr Status RPC_S_DUPLICATE_ENDPOINT = 1740;
inline constexpr Status RPC_S_PROCNUM_OUT_OF_RANGE = 1745;
inline constexpr Status RPC_S_ZERO_DIVIDE = 1767;
inline constexpr Status RPC_S_ADDRESS_ERROR = 1768;
inline constexpr Status RPC_X_NULL_REF_POINTER = 1780;
inline constexpr Status RPC_X_BAD_STUB_DATA = 1783;
inline constexpr Status RPC_S_CALL_CANCELLED = 1818;
inline constexpr Status RPC_S_COMM_FAILURE = 1820;

// The symbolic name of a status ("RPC_S_SERVER_UNAVAILABLE"), or "" for a number we do not name
// (machines' own results, for example).
std::string_view status_name(Status s);

// A short English explanation for messages shown to a person ("the RPC server is unavailable").
std::string_view status_message(Status s);

}  // namespace tarvik::rpc
