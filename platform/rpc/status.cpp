#include "platform/rpc/status.h"

#include <array>

namespace tarvik::rpc {
namespace {

struct StatusText {
  Status status;
  std::string_view name;
  std::string_view message;
};

constexpr std::array kStatusTexts{
    StatusText{RPC_S_OK, "RPC_S_OK", "success"},
    StatusText{ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", "access is denied"},
    StatusText{ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE", "the handle is invalid"},
    StatusText{ERROR_OUTOFMEMORY, "ERROR_OUTOFMEMORY", "not enough memory"},
    StatusText{ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER", "the parameter is incorrect"},
    StatusText{RPC_S_SERVER_OUT_OF_MEMORY, "RPC_S_SERVER_OUT_OF_MEMORY", "the server ran out of memory"},
    StatusText{RPC_S_INVALID_STRING_BINDING, "RPC_S_INVALID_STRING_BINDING", "the string binding is invalid"},
    StatusText{RPC_S_WRONG_KIND_OF_BINDING, "RPC_S_WRONG_KIND_OF_BINDING", "the binding handle is not the correct type"},
    StatusText{RPC_S_INVALID_BINDING, "RPC_S_INVALID_BINDING", "the binding handle is invalid"},
    StatusText{RPC_S_PROTSEQ_NOT_SUPPORTED, "RPC_S_PROTSEQ_NOT_SUPPORTED", "the RPC protocol sequence is not supported"},
    StatusText{RPC_S_INVALID_RPC_PROTSEQ, "RPC_S_INVALID_RPC_PROTSEQ", "the RPC protocol sequence is invalid"},
    StatusText{RPC_S_INVALID_STRING_UUID, "RPC_S_INVALID_STRING_UUID", "the string UUID is invalid"},
    StatusText{RPC_S_INVALID_ENDPOINT_FORMAT, "RPC_S_INVALID_ENDPOINT_FORMAT", "the endpoint format is invalid"},
    StatusText{RPC_S_INVALID_NET_ADDR, "RPC_S_INVALID_NET_ADDR", "the network address is invalid"},
    StatusText{RPC_S_INVALID_TIMEOUT, "RPC_S_INVALID_TIMEOUT", "the time-out value is invalid"},
    StatusText{RPC_S_ALREADY_REGISTERED, "RPC_S_ALREADY_REGISTERED", "the interface is already registered"},
    StatusText{RPC_S_UNKNOWN_IF, "RPC_S_UNKNOWN_IF", "the interface is unknown"},
    StatusText{RPC_S_CANT_CREATE_ENDPOINT, "RPC_S_CANT_CREATE_ENDPOINT", "the endpoint cannot be created"},
    StatusText{RPC_S_OUT_OF_RESOURCES, "RPC_S_OUT_OF_RESOURCES", "not enough resources are available"},
    StatusText{RPC_S_SERVER_UNAVAILABLE, "RPC_S_SERVER_UNAVAILABLE", "the RPC server is unavailable"},
    StatusText{RPC_S_SERVER_TOO_BUSY, "RPC_S_SERVER_TOO_BUSY", "the RPC server is too busy"},
    StatusText{RPC_S_NO_CALL_ACTIVE, "RPC_S_NO_CALL_ACTIVE", "there is no remote procedure call active"},
    StatusText{RPC_S_CALL_FAILED, "RPC_S_CALL_FAILED", "the remote procedure call failed"},
    StatusText{RPC_S_CALL_FAILED_DNE, "RPC_S_CALL_FAILED_DNE", "the remote procedure call failed and did not execute"},
    StatusText{RPC_S_PROTOCOL_ERROR, "RPC_S_PROTOCOL_ERROR", "a remote procedure call protocol error occurred"},
    StatusText{RPC_S_UNSUPPORTED_TRANS_SYN, "RPC_S_UNSUPPORTED_TRANS_SYN", "the transfer syntax is not supported"},
    StatusText{RPC_S_UNSUPPORTED_TYPE, "RPC_S_UNSUPPORTED_TYPE", "the type is not supported"},
    StatusText{RPC_S_INVALID_TAG, "RPC_S_INVALID_TAG", "the tag is invalid"},
    StatusText{RPC_S_INVALID_BOUND, "RPC_S_INVALID_BOUND", "the array bounds are invalid"},
    StatusText{RPC_S_DUPLICATE_ENDPOINT, "RPC_S_DUPLICATE_ENDPOINT", "the endpoint is a duplicate"},
    StatusText{RPC_S_PROCNUM_OUT_OF_RANGE, "RPC_S_PROCNUM_OUT_OF_RANGE", "the procedure number is out of range"},
    StatusText{RPC_S_ZERO_DIVIDE, "RPC_S_ZERO_DIVIDE", "the server attempted an integer division by zero"},
    StatusText{RPC_S_ADDRESS_ERROR, "RPC_S_ADDRESS_ERROR", "an addressing error occurred in the server"},
    StatusText{RPC_X_NULL_REF_POINTER, "RPC_X_NULL_REF_POINTER", "a null reference pointer was passed to the stub"},
    StatusText{RPC_X_BAD_STUB_DATA, "RPC_X_BAD_STUB_DATA", "the stub received bad data"},
    StatusText{RPC_S_CALL_CANCELLED, "RPC_S_CALL_CANCELLED", "the remote procedure call was cancelled"},
    StatusText{RPC_S_COMM_FAILURE, "RPC_S_COMM_FAILURE", "a communications failure occurred"},
};

const StatusText* find(Status s) {
  for (const auto& t : kStatusTexts)
    if (t.status == s) return &t;
  return nullptr;
}

}  // namespace

std::string_view status_name(Status s) {
  const StatusText* t = find(s);
  return t ? t->name : std::string_view{};
}

std::string_view status_message(Status s) {
  const StatusText* t = find(s);
  return t ? t->message : std::string_view{"unknown status"};
}

}  // namespace tarvik::rpc
