// The Windows code pages this system converts, how each converts, and the lookup tables of the ones
// with compiled-in Windows tables (built on first use). Internal to platform/codepage.
#pragma once

#include <memory>

#include "platform/codepage/codepage.h"
#include "platform/codepage/single_byte_codec.h"
#include "platform/codepage/table_double_byte_codec.h"

namespace tarvik::codepage::detail {

enum class Encoding {
  single_byte,        // Windows tables (874, 1250-1258)
  double_byte,        // Windows tables (932)
  iconv_double_byte,  // glibc iconv (936, 949, 950)
  utf8,
};

struct CodePageEntry {
  CodePage number;
  const char* iconv_name;  // iconv_double_byte only
  Encoding encoding;
};

struct CodePageData {
  const CodePageEntry* entry = nullptr;
  std::unique_ptr<const SingleByteTable> single_byte;  // single_byte only
  std::unique_ptr<const DoubleByteTable> double_byte;  // double_byte only
};

// The data for `cp`, built on first use and kept for the life of the process; nullptr when `cp` is not
// one of ours or iconv lacks its converter. Thread-safe; the data is immutable.
const CodePageData* codepage_data(CodePage cp);

}  // namespace tarvik::codepage::detail
