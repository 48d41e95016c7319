// Reading Windows NLS data files: a code page file (c_<code page>.nls) and the casing file
// (l_intl.nls). These are the published tables that define how Windows converts between a code page
// and UTF-16 and how it upper-cases. Only the table generator and the tests that compare our committed
// tables with such files use this; the conversions themselves never read NLS files.
//
// Code page file, little-endian 16-bit words:
//   header: header size in words (13), code page, maximum character size (1 or 2), default character
//           (the multibyte code written for characters without a mapping), Unicode default character
//           (what undefined multibyte sequences read as), two more defaults, 12 bytes of lead-byte
//           ranges;
//   then:   the distance in words to the WideChar->MultiByte table, the 256-entry MultiByte->WideChar
//           table, a glyph-table flag (256 words follow when set), the number of lead-byte ranges, and
//           when that is not 0 a 256-word table of offsets by lead byte, each pointing (in words, from
//           the start of that table) to the lead byte's 256-word table of trail bytes;
//   last:   the WideChar->MultiByte table, 65,536 entries: bytes for single-byte code pages, words
//           (lead << 8 | trail, or a single byte) for double-byte ones. It includes the best-fit
//           mappings: an entry whose code does not read back as the same character is a best fit.
// Casing file: a word, the size in words of the upper-case table, then that table: three levels
// indexed by the high byte, the next 4 bits and the low 4 bits of a UTF-16 unit, giving the difference
// to add (modulo 2^16) to get the upper case.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::codepage::nls {

struct CodePageFile {
  unsigned code_page = 0;
  unsigned max_char_size = 1;
  std::uint16_t default_code = '?';     // multibyte code for a character without a mapping
  char16_t unicode_default = u'?';      // what an undefined multibyte sequence reads as
  std::array<char16_t, 256> bytes{};    // a byte on its own (lead bytes: unused)
  std::array<bool, 256> lead{};         // bytes that start a two-byte character
  std::vector<char16_t> pairs;          // double-byte only: [lead << 8 | trail], 65,536 entries
  std::vector<std::uint16_t> wide;      // UTF-16 unit -> multibyte code, 65,536 entries

  // What `code` (a byte, or lead << 8 | trail) reads as.
  char16_t decode(std::uint16_t code) const;
  // The number of bytes of `code`.
  static unsigned length(std::uint16_t code) { return code > 0xFF ? 2 : 1; }
};

// Parses the contents of a code page file; nothing and a message in `error` when it is not one (wrong
// sizes, offsets outside the file, a double-byte table that points nowhere).
std::optional<CodePageFile> parse_code_page_file(std::string_view content, std::string& error);
// The upper case of every UTF-16 unit, from the contents of a casing file (65,536 entries).
std::optional<std::vector<char16_t>> parse_casing_file(std::string_view content, std::string& error);

// Reads a whole file of at most 1 MiB (the NLS files here are far smaller); nothing when it cannot.
std::optional<std::string> read_small_file(const std::filesystem::path& file, std::string& error);

}  // namespace tarvik::codepage::nls
