#include "platform/codepage/nls/nls_file.h"

#include <fstream>
#include <iterator>

namespace tarvik::codepage::nls {

namespace {

constexpr std::size_t kTableSize = 0x10000;
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;

// The file as 16-bit little-endian words, every access bounds-checked.
class Words {
 public:
  explicit Words(std::string_view content) : content_(content) {}
  std::size_t size() const { return content_.size() / 2; }
  bool has(std::size_t index, std::size_t count = 1) const {
    return index <= size() && count <= size() - index;
  }
  std::uint16_t operator[](std::size_t index) const {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(content_[2 * index]) |
                                      static_cast<unsigned char>(content_[2 * index + 1]) << 8);
  }
  unsigned char byte(std::size_t index) const { return static_cast<unsigned char>(content_[index]); }

 private:
  std::string_view content_;
};

constexpr std::size_t kHeaderWords = 13;

}  // namespace

char16_t CodePageFile::decode(std::uint16_t code) const {
  if (code > 0xFF) return pairs.empty() ? unicode_default : pairs[code];
  return lead[code] ? unicode_default : bytes[code];
}

std::optional<CodePageFile> parse_code_page_file(std::string_view content, std::string& error) {
  const Words w(content);
  if (!w.has(0, kHeaderWords) || w[0] < kHeaderWords || !w.has(w[0], 1)) {
    error = "too short for an NLS code page header";
    return std::nullopt;
  }
  CodePageFile file;
  file.code_page = w[1];
  file.max_char_size = w[2];
  file.default_code = w[3];
  file.unicode_default = static_cast<char16_t>(w[4]);
  if (file.max_char_size != 1 && file.max_char_size != 2) {
    error = "maximum character size is neither 1 nor 2";
    return std::nullopt;
  }
  std::size_t pos = w[0];
  const std::size_t wide_at = pos + w[pos] + 1;
  ++pos;
  if (!w.has(pos, 256 + 1)) {
    error = "MultiByte table cut short";
    return std::nullopt;
  }
  for (std::size_t b = 0; b < 256; ++b) file.bytes[b] = static_cast<char16_t>(w[pos + b]);
  pos += 256;
  if (w[pos++] != 0) pos += 256;  // glyph table: only for conversions that ask for glyphs
  if (!w.has(pos, 1)) {
    error = "DBCS range count missing";
    return std::nullopt;
  }
  const bool double_byte = w[pos++] != 0;
  if (double_byte) {
    const std::size_t offsets = pos;
    if (!w.has(offsets, 256)) {
      error = "lead-byte offset table cut short";
      return std::nullopt;
    }
    file.pairs.assign(kTableSize, file.unicode_default);
    for (std::size_t lead = 0; lead < 256; ++lead) {
      const std::size_t offset = w[offsets + lead];
      if (offset == 0) continue;
      if (!w.has(offsets + offset, 256)) {
        error = "trail-byte table outside the file";
        return std::nullopt;
      }
      file.lead[lead] = true;
      for (std::size_t trail = 0; trail < 256; ++trail)
        file.pairs[lead << 8 | trail] = static_cast<char16_t>(w[offsets + offset + trail]);
    }
  }
  if (double_byte != (file.max_char_size == 2)) {
    error = "lead-byte tables do not match the maximum character size";
    return std::nullopt;
  }
  file.wide.resize(kTableSize);
  if (double_byte) {
    if (!w.has(wide_at, kTableSize)) {
      error = "WideChar table cut short";
      return std::nullopt;
    }
    for (std::size_t c = 0; c < kTableSize; ++c) file.wide[c] = w[wide_at + c];
  } else {
    if (!w.has(wide_at, kTableSize / 2)) {
      error = "WideChar table cut short";
      return std::nullopt;
    }
    for (std::size_t c = 0; c < kTableSize; ++c) file.wide[c] = w.byte(2 * wide_at + c);
  }
  return file;
}

std::optional<std::vector<char16_t>> parse_casing_file(std::string_view content, std::string& error) {
  const Words w(content);
  if (!w.has(0, 2) || !w.has(2, w[1]) || w[1] < 256) {
    error = "too short for an NLS casing table";
    return std::nullopt;
  }
  const std::size_t base = 2, size = w[1];
  std::vector<char16_t> upper(kTableSize);
  for (std::size_t c = 0; c < kTableSize; ++c) {
    const std::size_t middle = w[base + (c >> 8)] + ((c >> 4) & 0xF);
    if (middle >= size || w[base + middle] + (c & 0xF) >= size) {
      error = "casing table points outside itself";
      return std::nullopt;
    }
    const std::uint16_t delta = w[base + w[base + middle] + (c & 0xF)];
    upper[c] = static_cast<char16_t>(c + delta);
  }
  return upper;
}

std::optional<std::string> read_small_file(const std::filesystem::path& file, std::string& error) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size > kMaxFileBytes) {
    error = ec ? ec.message() : "larger than 1 MiB";
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    error = "cannot be read";
    return std::nullopt;
  }
  return content;
}

}  // namespace tarvik::codepage::nls
