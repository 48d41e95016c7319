#include "protocol/host_routines.h"

namespace tarvik::protocol {

rpc::ServerInterface host_server_interface(HostHandler& handler) {
  return make_server_interface(Interface::host,
                               [&handler](const TelegramInfo& t, std::span<const WireValue> values,
                                          const rpc::CallInfo&) {
                                 return handler.answer(IncomingTelegram(t, values));
                               });
}

}  // namespace tarvik::protocol
