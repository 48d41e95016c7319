#include "protocol/server_routines.h"

#include <memory>
#include <vector>

#include "protocol/stub_codec.h"

namespace tarvik::protocol {

rpc::ServerInterface make_server_interface(Interface iface, TelegramServe serve) {
  rpc::ServerInterface out;
  out.id = interface_id(iface);
  // Shared by all routines of the interface; each routine copy keeps it alive.
  auto shared = std::make_shared<const TelegramServe>(std::move(serve));
  for (const TelegramInfo& t : telegrams(iface)) {
    out.routines.push_back([&t, shared](const rpc::CallInfo& call, std::span<const std::uint8_t> stub,
                                        std::vector<std::uint8_t>& response) -> std::uint32_t {
      std::vector<WireValue> values;
      if (unmarshal_request(t, stub, call.byte_order, values) != rpc::RPC_S_OK)
        return static_cast<std::uint32_t>(rpc::RPC_X_BAD_STUB_DATA);
      const TelegramAnswer answer = (*shared)(t, values, call);
      if (answer.fault != 0) return answer.fault;
      marshal_response(t, answer.result, response);
      return 0;
    });
  }
  return out;
}

}  // namespace tarvik::protocol
