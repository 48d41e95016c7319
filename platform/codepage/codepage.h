// Text conversion between UTF-16 and an 8-bit "ANSI" code page, and ANSI upper-casing.
//
// Telegram texts cross the wire as 8-bit text in the ANSI code page of the converting thread.
// That code page is Windows-1252 unless the process default is changed (environment variable
// TARVIK_CODEPAGE, or set_process_codepage) or the calling thread chooses its own
// (set_thread_codepage). Conversions give the bytes and characters Windows gives: 874, 932 and
// 1250-1258 convert with Windows' own tables (compiled in, generated from Windows NLS files; see
// docs/codepages.md), best fit included; 936, 949 and 950 go through glibc iconv.
//
// Supported: 874, 932, 936, 949, 950, 1250-1258 and 65001 (UTF-8). All functions may be called from any
// thread at once; the first conversion in a code page builds its tables. A code page that is not
// supported converts ASCII only (other characters become '?' or U+FFFD; ansi_upper upper-cases a-z).
// TARVIK_CODEPAGE holds a code page number; an unsupported value is reported on stderr and ignored.
//
//   set_thread_codepage(1250);
//   std::string wire = to_ansi(u"Łódź", Unmappable::default_char);   // "\xA3\xF3d\x9F"
//   std::string name = ansi_upper(wire);                             // "\xA3\xD3D\x8F" (ŁÓDŹ)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::codepage {

using CodePage = unsigned;  // Windows code page number: 1252, 1250, 932, 65001 ...
inline constexpr CodePage kDefaultCodePage = 1252;

// The code page conversions of the calling thread use: the thread's own if set, else the process's.
CodePage thread_codepage();
// Sets the calling thread's code page (0 = follow the process default). False if unsupported.
bool set_thread_codepage(CodePage cp);
// Sets the process default. False if unsupported.
bool set_process_codepage(CodePage cp);
// Whether a code page can be converted here.
bool is_supported(CodePage cp);

enum class Unmappable {
  best_fit,      // the Windows default: the code page's best-fit character where it has one, else '?'
  default_char,  // no best fit: every character without an exact equivalent becomes '?'
};

// UTF-16 -> 8-bit text in `cp`. Unpaired surrogates and characters beyond U+FFFF count as unmappable
// and become one '?' each; best fit gives one character of the code page or '?'. In 65001 the
// replacement is U+FFFD (as Windows writes UTF-8) instead of '?'.
std::string to_ansi(std::u16string_view text, Unmappable mode = Unmappable::best_fit,
                    CodePage cp = thread_codepage());
// 8-bit text in `cp` -> UTF-16, as Windows reads it. In the tabled code pages every byte reads as a
// character, also those the code page charts leave empty (1252 0x81 -> U+0081, 1253 0xAA -> U+F8F9,
// 932 0x80 -> U+0080), and to_ansi writes those characters back as the same bytes. In 932 a lead byte
// and the byte after it read as one character, the default U+30FB when the pair is undefined; a lead
// byte before a NUL byte or at the end reads as U+30FB alone. In 936, 949 and 950 each byte that forms
// no character becomes U+FFFD.
std::u16string from_ansi(std::string_view bytes, CodePage cp = thread_codepage());

// Upper-cases 8-bit text the way the Windows ANSI upper-casing function does for `cp`, with Windows'
// casing table: a character becomes its upper case when the code page holds that exactly in as many
// bytes, else it stays. The casing table holds only mappings that work both ways, so µ, final sigma ς,
// dotless ı and ß stay as they are (1252: a-z, the accented small letters, š, œ, ž and ÿ change). The
// result has the length of the input.
std::string ansi_upper(std::string_view bytes, CodePage cp = thread_codepage());

// UTF-8 helpers for tools and logs (JSON is UTF-8).
std::string utf16_to_utf8(std::u16string_view text);
std::u16string utf8_to_utf16(std::string_view text);  // invalid sequences become U+FFFD

}  // namespace tarvik::codepage
