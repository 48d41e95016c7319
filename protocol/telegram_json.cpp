#include "protocol/telegram_json.h"

namespace tarvik::protocol {
namespace {

std::string to_utf8(const std::string& bytes, codepage::CodePage cp) {
  return codepage::utf16_to_utf8(codepage::from_ansi(bytes, cp));
}

}  // namespace

nlohmann::ordered_json value_to_json(const WireValue& v, codepage::CodePage cp) {
  switch (static_cast<Kind>(v.index())) {
    case Kind::text: {
      const WireText& text = std::get<WireText>(v);
      return text ? nlohmann::ordered_json(to_utf8(*text, cp)) : nlohmann::ordered_json(nullptr);
    }
    case Kind::number:
      return std::get<std::int32_t>(v);
    case Kind::number_table:
      return std::get<std::vector<std::int32_t>>(v);
    case Kind::name_table: {
      auto out = nlohmann::ordered_json::array();
      for (const std::string& name : std::get<NameTable>(v)) out.push_back(to_utf8(name, cp));
      return out;
    }
    case Kind::byte_table: {
      auto out = nlohmann::ordered_json::array();
      for (std::uint8_t b : std::get<std::vector<std::uint8_t>>(v)) out.push_back(unsigned{b});
      return out;
    }
  }
  return nullptr;
}

nlohmann::ordered_json telegram_to_json(const TelegramInfo& t, std::span<const WireValue> values,
                                        codepage::CodePage cp) {
  nlohmann::ordered_json out;
  out["telegram"] = t.name;
  out["opnum"] = t.opnum;
  for (std::size_t i = 0; i < t.params.size() && i < values.size(); ++i)
    out[std::string(t.params[i].name)] = value_to_json(values[i], cp);
  return out;
}

}  // namespace tarvik::protocol
