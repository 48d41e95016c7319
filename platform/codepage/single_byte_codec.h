// Single-byte code pages (874, 1250-1258): conversion and upper-casing with Windows' own tables
// (tables/single_byte_tables.cpp), no iconv. Every byte reads as a character, including the bytes the
// published code page charts leave empty: Windows reads those as C1 controls (1252 0x81 -> U+0081) or
// as private-use characters (1253 0xAA -> U+F8F9), and writes those characters back as the same byte.
// Internal to platform/codepage.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/codepage/codepage.h"
#include "platform/codepage/tables/nls_tables.h"

namespace tarvik::codepage::detail {

// Both directions and the upper-case table of one code page, built from its source in full (64 KiB for
// UTF-16 -> byte) so that each conversion is one lookup per character. Immutable after construction,
// so any number of threads may read it at once.
class SingleByteTable {
 public:
  explicit SingleByteTable(const SingleByteSource& source);

  char16_t to_unicode(unsigned char byte) const { return to_unicode_[byte]; }
  // The byte Windows writes for `unit` with best fit: the exact one, a similar character, or the
  // default character.
  unsigned char to_byte(char16_t unit) const { return to_byte_[unit]; }
  bool exact(char16_t unit) const { return to_unicode_[to_byte_[unit]] == unit; }
  unsigned char default_byte() const { return default_byte_; }
  // The Windows upper case of `byte`: the byte of its character's upper case when that reads back
  // exactly, else the byte itself.
  unsigned char to_upper(unsigned char byte) const { return upper_[byte]; }

 private:
  std::array<char16_t, 256> to_unicode_{};
  std::array<unsigned char, 0x10000> to_byte_{};
  std::array<unsigned char, 256> upper_{};
  unsigned char default_byte_ = '?';
};

std::string single_byte_to_ansi(const SingleByteTable& table, std::u16string_view text, Unmappable mode);
std::u16string single_byte_from_ansi(const SingleByteTable& table, std::string_view bytes);
std::string single_byte_upper(const SingleByteTable& table, std::string_view bytes);

}  // namespace tarvik::codepage::detail
