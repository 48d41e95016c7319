#include "platform/codepage/single_byte_codec.h"

#include "platform/codepage/code_points.h"
#include "platform/codepage/windows_casing.h"

namespace tarvik::codepage::detail {

SingleByteTable::SingleByteTable(const SingleByteSource& source) : default_byte_(source.default_code) {
  to_byte_.fill(default_byte_);
  // Downwards, so that where two bytes read as the same character the lower one is written.
  for (int b = 255; b >= 0; --b) {
    to_unicode_[b] = source.bytes[b];
    to_byte_[source.bytes[b]] = static_cast<unsigned char>(b);
  }
  for (const WideException& exception : source.wide)
    to_byte_[exception.unit] = static_cast<unsigned char>(exception.code);
  for (int b = 0; b < 256; ++b) {
    const char16_t upper = windows_upper(to_unicode_[b]);
    upper_[b] = upper != to_unicode_[b] && exact(upper) ? to_byte_[upper] : static_cast<unsigned char>(b);
  }
}

std::string single_byte_to_ansi(const SingleByteTable& table, std::u16string_view text, Unmappable mode) {
  std::string out(text.size(), '\0');  // a surrogate pair gives one byte, so this is the most needed
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const char16_t unit = text[pos];
    if (unit < 0xD800 || unit > 0xDFFF) {
      ++pos;
      const bool usable = mode == Unmappable::best_fit || table.exact(unit);
      out[length++] = static_cast<char>(usable ? table.to_byte(unit) : table.default_byte());
      continue;
    }
    // A character beyond U+FFFF, or an unpaired surrogate: one default character.
    next_code_point(text, pos);
    out[length++] = static_cast<char>(table.default_byte());
  }
  out.resize(length);
  return out;
}

std::u16string single_byte_from_ansi(const SingleByteTable& table, std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    out[i] = table.to_unicode(static_cast<unsigned char>(bytes[i]));
  return out;
}

std::string single_byte_upper(const SingleByteTable& table, std::string_view bytes) {
  std::string out(bytes);
  for (char& ch : out) ch = static_cast<char>(table.to_upper(static_cast<unsigned char>(ch)));
  return out;
}

}  // namespace tarvik::codepage::detail
