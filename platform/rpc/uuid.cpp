#include "platform/rpc/uuid.h"

#include <cstdio>

namespace tarvik::rpc {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false on anything else.
bool hex_field(std::string_view text, std::size_t pos, int digits, std::uint64_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = hex_value(text[pos + i]);
    if (v < 0) return false;
    out = (out << 4) | static_cast<std::uint64_t>(v);
  }
  return true;
}

}  // namespace

std::optional<Uuid> Uuid::parse(std::string_view t) {
  if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return std::nullopt;
  Uuid u;
  std::uint64_t v;
  if (!hex_field(t, 0, 8, v)) return std::nullopt;
  u.time_low = static_cast<std::uint32_t>(v);
  if (!hex_field(t, 9, 4, v)) return std::nullopt;
  u.time_mid = static_cast<std::uint16_t>(v);
  if (!hex_field(t, 14, 4, v)) return std::nullopt;
  u.time_hi_and_version = static_cast<std::uint16_t>(v);
  constexpr std::size_t kNodePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!hex_field(t, kNodePos[i], 2, v)) return std::nullopt;
    u.node[i] = static_cast<std::uint8_t>(v);
  }
  return u;
}

std::string Uuid::to_string() const {
  char buf[37];
  std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", time_low, time_mid,
                time_hi_and_version, node[0], node[1], node[2], node[3], node[4], node[5], node[6], node[7]);
  return buf;
}

const SyntaxId kNdr20Syntax{*Uuid::parse("8a885d04-1ceb-11c9-9fe8-08002b104860"), 2, 0};
const SyntaxId kNdr64Syntax{*Uuid::parse("71710533-beba-4937-8319-b5dbef9ccc36"), 1, 0};

bool is_feature_negotiation(const SyntaxId& s) {
  return s.uuid.time_low == 0x6cb71c2c && s.uuid.time_mid == 0x9812 && s.uuid.time_hi_and_version == 0x4540;
}

}  // namespace tarvik::rpc
