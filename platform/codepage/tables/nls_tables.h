// The Windows conversion and casing tables of the code pages we convert without iconv, compiled in.
// The .cpp files beside this header are generated from Windows NLS files (see
// docs/codepages.md and platform/codepage/nls/generate_tables.cpp); do not edit them by hand.
//
// Only one direction is stored in full. The UTF-16 -> code page direction is rebuilt on first use as
// the inverse of the stored direction (the lowest code wins where several codes read as the same
// character; characters no code reads as get the default code), then `wide` overrides it: the best fits
// (codes that read back as another character) and the characters Windows writes with a code other
// than the lowest (in 932 the IBM extension codes over their NEC duplicates).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/codepage/codepage.h"

namespace tarvik::codepage::detail {

// A UTF-16 unit whose code page code is not the inverse of the stored direction.
struct WideException {
  char16_t unit;
  std::uint16_t code;  // a byte, or lead << 8 | trail
};

struct SingleByteSource {
  CodePage number;
  std::uint8_t default_code;                // written for characters without a mapping
  std::span<const char16_t, 256> bytes;     // what each byte reads as; every byte reads as something
  std::span<const WideException> wide;      // sorted by unit
};

// A stretch of consecutive two-byte codes that read as defined characters; the characters follow one
// another in DoubleByteSource::characters.
struct CodeRun {
  std::uint16_t first_code;
  std::uint16_t count;
};

struct DoubleByteSource {
  CodePage number;
  std::uint16_t default_code;               // written for characters without a mapping
  char16_t unicode_default;                 // what undefined codes, or a lead byte alone, read as
  std::span<const char16_t, 256> bytes;     // what each byte that is not a lead byte reads as
  std::span<const std::uint8_t> lead_ranges;  // first, last, first, last ... (inclusive)
  std::span<const CodeRun> runs;            // ascending; two-byte codes outside them are undefined
  std::span<const char16_t> characters;
  std::span<const WideException> wide;      // sorted by unit
};

// Every step-th UTF-16 unit from first to last upper-cases to itself plus delta (modulo 2^16).
struct CaseRun {
  char16_t first;
  char16_t last;
  std::uint8_t step;
  std::uint16_t delta;
};

std::span<const SingleByteSource> single_byte_sources();
std::span<const DoubleByteSource> double_byte_sources();
std::span<const CaseRun> upper_case_runs();  // ascending, not overlapping

}  // namespace tarvik::codepage::detail
