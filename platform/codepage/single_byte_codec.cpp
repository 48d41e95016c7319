#include "platform/codepage/single_byte_codec.h"

#include <algorithm>

#include "platform/codepage/best_fit.h"
#include "platform/codepage/code_points.h"
#include "platform/codepage/iconv_cache.h"
#include "platform/codepage/unicode_locale.h"

namespace tarvik::codepage::detail {

namespace {

// The character iconv assigns to `byte`, or kInvalidCodePoint.
char32_t decode_with_iconv(iconv_t cd, unsigned char byte) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const char in_byte = static_cast<char>(byte);
  std::string_view in(&in_byte, 1);
  std::string out;
  if (!convert_append(cd, in, out) || out.size() != 2) return kInvalidCodePoint;
  const char32_t unit = static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8;
  return (unit >= 0xD800 && unit <= 0xDFFF) ? kInvalidCodePoint : unit;
}

}  // namespace

std::unique_ptr<const SingleByteTable> SingleByteTable::load(const char* iconv_name) {
  const iconv_t cd = thread_converter("UTF-16LE", iconv_name);
  if (cd == nullptr) return nullptr;
  std::unique_ptr<SingleByteTable> table(new SingleByteTable);
  table->latin1_.fill(-1);
  for (int b = 0; b < 256; ++b) {
    char32_t c = decode_with_iconv(cd, static_cast<unsigned char>(b));
    if (c == kInvalidCodePoint && b >= 0x80 && b <= 0x9F) c = static_cast<char32_t>(b);
    if (c == kInvalidCodePoint) {
      table->to_unicode_[b] = static_cast<char16_t>(kReplacementChar);
      continue;
    }
    table->assigned_[b] = true;
    table->to_unicode_[b] = static_cast<char16_t>(c);
    if (c < 0x100) {
      if (table->latin1_[c] < 0) table->latin1_[c] = static_cast<std::int16_t>(b);
    } else {
      table->others_.emplace_back(static_cast<char16_t>(c), static_cast<std::uint8_t>(b));
    }
  }
  std::stable_sort(table->others_.begin(), table->others_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (int b = 0; b < 256; ++b) {
    table->upper_[b] = static_cast<unsigned char>(b);
    if (!table->assigned_[b]) continue;
    const char32_t upper = simple_upper(table->to_unicode_[b]);
    const int upper_byte = table->from_unicode(upper);
    if (upper_byte >= 0) table->upper_[b] = static_cast<unsigned char>(upper_byte);
  }
  return table;
}

int SingleByteTable::from_unicode_above_latin1(char32_t c) const {
  if (c > 0xFFFF) return -1;
  const auto it = std::lower_bound(others_.begin(), others_.end(), c,
                                   [](const auto& entry, char32_t value) { return entry.first < value; });
  return (it != others_.end() && it->first == c) ? it->second : -1;
}

std::string single_byte_to_ansi(const SingleByteTable& table, const char* iconv_name,
                                std::u16string_view text, Unmappable mode) {
  std::string out(text.size(), '\0');  // a surrogate pair gives one byte, so this is the most needed
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t unit = text[pos];
    const char32_t c = unit < 0xD800 ? (++pos, unit) : next_code_point(text, pos);
    int byte = table.from_unicode(c);
    // Best fit covers the Basic Multilingual Plane only; unpaired surrogates never have one.
    if (byte < 0 && mode == Unmappable::best_fit && c <= 0xFFFF) {
      const std::string offer = transliterate(iconv_name, c);
      const auto offered = offer.size() == 1 ? static_cast<unsigned char>(offer[0]) : 0;
      if (offer.size() == 1 && table.assigned(offered) && table.to_unicode(offered) != u'?') byte = offered;
    }
    out[length++] = byte < 0 ? '?' : static_cast<char>(byte);
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
