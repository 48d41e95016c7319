#include "protocol/telegram_json.h"

#include <algorithm>
#include <charconv>

#include "platform/text/json_string.h"

namespace tarvik::protocol {
namespace {

using text::append_json_string;

std::string to_utf8(const std::string& bytes, codepage::CodePage cp) {
  return codepage::utf16_to_utf8(codepage::from_ansi(bytes, cp));
}

// Whether every 7-bit byte stands for the same ASCII character in `cp` (then 7-bit texts need no
// conversion). Decided once per code page and thread.
bool ascii_compatible(codepage::CodePage cp) {
  thread_local codepage::CodePage known = 0;
  thread_local bool compatible = false;
  if (cp != known || known == 0) {
    std::string ascii(127, '\0');
    std::u16string expected(127, u'\0');
    for (int i = 1; i < 128; ++i) {
      ascii[i - 1] = static_cast<char>(i);
      expected[i - 1] = static_cast<char16_t>(i);
    }
    compatible = codepage::from_ansi(ascii, cp) == expected;
    known = cp;
  }
  return compatible;
}


void append_text(std::string& out, const std::string& bytes, codepage::CodePage cp) {
  const bool seven_bit = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
  if (seven_bit && ascii_compatible(cp)) {
    append_json_string(out, bytes);
  } else {
    append_json_string(out, to_utf8(bytes, cp));
  }
}

void append_number(std::string& out, long long n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}

template <typename List, typename Each>
void append_array(std::string& out, const List& list, Each each) {
  out.push_back('[');
  bool first = true;
  for (const auto& item : list) {
    if (!first) out.push_back(',');
    first = false;
    each(item);
  }
  out.push_back(']');
}

void append_value(std::string& out, const WireValue& v, codepage::CodePage cp) {
  switch (static_cast<Kind>(v.index())) {
    case Kind::text:
      if (const WireText& text = std::get<WireText>(v)) {
        append_text(out, *text, cp);
      } else {
        out += "null";
      }
      return;
    case Kind::number:
      return append_number(out, std::get<std::int32_t>(v));
    case Kind::number_table:
      return append_array(out, std::get<std::vector<std::int32_t>>(v), [&](std::int32_t n) { append_number(out, n); });
    case Kind::name_table:
      return append_array(out, std::get<NameTable>(v), [&](const std::string& name) { append_text(out, name, cp); });
    case Kind::byte_table:
      return append_array(out, std::get<std::vector<std::uint8_t>>(v), [&](std::uint8_t b) { append_number(out, b); });
  }
}

}  // namespace

void append_telegram_json(std::string& out, const TelegramInfo& t, std::span<const WireValue> values,
                          std::string_view extra, codepage::CodePage cp) {
  out += "{\"telegram\":";
  append_json_string(out, t.name);
  out += ",\"opnum\":";
  append_number(out, t.opnum);
  for (std::size_t i = 0; i < t.params.size() && i < values.size(); ++i) {
    out.push_back(',');
    append_json_string(out, t.params[i].name);
    out.push_back(':');
    append_value(out, values[i], cp);
  }
  if (!extra.empty()) {
    out.push_back(',');
    out += extra;
  }
  out.push_back('}');
}

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
