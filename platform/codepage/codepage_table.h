// The Windows code pages this system converts: the iconv converter behind each, its kind, and, for
// single-byte code pages, the lookup tables built from iconv on first use. Internal to platform/codepage.
#pragma once

#include <memory>

#include "platform/codepage/codepage.h"
#include "platform/codepage/single_byte_codec.h"

namespace tarvik::codepage::detail {

enum class Encoding { single_byte, double_byte, utf8 };

struct CodePageEntry {
  CodePage number;
  const char* iconv_name;
  Encoding encoding;
};

struct CodePageData {
  const CodePageEntry* entry = nullptr;
  std::unique_ptr<const SingleByteTable> single_byte;  // single-byte code pages only
};

// The data for `cp`, built on first use and kept for the life of the process; nullptr when `cp` is not
// one of ours or iconv lacks its converter. Thread-safe; the data is immutable.
const CodePageData* codepage_data(CodePage cp);

}  // namespace tarvik::codepage::detail
