// Double-byte code pages converted with Windows' own tables (932, tables/double_byte_tables.cpp), no
// iconv. As Windows reads them: a lead byte and the byte after it are one character, also when that
// pair is undefined (it reads as the code page's default character, U+30FB in 932); a lead byte
// followed by a NUL byte or by nothing reads alone as that default character; a byte that is no lead
// byte reads as its own character (932 0x80 -> U+0080, 0xA0 -> U+F8F0) and writes back as itself.
// Internal to platform/codepage.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/codepage/tables/nls_tables.h"

namespace tarvik::codepage::detail {

// Both directions of one code page, built in full from its source on first use (32 KiB per 64 lead
// bytes for reading, 128 KiB for writing). Immutable after construction; any thread may read it.
class DoubleByteTable {
 public:
  explicit DoubleByteTable(const DoubleByteSource& source);

  // The character at `pos` of `bytes`; advances `pos` past it (one or two bytes). `pos` < size.
  char16_t decode_next(std::string_view bytes, std::size_t& pos) const;
  // What a code (a byte, or lead << 8 | trail) reads as.
  char16_t decode(std::uint16_t code) const;
  // The code Windows writes for `unit` with best fit: the exact one, a similar character, or the
  // default character.
  std::uint16_t to_code(char16_t unit) const { return to_code_[unit]; }
  bool exact(char16_t unit) const { return decode(to_code_[unit]) == unit; }
  std::uint16_t default_code() const { return default_code_; }

 private:
  bool is_lead(unsigned char byte) const { return block_[byte] != 0; }

  std::array<char16_t, 256> bytes_{};
  std::array<std::uint16_t, 256> block_{};  // lead bytes: 1 + their block in pairs_; others 0
  std::vector<char16_t> pairs_;             // 256 characters per lead byte, indexed by trail byte
  std::vector<std::uint16_t> to_code_;      // 65,536 entries
  std::uint16_t default_code_;
  char16_t unicode_default_;
};

std::string double_byte_to_ansi(const DoubleByteTable& table, std::u16string_view text, Unmappable mode);
std::u16string double_byte_from_ansi(const DoubleByteTable& table, std::string_view bytes);
// Upper-cases each character whose Windows upper case the code page holds exactly in as many bytes;
// keeps every other byte as it is.
std::string double_byte_upper(const DoubleByteTable& table, std::string_view bytes);

}  // namespace tarvik::codepage::detail
