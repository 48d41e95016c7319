#include "platform/codepage/codepage_table.h"

#include <array>
#include <mutex>

#include "platform/codepage/double_byte_codec.h"

namespace tarvik::codepage::detail {

namespace {

// The code pages Windows uses as a thread's ANSI code page, and UTF-8.
constexpr std::array kCodePages = {
    CodePageEntry{874, "CP874", Encoding::single_byte},    // Thai
    CodePageEntry{932, "CP932", Encoding::double_byte},    // Japanese
    CodePageEntry{936, "CP936", Encoding::double_byte},    // Simplified Chinese
    CodePageEntry{949, "CP949", Encoding::double_byte},    // Korean
    CodePageEntry{950, "CP950", Encoding::double_byte},    // Traditional Chinese
    CodePageEntry{1250, "CP1250", Encoding::single_byte},  // Central European
    CodePageEntry{1251, "CP1251", Encoding::single_byte},  // Cyrillic
    CodePageEntry{1252, "CP1252", Encoding::single_byte},  // Western European
    CodePageEntry{1253, "CP1253", Encoding::single_byte},  // Greek
    CodePageEntry{1254, "CP1254", Encoding::single_byte},  // Turkish
    CodePageEntry{1255, "CP1255", Encoding::single_byte},  // Hebrew
    CodePageEntry{1256, "CP1256", Encoding::single_byte},  // Arabic
    CodePageEntry{1257, "CP1257", Encoding::single_byte},  // Baltic
    CodePageEntry{1258, "CP1258", Encoding::single_byte},  // Vietnamese
    CodePageEntry{65001, "UTF-8", Encoding::utf8},
};

// Built once per code page; never freed, because threads may still convert while the process exits.
const CodePageData* build(const CodePageEntry& entry) {
  auto data = std::make_unique<CodePageData>();
  data->entry = &entry;
  switch (entry.encoding) {
    case Encoding::single_byte:
      data->single_byte = SingleByteTable::load(entry.iconv_name);
      if (!data->single_byte) return nullptr;
      break;
    case Encoding::double_byte:
      if (!double_byte_available(entry.iconv_name)) return nullptr;
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
