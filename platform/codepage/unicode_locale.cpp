#include "platform/codepage/unicode_locale.h"

namespace tarvik::codepage::detail {

locale_t unicode_locale() {
  // Kept for the life of the process: threads may still convert while static objects are destroyed.
  static const locale_t locale = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
  return locale;
}

UnicodeLocaleScope::UnicodeLocaleScope() {
  if (const locale_t locale = unicode_locale()) previous_ = uselocale(locale);
}

UnicodeLocaleScope::~UnicodeLocaleScope() {
  if (previous_ != nullptr) uselocale(previous_);
}

}  // namespace tarvik::codepage::detail
