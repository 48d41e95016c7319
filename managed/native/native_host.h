// The process's one host side for the managed assembly: the host endpoint and the handler that
// turns each decoded `_H` telegram into one call of the managed callback.
//
// Created on first use and never destroyed: runtime threads may still be serving a telegram while
// the process exits, and must never meet a destroyed endpoint or handler.
#pragma once

#include <atomic>
#include <cstdint>

#include "managed/native/tarvik_native.h"
#include "protocol/host_endpoint.h"
#include "protocol/host_routines.h"

namespace tarvik::managed {

class ManagedHostHandler final : public protocol::HostHandler {
 public:
  // Runtime threads: flattens the telegram into TarvikFields (host name, machine name, the fields)
  // and returns the callback's result; -111 while no callback is installed.
  std::int32_t on_telegram(const protocol::IncomingTelegram& t) override;

  TarvikTelegramCallback exchange(TarvikTelegramCallback callback) { return callback_.exchange(callback); }

 private:
  std::atomic<TarvikTelegramCallback> callback_{nullptr};
};

struct ManagedHost {
  ManagedHostHandler handler;
  protocol::HostEndpoint endpoint{handler};
};

ManagedHost& managed_host();

}  // namespace tarvik::managed
