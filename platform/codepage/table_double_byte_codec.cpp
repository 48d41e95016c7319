#include "platform/codepage/table_double_byte_codec.h"

#include "platform/codepage/code_points.h"
#include "platform/codepage/windows_casing.h"

namespace tarvik::codepage::detail {

namespace {

void append_code(std::string& out, std::uint16_t code) {
  if (code > 0xFF) out += static_cast<char>(code >> 8);
  out += static_cast<char>(code & 0xFF);
}

}  // namespace

DoubleByteTable::DoubleByteTable(const DoubleByteSource& source)
    : default_code_(source.default_code), unicode_default_(source.unicode_default) {
  std::uint16_t blocks = 0;
  for (std::size_t i = 0; i + 1 < source.lead_ranges.size(); i += 2)
    for (unsigned b = source.lead_ranges[i]; b <= source.lead_ranges[i + 1]; ++b) block_[b] = ++blocks;
  pairs_.assign(std::size_t{blocks} * 256, unicode_default_);
  to_code_.assign(0x10000, default_code_);

  // Characters first, then codes downwards, so that where several codes read as the same character
  // the lowest one is written; the exceptions then put Windows' own choices and best fits in place.
  std::size_t next = 0;
  for (const CodeRun& run : source.runs) {
    for (unsigned code = run.first_code; code < unsigned{run.first_code} + run.count; ++code) {
      if (block_[code >> 8] != 0 && next < source.characters.size())
        pairs_[(block_[code >> 8] - 1u) * 256u + (code & 0xFF)] = source.characters[next];
      ++next;
    }
  }
  for (auto run = source.runs.rbegin(); run != source.runs.rend(); ++run)
    for (unsigned code = unsigned{run->first_code} + run->count; code-- > run->first_code;)
      if (block_[code >> 8] != 0) to_code_[decode(static_cast<std::uint16_t>(code))] = static_cast<std::uint16_t>(code);
  for (int b = 255; b >= 0; --b) {
    bytes_[b] = source.bytes[b];
    if (!is_lead(static_cast<unsigned char>(b))) to_code_[bytes_[b]] = static_cast<std::uint16_t>(b);
  }
  for (const WideException& exception : source.wide) to_code_[exception.unit] = exception.code;
}

char16_t DoubleByteTable::decode(std::uint16_t code) const {
  if (code <= 0xFF) return is_lead(static_cast<unsigned char>(code)) ? unicode_default_ : bytes_[code];
  const std::uint16_t block = block_[code >> 8];
  return block == 0 ? unicode_default_ : pairs_[(block - 1u) * 256u + (code & 0xFF)];
}

char16_t DoubleByteTable::decode_next(std::string_view bytes, std::size_t& pos) const {
  const auto first = static_cast<unsigned char>(bytes[pos++]);
  if (!is_lead(first)) return bytes_[first];
  if (pos == bytes.size() || bytes[pos] == '\0') return unicode_default_;
  const auto trail = static_cast<unsigned char>(bytes[pos++]);
  return pairs_[(block_[first] - 1u) * 256u + trail];
}

std::string double_byte_to_ansi(const DoubleByteTable& table, std::u16string_view text, Unmappable mode) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = next_code_point(text, pos);
    // Characters beyond U+FFFF and unpaired surrogates have no code: one default character.
    const bool usable = c <= 0xFFFF && (mode == Unmappable::best_fit || table.exact(static_cast<char16_t>(c)));
    append_code(out, usable ? table.to_code(static_cast<char16_t>(c)) : table.default_code());
  }
  return out;
}

std::u16string double_byte_from_ansi(const DoubleByteTable& table, std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) out += table.decode_next(bytes, pos);
  return out;
}

std::string double_byte_upper(const DoubleByteTable& table, std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t start = pos;
    const char16_t c = table.decode_next(bytes, pos);
    const char16_t upper = windows_upper(c);
    const std::uint16_t code = table.to_code(upper);
    const std::size_t code_length = code > 0xFF ? 2 : 1;
    if (upper != c && table.exact(upper) && code_length == pos - start)
      append_code(out, code);
    else
      out.append(bytes.substr(start, pos - start));
  }
  return out;
}

}  // namespace tarvik::codepage::detail
