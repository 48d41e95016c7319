// Single-byte code pages (1250-1258, 874): lookup tables built once from iconv, then conversion
// without iconv. Internal to platform/codepage.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage/codepage.h"

namespace tarvik::codepage::detail {

// Byte <-> code point tables and the upper-case table of one single-byte code page. Immutable after
// load(), so any number of threads may read it at once.
class SingleByteTable {
 public:
  // Builds the tables from the iconv converter `iconv_name`; nullptr when iconv lacks it. Bytes that
  // iconv refuses in 0x80-0x9F map to the C1 control of the same number, as Windows maps them (1252:
  // 0x81, 0x8D, 0x8F, 0x90, 0x9D); other refused bytes stay unassigned and decode to U+FFFD.
  static std::unique_ptr<const SingleByteTable> load(const char* iconv_name);

  bool assigned(unsigned char byte) const { return assigned_[byte]; }
  char16_t to_unicode(unsigned char byte) const { return to_unicode_[byte]; }
  // The byte that stands exactly for `c`, or -1 when the code page has none.
  int from_unicode(char32_t c) const { return c < 0x100 ? latin1_[c] : from_unicode_above_latin1(c); }
  // The upper case of `byte` as the Windows ANSI upper-casing gives it: the simple Unicode upper case
  // of its character when the code page holds that as one byte, else the byte itself.
  unsigned char to_upper(unsigned char byte) const { return upper_[byte]; }

 private:
  SingleByteTable() = default;
  int from_unicode_above_latin1(char32_t c) const;

  std::array<bool, 256> assigned_{};
  std::array<char16_t, 256> to_unicode_{};
  std::array<std::int16_t, 256> latin1_{};                 // bytes for U+0000-U+00FF, -1 for none
  std::vector<std::pair<char16_t, std::uint8_t>> others_;  // bytes for the rest, sorted by code point
  std::array<unsigned char, 256> upper_{};
};

std::string single_byte_to_ansi(const SingleByteTable& table, const char* iconv_name,
                                std::u16string_view text, Unmappable mode);
std::u16string single_byte_from_ansi(const SingleByteTable& table, std::string_view bytes);
std::string single_byte_upper(const SingleByteTable& table, std::string_view bytes);

}  // namespace tarvik::codepage::detail
