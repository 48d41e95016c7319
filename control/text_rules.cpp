#include "control/text_rules.h"

#include "platform/codepage/codepage.h"

namespace tarvik::control {

std::optional<std::u16string> to_optional(const com::BStr& text) {
  if (text.is_null()) return std::nullopt;
  return text.str();
}

com::BStr to_bstr(const std::optional<std::u16string>& text) {
  return text ? com::BStr(*text) : com::BStr();
}

bool same_property_text(const std::optional<std::u16string>& a, const std::optional<std::u16string>& b) {
  const std::u16string_view va = a ? std::u16string_view(*a) : std::u16string_view();
  const std::u16string_view vb = b ? std::u16string_view(*b) : std::u16string_view();
  return va == vb;
}

std::optional<std::u16string> upper_case_machine_name(std::optional<std::u16string> text) {
  if (!text || text->empty()) return text;
  const std::string ansi = codepage::to_ansi(*text, codepage::Unmappable::best_fit);
  return codepage::from_ansi(codepage::ansi_upper(ansi));
}

std::u16string through_ansi(std::u16string_view text) {
  return codepage::from_ansi(codepage::to_ansi(text, codepage::Unmappable::best_fit));
}

}  // namespace tarvik::control
