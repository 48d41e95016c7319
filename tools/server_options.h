// Command-line options of the runtime's connection policy, shared by the serving subcommands
// (listen, machine).
#pragma once

#include <cstddef>

#include <CLI/CLI.hpp>

#include "platform/rpc/server.h"

namespace tarvik::cli {

class ServerOptions {
 public:
  void add_to(CLI::App& cmd) {
    cmd.add_option("--max-connections-per-address", per_address_,
                   "Connections one peer address may hold open; more are closed at once")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{1}, rpc::kMaxServerConnections));
  }
  // Before the endpoint opens.
  rpc::Status apply() const {
    rpc::ConnectionPolicy p = rpc::connection_policy();
    p.max_connections_per_address = per_address_;
    return rpc::set_connection_policy(p);
  }

 private:
  std::size_t per_address_ = rpc::ConnectionPolicy{}.max_connections_per_address;
};

}  // namespace tarvik::cli
