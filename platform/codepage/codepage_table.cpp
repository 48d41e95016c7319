#include "platform/codepage/codepage_table.h"

#include <array>
#include <mutex>
#include <span>

#include "platform/codepage/iconv_double_byte_codec.h"

namespace tarvik::codepage::detail {

namespace {

// The code pages Windows uses as a thread's ANSI code page, and UTF-8.
constexpr std::array kCodePages = {
    CodePageEntry{874, nullptr, Encoding::single_byte},          // Thai
    CodePageEntry{932, nullptr, Encoding::double_byte},          // Japanese
    CodePageEntry{936, "CP936", Encoding::iconv_double_byte},    // Simplified Chinese
    CodePageEntry{949, "CP949", Encoding::iconv_double_byte},    // Korean
    CodePageEntry{950, "CP950", Encoding::iconv_double_byte},    // Traditional Chinese
    CodePageEntry{1250, nullptr, Encoding::single_byte},         // Central European
    CodePageEntry{1251, nullptr, Encoding::single_byte},         // Cyrillic
    CodePageEntry{1252, nullptr, Encoding::single_byte},         // Western European
    CodePageEntry{1253, nullptr, Encoding::single_byte},         // Greek
    CodePageEntry{1254, nullptr, Encoding::single_byte},         // Turkish
    CodePageEntry{1255, nullptr, Encoding::single_byte},         // Hebrew
    CodePageEntry{1256, nullptr, Encoding::single_byte},         // Arabic
    CodePageEntry{1257, nullptr, Encoding::single_byte},         // Baltic
    CodePageEntry{1258, nullptr, Encoding::single_byte},         // Vietnamese
    CodePageEntry{65001, "UTF-8", Encoding::utf8},
};

template <typename Source>
const Source* find_source(std::span<const Source> sources, CodePage cp) {
  for (const Source& source : sources)
    if (source.number == cp) return &source;
  return nullptr;
}

// Built once per code page; never freed, because threads may still convert while the process exits.
const CodePageData* build(const CodePageEntry& entry) {
  auto data = std::make_unique<CodePageData>();
  data->entry = &entry;
  switch (entry.encoding) {
    case Encoding::single_byte: {
      const SingleByteSource* source = find_source(single_byte_sources(), entry.number);
      if (source == nullptr) return nullptr;
      data->single_byte = std::make_unique<const SingleByteTable>(*source);
      break;
    }
    case Encoding::double_byte: {
      const DoubleByteSource* source = find_source(double_byte_sources(), entry.number);
      if (source == nullptr) return nullptr;
      data->double_byte = std::make_unique<const DoubleByteTable>(*source);
      break;
    }
    case Encoding::iconv_double_byte:
      if (!iconv_double_byte_available(entry.iconv_name)) return nullptr;
      break;
    case Encoding::utf8:
      break;
  }
  return data.release();
}

}  // namespace

const CodePageData* codepage_data(CodePage cp) {
  static std::array<std::once_flag, kCodePages.size()> once;
  static std::array<const CodePageData*, kCodePages.size()> data{};
  for (std::size_t i = 0; i < kCodePages.size(); ++i) {
    if (kCodePages[i].number != cp) continue;
    std::call_once(once[i], [i] { data[i] = build(kCodePages[i]); });
    return data[i];
  }
  return nullptr;
}

}  // namespace tarvik::codepage::detail
