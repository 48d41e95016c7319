// The bytes the load generator sends, built once before any connection is made: the bind of the
// telegram's interface and one request PDU of the telegram with the given field values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::loadgen {

struct LoadPdus {
  std::vector<std::uint8_t> bind;
  std::vector<std::uint8_t> request;
};

// Builds the PDUs of `telegram` (an `_H` or `_M` name) with `assignments` (name=value, as
// `tarvik send` takes them; pszHost and pszMachine included). False with `error` on a bad name or value.
bool build_pdus(const std::string& telegram, const std::vector<std::string>& assignments, LoadPdus& pdus,
                std::string& error);

}  // namespace tarvik::loadgen
