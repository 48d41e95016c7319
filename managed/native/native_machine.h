// TarvikMachine: one machine connection of the managed assembly (one per MachineClass object).
//
// The settings live apart from the connection under their own small lock, so a setter never waits
// for a telegram in progress; each telegram call takes the call lock (the binding is used by one
// call at a time) and applies the current settings to the connection before it binds.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "managed/native/tarvik_native.h"
#include "protocol/machine_connection.h"

struct TarvikMachine {
  struct Settings {
    std::optional<std::u16string> id{u"?"};
    std::optional<std::u16string> ip{u"?"};
    std::int32_t port = tarvik::protocol::kDefaultMachinePort;
    std::int32_t timeout = tarvik::protocol::kDefaultMachineTimeout;
  };

  explicit TarvikMachine(tarvik::protocol::HostEndpoint& host) : connection(host, tarvik::protocol::kManagedPolicy) {}

  // Copies the settings into the connection; the caller holds call_mu. The managed policy keeps
  // the binding, so a changed address takes effect only once a failure has dropped it.
  void apply_settings();

  std::mutex settings_mu;
  Settings settings;  // guarded by settings_mu
  std::mutex call_mu;
  tarvik::protocol::MachineConnection connection;  // guarded by call_mu
};
