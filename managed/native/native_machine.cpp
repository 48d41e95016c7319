// The machine functions of the C ABI.
#include "managed/native/native_machine.h"

#include <new>
#include <vector>

#include "managed/native/native_host.h"
#include "managed/native/native_text.h"
#include "platform/rpc/status.h"

using tarvik::managed::managed_host;
using tarvik::managed::text_from;
using tarvik::managed::view_from;
namespace protocol = tarvik::protocol;
namespace rpc = tarvik::rpc;

void TarvikMachine::apply_settings() {
  Settings now;
  {
    std::lock_guard lock(settings_mu);
    now = settings;
  }
  connection.set_machine_id(std::move(now.id));
  connection.set_machine_ip(std::move(now.ip));
  connection.set_machine_port(now.port);
  connection.set_machine_timeout(now.timeout);
}

extern "C" {

TarvikMachine* tarvik_machine_create(void) {
  return new (std::nothrow) TarvikMachine(managed_host().endpoint);
}

void tarvik_machine_destroy(TarvikMachine* machine) { delete machine; }

void tarvik_machine_set_id(TarvikMachine* machine, const char16_t* machine_id) {
  std::lock_guard lock(machine->settings_mu);
  machine->settings.id = text_from(machine_id);
}

void tarvik_machine_set_ip(TarvikMachine* machine, const char16_t* machine_ip) {
  std::lock_guard lock(machine->settings_mu);
  machine->settings.ip = text_from(machine_ip);
}

void tarvik_machine_set_port(TarvikMachine* machine, int32_t port) {
  std::lock_guard lock(machine->settings_mu);
  machine->settings.port = port;
}

void tarvik_machine_set_timeout(TarvikMachine* machine, int32_t timeout) {
  std::lock_guard lock(machine->settings_mu);
  machine->settings.timeout = timeout;
}

int32_t tarvik_machine_bind(TarvikMachine* machine) {
  std::lock_guard lock(machine->call_mu);
  machine->apply_settings();
  return machine->connection.bind();
}

int32_t tarvik_machine_unbind(TarvikMachine* machine) {
  std::lock_guard lock(machine->call_mu);
  return machine->connection.unbind();
}

int32_t tarvik_machine_force_binding(TarvikMachine* machine) {
  std::lock_guard lock(machine->call_mu);
  machine->apply_settings();
  return machine->connection.force_binding();
}

int32_t tarvik_machine_is_bound(TarvikMachine* machine) {
  std::lock_guard lock(machine->call_mu);
  return machine->connection.is_bound() ? 1 : 0;
}

void* tarvik_machine_binding(TarvikMachine* machine) {
  std::lock_guard lock(machine->call_mu);
  return const_cast<rpc::Binding*>(machine->connection.binding());
}

int32_t tarvik_machine_send(TarvikMachine* machine, int32_t opnum, const TarvikArg* args, int32_t count) {
  const protocol::TelegramInfo* t =
      opnum < 0 ? nullptr : protocol::find_telegram(protocol::Interface::machine, static_cast<uint32_t>(opnum));
  if (t == nullptr || count < 0 || static_cast<std::size_t>(count) != t->own_params().size() ||
      (count > 0 && args == nullptr))
    return rpc::ERROR_INVALID_PARAMETER;

  // Views into the caller's texts, which stay put until this call returns.
  std::vector<protocol::CallerArg> call_args;
  call_args.reserve(static_cast<std::size_t>(count));
  const auto own = t->own_params();
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (own[i].kind == protocol::Kind::text) {
      call_args.emplace_back(view_from(args[i].text));
    } else {
      call_args.emplace_back(args[i].number);
    }
  }
  std::lock_guard lock(machine->call_mu);
  machine->apply_settings();
  return machine->connection.send(*t, call_args);
}

int32_t tarvik_set_thread_codepage(uint32_t codepage) {
  return tarvik::codepage::set_thread_codepage(codepage) ? 1 : 0;
}

}  // extern "C"
