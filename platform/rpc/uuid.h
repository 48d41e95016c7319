// DCE UUIDs and syntax identifiers as they appear on the wire.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::rpc {

struct Uuid {
  std::uint32_t time_low = 0;
  std::uint16_t time_mid = 0;
  std::uint16_t time_hi_and_version = 0;
  std::array<std::uint8_t, 8> node{};  // clock_seq and node: never byte-swapped

  // "d6542300-c15a-11d0-a0cb-00a0244ce687" (case-insensitive); nullopt when malformed.
  static std::optional<Uuid> parse(std::string_view text);
  std::string to_string() const;  // lower case
  bool is_nil() const { return *this == Uuid{}; }
  friend bool operator==(const Uuid&, const Uuid&) = default;
};

struct SyntaxId {
  Uuid uuid;
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  friend bool operator==(const SyntaxId&, const SyntaxId&) = default;
};

// NDR 2.0 transfer syntax 8a885d04-1ceb-11c9-9fe8-08002b104860 version 2.0.
extern const SyntaxId kNdr20Syntax;
// NDR64 transfer syntax 71710533-beba-4937-8319-b5dbef9ccc36 version 1.0.
extern const SyntaxId kNdr64Syntax;
// True for the bind-time feature negotiation pseudo syntax 6cb71c2c-9812-4540-xxxx-xxxxxxxxxxxx.
bool is_feature_negotiation(const SyntaxId& s);

}  // namespace tarvik::rpc
