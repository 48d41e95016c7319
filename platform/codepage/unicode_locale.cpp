#include "platform/codepage/unicode_locale.h"

#include <wctype.h>

namespace tarvik::codepage::detail {

locale_t unicode_locale() {
  // Kept for the life of the process: threads may still convert while static objects are destroyed.
  static const locale_t locale = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
  return locale;
}

char32_t simple_upper(char32_t c) {
  const locale_t locale = unicode_locale();
  if (locale == nullptr) return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
}

UnicodeLocaleScope::UnicodeLocaleScope() {
  if (const locale_t locale = unicode_locale()) previous_ = uselocale(locale);
}

UnicodeLocaleScope::~UnicodeLocaleScope() {
  if (previous_ != nullptr) uselocale(previous_);
}

}  // namespace tarvik::codepage::detail
