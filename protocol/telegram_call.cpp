#include "protocol/telegram_call.h"

#include <vector>

#include "protocol/stub_codec.h"

namespace tarvik::protocol {

rpc::Status call_telegram(rpc::Binding& binding, const TelegramInfo& t, std::span<const WireValue> values,
                          std::int32_t& result) {
  result = 0;
  std::vector<std::uint8_t> request;
  if (rpc::Status s = marshal_request(t, values, request); s != rpc::RPC_S_OK) return s;
  std::vector<std::uint8_t> response;
  rpc::ByteOrder order = rpc::ByteOrder::little;
  if (rpc::Status s = binding.call(interface_id(t.iface), t.opnum, request, response, order); s != rpc::RPC_S_OK)
    return s;
  // The result is read in the byte order the server declared, so big-endian machines are understood.
  return unmarshal_response(t, response, order, result);
}

}  // namespace tarvik::protocol
