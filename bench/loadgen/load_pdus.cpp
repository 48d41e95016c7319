#include "bench/loadgen/load_pdus.h"

#include "platform/rpc/pdu.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_table.h"
#include "tools/field_values.h"

namespace tarvik::loadgen {

bool build_pdus(const std::string& telegram, const std::vector<std::string>& assignments, LoadPdus& pdus,
                std::string& error) {
  const protocol::TelegramInfo* t = protocol::find_telegram(telegram);
  if (t == nullptr) {
    error = "unknown telegram: " + telegram;
    return false;
  }
  std::vector<protocol::WireValue> values;
  if (!cli::parse_fields(*t, assignments, {}, 0, values, error) || !cli::to_code_page(*t, values, error))
    return false;
  std::vector<std::uint8_t> stub;
  if (const rpc::Status s = protocol::marshal_request(*t, values, stub); s != rpc::RPC_S_OK) {
    error = "cannot marshal " + telegram + ": status " + std::to_string(s);
    return false;
  }
  constexpr std::uint8_t kFirstLast = rpc::pfc::first_frag | rpc::pfc::last_frag;
  pdus.bind.clear();
  rpc::encode_bind(pdus.bind, rpc::PduType::bind, kFirstLast, 1,
                   rpc::BindPdu{.contexts = {{0, protocol::interface_id(t->iface), {rpc::kNdr20Syntax}}}});
  pdus.request.clear();
  rpc::encode_request(pdus.request, kFirstLast, 2,
                      rpc::RequestPdu{static_cast<std::uint32_t>(stub.size()), 0,
                                      static_cast<std::uint16_t>(t->opnum), std::nullopt, stub});
  return true;
}

}  // namespace tarvik::loadgen
