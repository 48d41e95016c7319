#include "tools/field_values.h"

#include <nlohmann/json.hpp>

#include "platform/codepage/codepage.h"

namespace tarvik::cli {

using protocol::Kind;
using protocol::NameTable;
using protocol::Param;
using protocol::TelegramInfo;
using protocol::WireText;
using protocol::WireValue;

bool parse_long(const std::string& text, std::int32_t& out) {
  try {
    std::size_t used = 0;
    const long long v = std::stoll(text, &used, 0);
    if (used != text.size() || v < -2147483648LL || v > 0xffffffffLL) return false;
    out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

// A list given as JSON array or as comma-separated items ("" is an empty list).
bool split_list(const std::string& text, std::vector<std::string>& items) {
  items.clear();
  if (!text.empty() && text.front() == '[') {
    const auto j = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!j.is_array()) return false;
    for (const auto& e : j) items.push_back(e.is_string() ? e.get<std::string>() : e.dump());
    return true;
  }
  if (text.empty()) return true;
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool parse_value(const Param& p, const std::string& text, WireValue& out, std::string& error) {
  const std::string what = std::string(p.name);
  if (p.kind == Kind::text) {
    out = WireText{text};
    return true;
  }
  if (p.kind == Kind::number) {
    std::int32_t n;
    if (!parse_long(text, n)) return error = what + ": not a 32-bit number: " + text, false;
    out = n;
    return true;
  }
  std::vector<std::string> items;
  if (!split_list(text, items)) return error = what + ": not a list: " + text, false;
  if (items.size() > p.count)
    return error = what + ": " + std::to_string(items.size()) + " values given, it has " + std::to_string(p.count),
           false;
  switch (p.kind) {
    case Kind::number_table: {
      std::vector<std::int32_t> numbers(p.count, 0);
      for (std::size_t i = 0; i < items.size(); ++i)
        if (!parse_long(items[i], numbers[i])) return error = what + ": not a 32-bit number: " + items[i], false;
      out = std::move(numbers);
      return true;
    }
    case Kind::name_table: {
      NameTable names(p.count);
      for (std::size_t i = 0; i < items.size(); ++i) names[i] = items[i];
      out = std::move(names);
      return true;
    }
    case Kind::byte_table: {
      std::vector<std::uint8_t> bytes(p.count, 0);
      for (std::size_t i = 0; i < items.size(); ++i) {
        std::int32_t n;
        if (!parse_long(items[i], n) || n < 0 || n > 255)
          return error = what + ": flags are numbers 0..255, not " + items[i], false;
        bytes[i] = static_cast<std::uint8_t>(n);
      }
      out = std::move(bytes);
      return true;
    }
    default:
      return false;
  }
}

std::string parameter_list(const TelegramInfo& t, std::size_t first) {
  std::string out;
  for (std::size_t i = first; i < t.params.size(); ++i) out += (out.empty() ? "" : ", ") + std::string(t.params[i].name);
  return out.empty() ? "none" : out;
}

}  // namespace

bool parse_fields(const TelegramInfo& t, const std::vector<std::string>& assignments,
                  const std::vector<std::string>& null_texts, std::size_t first, std::vector<WireValue>& values,
                  std::string& error) {
  values = protocol::default_values(t);
  // A field given twice (or given a value and --null) is a mistake, not "the last one wins".
  std::vector<bool> given(t.params.size(), false);
  const auto index_of = [&](const std::string& name) -> std::ptrdiff_t {
    const Param* p = protocol::find_param(t, name);
    if (p == nullptr) {
      error = std::string(t.name) + " has no field " + name + " (fields: " + parameter_list(t, first) + ")";
      return -1;
    }
    const auto i = p - t.params.data();
    if (static_cast<std::size_t>(i) < first) {
      error = name + " is given by an option (--host-id, --machine-id)";
      return -1;
    }
    if (given[static_cast<std::size_t>(i)]) {
      error = name + " is given twice; give each field once";
      return -1;
    }
    given[static_cast<std::size_t>(i)] = true;
    return i;
  };
  for (const std::string& a : assignments) {
    const auto eq = a.find('=');
    if (eq == std::string::npos) return error = "expected name=value, got " + a, false;
    const auto i = index_of(a.substr(0, eq));
    if (i < 0) return false;
    if (!parse_value(t.params[static_cast<std::size_t>(i)], a.substr(eq + 1), values[static_cast<std::size_t>(i)],
                     error))
      return false;
  }
  for (const std::string& name : null_texts) {
    const auto i = index_of(name);
    if (i < 0) return false;
    if (t.params[static_cast<std::size_t>(i)].kind != Kind::text) return error = name + " is not a text", false;
    values[static_cast<std::size_t>(i)] = WireText{};
  }
  return true;
}

bool to_code_page(const TelegramInfo& t, std::vector<WireValue>& values, std::string& error) {
  const auto convert = [](const std::string& utf8) {
    return codepage::to_ansi(codepage::utf8_to_utf16(utf8), codepage::Unmappable::best_fit);
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (auto* text = std::get_if<WireText>(&values[i]); text && *text) {
      **text = convert(**text);
    } else if (auto* names = std::get_if<NameTable>(&values[i])) {
      for (std::string& name : *names) {
        std::string converted = convert(name);
        if (converted.size() > protocol::kNameSlotBytes)
          return error = std::string(t.params[i].name) + ": a name has at most 6 characters, not \"" + name + "\"",
                 false;
        name = std::move(converted);
      }
    }
  }
  return true;
}

}  // namespace tarvik::cli
