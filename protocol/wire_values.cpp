#include "protocol/wire_values.h"

namespace tarvik::protocol {

WireValue default_value(const Param& p) {
  switch (p.kind) {
    case Kind::text:
      return WireText{std::string()};
    case Kind::number:
      return std::int32_t{0};
    case Kind::number_table:
      return std::vector<std::int32_t>(p.count, 0);
    case Kind::name_table:
      return NameTable(p.count);
    case Kind::byte_table:
      return std::vector<std::uint8_t>(p.count, 0);
  }
  return WireText{};
}

std::vector<WireValue> default_values(const TelegramInfo& t) {
  std::vector<WireValue> out;
  out.reserve(t.params.size());
  for (const Param& p : t.params) out.push_back(default_value(p));
  return out;
}

bool fits(const Param& p, const WireValue& v) {
  if (v.index() != alternative_of(p.kind)) return false;
  switch (p.kind) {
    case Kind::number_table:
      return std::get<std::vector<std::int32_t>>(v).size() == p.count;
    case Kind::name_table:
      return std::get<NameTable>(v).size() == p.count;
    case Kind::byte_table:
      return std::get<std::vector<std::uint8_t>>(v).size() == p.count;
    default:
      return true;
  }
}

}  // namespace tarvik::protocol
