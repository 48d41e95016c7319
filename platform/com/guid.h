// Globally unique identifiers of classes, interfaces and type libraries.
//
// Text form: "{03B415E0-4F2E-11D3-9DC3-00A0249B4877}" (braces, upper-case hex on output; input
// accepts either case, with or without the braces). A Guid is a plain value, safe to copy anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::com {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  // Parses the text form; nullopt when malformed. Usable in constant expressions.
  static constexpr std::optional<Guid> parse(std::string_view text);
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
  std::string to_string() const;
  constexpr bool is_null() const { return *this == Guid{}; }
  friend constexpr bool operator==(const Guid&, const Guid&) = default;
  friend constexpr auto operator<=>(const Guid&, const Guid&) = default;
};

// The all-zero identifier (IID_NULL, GUID_NULL).
inline constexpr Guid kNullGuid{};

namespace detail {
constexpr int guid_hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr bool guid_field(std::string_view t, std::size_t pos, int digits, std::uint32_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = guid_hex(t[pos + i]);
    if (v < 0) return false;
    out = (out << 4) | static_cast<std::uint32_t>(v);
  }
  return true;
}
void guid_literal_is_malformed();  // never defined: a malformed literal fails to compile
}  // namespace detail

constexpr std::optional<Guid> Guid::parse(std::string_view t) {
  if (t.size() == 38) {
    if (t.front() != '{' || t.back() != '}') return std::nullopt;
    t = t.substr(1, 36);
  }
  if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return std::nullopt;
  Guid g;
  std::uint32_t v = 0;
  if (!detail::guid_field(t, 0, 8, v)) return std::nullopt;
  g.data1 = v;
  if (!detail::guid_field(t, 9, 4, v)) return std::nullopt;
  g.data2 = static_cast<std::uint16_t>(v);
  if (!detail::guid_field(t, 14, 4, v)) return std::nullopt;
  g.data3 = static_cast<std::uint16_t>(v);
  constexpr std::size_t kPos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!detail::guid_field(t, kPos[i], 2, v)) return std::nullopt;
    g.data4[i] = static_cast<std::uint8_t>(v);
  }
  return g;
}

// A Guid from a literal, checked at compile time:
//   inline constexpr Guid kFoo = make_guid("{EDF199C1-4F2E-11D3-9DC3-00A0249B4877}");
consteval Guid make_guid(std::string_view text) {
  const auto g = Guid::parse(text);
  if (!g) detail::guid_literal_is_malformed();
  return *g;
}

}  // namespace tarvik::com
