#include "platform/codepage/best_fit.h"

#include <string_view>

#include "platform/codepage/iconv_cache.h"
#include "platform/codepage/unicode_locale.h"

namespace tarvik::codepage::detail {

std::string transliterate(const char* iconv_name, char32_t c) {
  // glibc takes transliterations from the locale of the thread that converts.
  UnicodeLocaleScope scope;
  const iconv_t cd = thread_converter(std::string(iconv_name) + "//TRANSLIT", "UTF-32LE");
  if (cd == nullptr) return {};
  const char utf32[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                         static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
  std::string_view in(utf32, sizeof utf32);
  std::string out;
  if (!convert_append(cd, in, out)) return {};
  return out;
}

}  // namespace tarvik::codepage::detail
