// Compares every conversion of the tabled code pages, and the casing, with the Windows NLS files they
// were generated from. The files are not needed to build or test: where they are missing (set
// TARVIK_NLS_DIR to a directory that holds them; default /usr/share/wine/nls from Debian's libwine)
// the comparisons are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/codepage/nls/nls_file.h"
#include "platform/codepage/windows_casing.h"

namespace tarvik::codepage {
namespace {

std::filesystem::path nls_dir() {
  const char* dir = std::getenv("TARVIK_NLS_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/usr/share/wine/nls";
}

// The parsed file, or nothing when it is absent; a file that is there but unreadable fails the test.
std::optional<nls::CodePageFile> code_page_file(CodePage cp) {
  const auto path = nls_dir() / ("c_" + std::to_string(cp) + ".nls");
  if (!std::filesystem::exists(path)) return std::nullopt;
  std::string error;
  auto content = nls::read_small_file(path, error);
  std::optional<nls::CodePageFile> file;
  if (content) file = nls::parse_code_page_file(*content, error);
  EXPECT_TRUE(file.has_value()) << path << ": " << error;
  if (file) {
    EXPECT_EQ(file->code_page, cp) << path;
  }
  return file;
}

std::optional<std::vector<char16_t>> casing_file() {
  const auto path = nls_dir() / "l_intl.nls";
  if (!std::filesystem::exists(path)) return std::nullopt;
  std::string error;
  auto content = nls::read_small_file(path, error);
  std::optional<std::vector<char16_t>> upper;
  if (content) upper = nls::parse_casing_file(*content, error);
  EXPECT_TRUE(upper.has_value()) << path << ": " << error;
  return upper;
}

std::string code_bytes(std::uint16_t code) {
  std::string bytes;
  if (code > 0xFF) bytes += static_cast<char>(code >> 8);
  bytes += static_cast<char>(code & 0xFF);
  return bytes;
}

bool is_surrogate(unsigned unit) {
  return unit >= 0xD800 && unit <= 0xDFFF;
}

// Every UTF-16 unit but the surrogates, converted one at a time in both modes.
void expect_writing_matches(CodePage cp, const nls::CodePageFile& file) {
  int differences = 0;
  for (unsigned unit = 0; unit < 0x10000 && differences < 10; ++unit) {
    if (is_surrogate(unit)) continue;
    const std::u16string text(1, static_cast<char16_t>(unit));
    const std::uint16_t best = file.wide[unit];
    const std::uint16_t exact = file.decode(best) == unit ? best : file.default_code;
    const std::string best_fit = to_ansi(text, Unmappable::best_fit, cp);
    const std::string default_char = to_ansi(text, Unmappable::default_char, cp);
    if (best_fit != code_bytes(best) || default_char != code_bytes(exact)) ++differences;
    EXPECT_EQ(best_fit, code_bytes(best)) << cp << " U+" << std::hex << unit;
    EXPECT_EQ(default_char, code_bytes(exact)) << cp << " U+" << std::hex << unit;
  }
}

// Every code reads as the file says; upper-casing gives the file's upper case where the code page holds
// it exactly in as many bytes.
void expect_reading_and_casing_match(CodePage cp, const nls::CodePageFile& file,
                                     const std::vector<char16_t>* upper) {
  int differences = 0;
  for (unsigned code = 0; code < 0x10000 && differences < 10; ++code) {
    if (code > 0xFF ? !file.lead[code >> 8] || (code & 0xFF) == 0 : file.lead[code]) continue;
    const std::string bytes = code_bytes(static_cast<std::uint16_t>(code));
    const char16_t c = file.decode(static_cast<std::uint16_t>(code));
    const std::u16string read = from_ansi(bytes, cp);
    if (read != std::u16string(1, c)) ++differences;
    EXPECT_EQ(read, std::u16string(1, c)) << cp << " code " << std::hex << code;
    if (upper == nullptr) continue;
    const char16_t u = (*upper)[c];
    const std::uint16_t upper_code = file.wide[u];
    const bool changes = u != c && file.decode(upper_code) == u && code_bytes(upper_code).size() == bytes.size();
    EXPECT_EQ(ansi_upper(bytes, cp), changes ? code_bytes(upper_code) : bytes) << cp << " code " << std::hex << code;
  }
}

TEST(WindowsTables, EveryCodePageConvertsAsItsNlsFile) {
  const auto upper = casing_file();
  int compared = 0;
  for (CodePage cp : {874u, 932u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
    const auto file = code_page_file(cp);
    if (!file) continue;
    ++compared;
    SCOPED_TRACE(cp);
    expect_writing_matches(cp, *file);
    expect_reading_and_casing_match(cp, *file, upper ? &*upper : nullptr);
  }
  if (compared == 0) GTEST_SKIP() << "no NLS code page files in " << nls_dir() << " (apt-get install libwine)";
}

TEST(WindowsTables, UpperCaseOfEveryUnitAsTheCasingFile) {
  const auto upper = casing_file();
  if (!upper) GTEST_SKIP() << "no l_intl.nls in " << nls_dir() << " (apt-get install libwine)";
  int differences = 0;
  for (unsigned unit = 0; unit < 0x10000 && differences < 10; ++unit) {
    const char16_t expected = (*upper)[unit];
    if (detail::windows_upper(static_cast<char16_t>(unit)) != expected) ++differences;
    EXPECT_EQ(detail::windows_upper(static_cast<char16_t>(unit)), expected) << "U+" << std::hex << unit;
  }
}

TEST(NlsFileReader, RefusesDamagedFilesWithAReason) {
  std::string error;
  EXPECT_FALSE(nls::parse_code_page_file("", error));
  EXPECT_FALSE(error.empty());
  // A single-byte header that promises more tables than the file holds.
  std::string header(26, '\0');
  header[0] = 13, header[2] = static_cast<char>(0xE4), header[3] = 0x04, header[4] = 1;
  header += std::string("\x03\x01", 2) + std::string(100, '\0');
  error.clear();
  EXPECT_FALSE(nls::parse_code_page_file(header, error));
  EXPECT_NE(error.find("cut short"), std::string::npos) << error;
  // A casing table whose index points past its end.
  std::string casing = std::string("\x01\x00\x00\x01", 4) + std::string(512, '\xFF');
  error.clear();
  EXPECT_FALSE(nls::parse_casing_file(casing, error));
  EXPECT_NE(error.find("outside"), std::string::npos) << error;
  // One whose first two levels are in range but whose last level points past its end.
  std::string deep(2 * (2 + 272), '\0');
  const auto word = [&deep](std::size_t i, std::uint16_t v) {
    deep[2 * i] = static_cast<char>(v & 0xFF);
    deep[2 * i + 1] = static_cast<char>(v >> 8);
  };
  word(1, 272);
  for (std::size_t i = 0; i < 272; ++i) word(2 + i, i < 256 ? 256 : 0xFFF0);
  error.clear();
  EXPECT_FALSE(nls::parse_casing_file(deep, error));
  EXPECT_NE(error.find("outside"), std::string::npos) << error;
}

TEST(NlsFileReader, EveryTruncationOfARealFileIsRefused) {
  const auto path = nls_dir() / "c_932.nls";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path << " (apt-get install libwine)";
  std::string error;
  const auto content = nls::read_small_file(path, error);
  ASSERT_TRUE(content) << error;
  for (std::size_t size = 0; size < content->size(); size += 997) {
    error.clear();
    EXPECT_FALSE(nls::parse_code_page_file(std::string_view(*content).substr(0, size), error)) << size;
    EXPECT_FALSE(error.empty()) << size;
  }
}

}  // namespace
}  // namespace tarvik::codepage
