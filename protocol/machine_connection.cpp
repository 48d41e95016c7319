#include "protocol/machine_connection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/telegram_call.h"

namespace tarvik::protocol {
namespace {

std::u16string_view or_empty(const std::optional<std::u16string>& s) {
  return s ? std::u16string_view(*s) : std::u16string_view();
}

bool args_fit(const TelegramInfo& t, std::span<const CallerArg> args) {
  const auto own = t.own_params();
  if (args.size() != own.size()) return false;
  for (std::size_t i = 0; i < own.size(); ++i) {
    const bool text = std::holds_alternative<CallerText>(args[i]);
    if ((own[i].kind == Kind::text) != text || (!text && own[i].kind != Kind::number)) return false;
  }
  return true;
}

}  // namespace

MachineConnection::~MachineConnection() { unbind(); }

void MachineConnection::set_machine_ip(std::optional<std::u16string> ip) {
  // The control compares first (null equals "") and keeps everything when nothing changed.
  if (drops_binding_on_change()) {
    if (or_empty(ip) == or_empty(machine_ip_)) return;
    unbind();
  }
  machine_ip_ = std::move(ip);
}

void MachineConnection::set_machine_port(std::int32_t port) {
  if (drops_binding_on_change() && port != machine_port_) unbind();
  machine_port_ = port;
}

void MachineConnection::set_machine_timeout(std::int32_t level) {
  if (policy_.timeout_rule == ClientPolicy::TimeoutRule::clamp_0_to_9) level = std::clamp(level, 0, 9);
  if (drops_binding_on_change() && level != machine_timeout_) unbind();
  machine_timeout_ = level;
}

rpc::Status MachineConnection::bind() {
  rpc::StringBindingParts parts;
  parts.protseq = "ncacn_ip_tcp";
  // A null MachineIP gives no network address, which the runtime takes as this computer.
  if (machine_ip_) parts.network_address = codepage::to_ansi(*machine_ip_, policy_.conversion);
  parts.endpoint = std::to_string(machine_port_);
  std::string string_binding;
  if (rpc::Status s = rpc::string_binding_compose(parts, string_binding); s != rpc::RPC_S_OK) return s;
  std::unique_ptr<rpc::Binding> made;
  if (rpc::Status s = rpc::binding_from_string_binding(string_binding, made); s != rpc::RPC_S_OK) return s;
  binding_ = std::move(made);
  // A negative level (possible with TimeoutRule::unchecked) is out of the runtime's range as well.
  return binding_->set_com_timeout(static_cast<unsigned>(machine_timeout_));
}

rpc::Status MachineConnection::unbind() {
  if (!binding_) return rpc::RPC_S_OK;
  return rpc::binding_free(binding_);
}

rpc::Status MachineConnection::force_binding() { return binding_ ? rpc::RPC_S_OK : bind(); }

std::int32_t MachineConnection::send(const TelegramInfo& t, std::span<const CallerArg> args) {
  if (t.iface != Interface::machine || !args_fit(t, args)) return rpc::ERROR_INVALID_PARAMETER;
  if (policy_.host_start == ClientPolicy::HostStart::before_every_telegram) {
    // A host port that another program holds costs the incoming telegrams, not the outgoing
    // ones: the host stays disabled (and its start-up failure visible) and the telegram goes out.
    const rpc::Status s = host_.enable();
    if (s != rpc::RPC_S_OK && s != rpc::RPC_S_CANT_CREATE_ENDPOINT) return s;
  }
  if (rpc::Status s = force_binding(); s != rpc::RPC_S_OK) return s;

  const auto to_wire = [this](const std::optional<std::u16string_view>& text) -> WireValue {
    if (!text) return WireText{};
    return WireText{codepage::to_ansi(*text, policy_.conversion)};
  };
  std::vector<WireValue> values;
  if (!t.params.empty()) {
    values.reserve(t.params.size());
    const std::optional<std::u16string> host_id = host_.host_id();
    values.push_back(to_wire(host_id ? CallerText(*host_id) : std::nullopt));
    values.push_back(to_wire(machine_id_ ? CallerText(*machine_id_) : std::nullopt));
    for (const CallerArg& a : args) {
      if (const auto* n = std::get_if<std::int32_t>(&a)) {
        values.emplace_back(*n);
      } else {
        values.push_back(to_wire(std::get<CallerText>(a)));
      }
    }
  }

  std::int32_t result = 0;
  const rpc::Status s = call_telegram(*binding_, t, values, result);
  if (s == rpc::RPC_S_OK) return result;
  // Each telegram is one attempt; the next one binds anew.
  unbind();
  return policy_.failure_result == ClientPolicy::FailureResult::runtime_status ? s
                                                                               : rpc::RPC_S_SERVER_UNAVAILABLE;
}

}  // namespace tarvik::protocol
