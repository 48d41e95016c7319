#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tarvik::codepage {
namespace {

std::string all_bytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

// Where Windows' best-fit table and a transliteration disagree, the table wins: a similar letter is
// not always offered, and what is offered is not always the letter without its accent.
TEST(WindowsBestFit, GoldenCasesPerCodePage) {
  struct Case {
    CodePage cp;
    std::u16string text;
    std::string best_fit, default_char;
  };
  const Case cases[] = {
      // ā Ł ő -> base letters; full-width A -> A; Đ -> Ð (0xD0) and ∞ -> 8 as Windows' table has them;
      // ﬁ and ″ would take two characters.
      {1252, u"\u0101\u0141\u0151\uFF21\u0110\u221E\uFB01\u2033\u20AC\u00C4", "aLoA\xD0" "8??\x80\xC4",
       "??????" "??\x80\xC4"},
      {1250, u"\u00A3", "L", "?"},     // £ -> L
      {1251, u"\u00A1", "?", "?"},     // ¡ has no best fit in 1251
      {1257, u"\u00C0", "?", "?"},     // À has none in 1257
      {932, u"\u00A5", "\\", "?"},    // ¥ -> backslash
      {932, u"\u0101", "?", "?"},      // ā has none in 932
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_ansi(c.text, Unmappable::best_fit, c.cp), c.best_fit) << c.cp;
    EXPECT_EQ(to_ansi(c.text, Unmappable::default_char, c.cp), c.default_char) << c.cp;
  }
}

// Bytes the code page charts leave empty read as Windows reads them and write back as the same bytes.
TEST(WindowsUndefinedBytes, ReadAsPrivateUseOrControlsAndWriteBack) {
  EXPECT_EQ(from_ansi("\xAA", 1253), u"\uF8F9");
  EXPECT_EQ(from_ansi("\xCA", 1255), u"\u05BA");
  EXPECT_EQ(from_ansi("\x80\xA0\xFD", 932), u"\u0080\uF8F0\uF8F1");
  EXPECT_EQ(to_ansi(u"\uF8F9", Unmappable::default_char, 1253), "\xAA");
  EXPECT_EQ(to_ansi(u"\u05BA", Unmappable::default_char, 1255), "\xCA");
  EXPECT_EQ(to_ansi(u"\u0080\uF8F0\uF8F1", Unmappable::default_char, 932), "\x80\xA0\xFD");
  // Every byte of every single-byte code page survives a round trip, also without best fit.
  for (CodePage cp : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
    const std::u16string text = from_ansi(all_bytes(), cp);
    EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << cp;
    EXPECT_EQ(to_ansi(text, Unmappable::default_char, cp), all_bytes()) << cp;
  }
}

TEST(WindowsUndefinedBytes, UndefinedPairsIn932ReadAsOneDefaultCharacter) {
  // An undefined pair is one U+30FB, the trail byte included (0xAD is a katakana byte on its own).
  EXPECT_EQ(from_ansi("\x81\xAD" "a", 932), u"\u30FBa");
  EXPECT_EQ(from_ansi("\x81\x30", 932), u"\u30FB");
  // A lead byte at the end or before NUL reads alone; the NUL stays.
  EXPECT_EQ(from_ansi("x\x93", 932), u"x\u30FB");
  EXPECT_EQ(from_ansi(std::string("\x93\0y", 3), 932), std::u16string(u"\u30FB\0y", 3));
  // U+30FB is also a real character (0x81 0x45) and writes as that.
  EXPECT_EQ(to_ansi(u"\u30FB", Unmappable::default_char, 932), "\x81\x45");
  // Where two codes read as the same character, Windows writes the IBM extension code (0xFA..).
  EXPECT_EQ(from_ansi("\xED\x4C", 932), u"\u4E28");
  EXPECT_EQ(to_ansi(u"\u4E28", Unmappable::default_char, 932), "\xFA\x68");
}

// Windows' casing table leaves one-way mappings out; MachineID is upper-cased with it before it goes
// on the wire, so these must stay as they are.
TEST(WindowsCasing, OneWayMappingsStayAndOthersChange) {
  EXPECT_EQ(ansi_upper("\xB5\xF2\xE1\xF3", 1253), "\xB5\xF2\xC1\xD3");  // µ ς stay; α σ -> Α Σ
  EXPECT_EQ(ansi_upper("\xFDi\xFE\xF0", 1254), "\xFDI\xDE\xD0");          // ı stays; i ş ğ -> I Ş Ğ
  EXPECT_EQ(ansi_upper("\xB5\xDF", 1252), "\xB5\xDF");                     // µ ß stay
  EXPECT_EQ(ansi_upper("\xC2\xB5\xCF\x82\xC4\xB1", 65001), "\xC2\xB5\xCF\x82\xC4\xB1");
  EXPECT_EQ(ansi_upper("\x82\x81\x83\xBF", 932), "\x82\x60\x83\x9F");  // full-width a, Greek alpha
}

TEST(CodePage1252, UnpairedSurrogatesAndAstralCharactersAreUnmappable) {
  const std::u16string text =
      u"a\xD800"
      u"b\xDC00"
      u"c\U0001F600"
      u"d\xDBFF";
  for (const auto mode : {Unmappable::best_fit, Unmappable::default_char})
    EXPECT_EQ(to_ansi(text, mode, 1252), "a?b?c?d?");
}

TEST(OtherCodePages, Vietnamese1258MapsEachByteOnItsOwn) {
  // A letter followed by a combining accent byte stays two characters, and a precomposed letter the
  // code page holds is written as its one byte.
  EXPECT_EQ(from_ansi("a\xEC"
                      "e",
                      1258),
            u"a\u0301e");
  EXPECT_EQ(to_ansi(u"\u00E1a\u0301", Unmappable::default_char, 1258),
            "\xE1"
            "a\xEC");
}

// A trail byte may be an ASCII letter; upper-casing must step over whole characters.
TEST(OtherCodePages, DoubleByte932UpperCasesWholeCharacters) {
  // "a", then ヂ (0x83 0x61: its second byte is the ASCII code of "a"), then "b".
  EXPECT_EQ(ansi_upper("a\x83\x61" "b", 932), "A\x83\x61" "B");
  EXPECT_EQ(from_ansi("\x83\x61" "a", 932), u"\u30C2a");
}

TEST(OtherCodePages, Utf8AsAnsiCodePage) {
  EXPECT_EQ(to_ansi(u"\u00E9\xD800", Unmappable::default_char, 65001), "\xC3\xA9\xEF\xBF\xBD");
  // é -> É; ß has no single upper case; ı is left alone by the casing table; ɐ -> Ɐ would take three
  // bytes instead of two and is kept; stray bytes stay.
  EXPECT_EQ(ansi_upper("\xC3\xA9\xC3\x9F\xC4\xB1\xC9\x90z\xFF", 65001),
            "\xC3\x89\xC3\x9F\xC4\xB1\xC9\x90Z\xFF");
}

TEST(OtherCodePages, UnsupportedCodePageKeepsAsciiOnly) {
  EXPECT_FALSE(is_supported(437));
  EXPECT_EQ(to_ansi(u"a\u00E4", Unmappable::best_fit, 437), "a?");
  EXPECT_EQ(from_ansi("a\xE4", 437), u"a\uFFFD");
  EXPECT_EQ(ansi_upper("a\xE4", 437), "A\xE4");
}

TEST(OtherCodePages, ArbitraryInputInEveryCodePageIsHandled) {
  // Deterministic random bytes and UTF-16 units (surrogates and private use included), bounded count.
  std::mt19937 random(20240611);
  for (CodePage cp : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u,
                      1258u, 65001u}) {
    ASSERT_TRUE(is_supported(cp)) << cp;
    for (int round = 0; round < 50; ++round) {
      std::string bytes(random() % 12, '\0');
      for (char& byte : bytes) byte = static_cast<char>(random());
      std::u16string text(random() % 12, u'\0');
      for (char16_t& unit : text) unit = static_cast<char16_t>(random());
      EXPECT_EQ(ansi_upper(bytes, cp).size(), bytes.size()) << cp;
      to_ansi(from_ansi(bytes, cp), Unmappable::best_fit, cp);
      from_ansi(to_ansi(text, Unmappable::best_fit, cp), cp);
      EXPECT_LE(to_ansi(text, Unmappable::default_char, cp).size(), text.size() * 3) << cp;
    }
  }
}

TEST(Utf8Helpers, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
  // Overlong, encoded surrogate, beyond U+10FFFF, truncated, stray continuation.
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_utf16("a\xE2\x82"
                          "b\xF0\x9F\x98"),
            u"a\uFFFDb\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\x80z"), u"\uFFFDz");
}

TEST(Utf8Helpers, RoundTripAndUnpairedSurrogates) {
  const std::u16string text = u"M\u00FCller \u20AC \U0001F600";
  EXPECT_EQ(utf16_to_utf8(text), "M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
  EXPECT_EQ(utf16_to_utf8(u"\xDC00x\xD800"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(CodePageSetting, ThreadOverrideLeavesOtherThreadsAlone) {
  ASSERT_TRUE(set_process_codepage(1252));
  EXPECT_FALSE(set_thread_codepage(12345));
  EXPECT_EQ(thread_codepage(), 1252u);

  std::string cyrillic_thread, default_thread;
  std::thread first([&] {
    ASSERT_TRUE(set_thread_codepage(1251));
    cyrillic_thread = to_ansi(u"\u0416", Unmappable::default_char);  // Ж
    ASSERT_TRUE(set_thread_codepage(0));
    cyrillic_thread += to_ansi(u"\u0416", Unmappable::default_char);
  });
  first.join();
  std::thread second([&] { default_thread = to_ansi(u"\u0416", Unmappable::default_char); });
  second.join();
  EXPECT_EQ(cyrillic_thread, "\xC6?");
  EXPECT_EQ(default_thread, "?");
  EXPECT_EQ(thread_codepage(), 1252u);

  ASSERT_TRUE(set_thread_codepage(1250));
  EXPECT_TRUE(set_process_codepage(1251));
  EXPECT_FALSE(set_process_codepage(0));
  EXPECT_EQ(thread_codepage(), 1250u);  // the thread's own choice outlives a new process default
  set_thread_codepage(0);
  EXPECT_EQ(thread_codepage(), 1251u);
  set_process_codepage(1252);
}

TEST(CodePageSetting, ConcurrentConversionsGiveTheSameResults) {
  // Each thread converts with its own converters; bounded work, checked after joining.
  std::vector<std::thread> threads;
  std::array<int, 4> failures{};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 200; ++i) {
        if (to_ansi(u"\u65E5\u00A5", Unmappable::best_fit, 932) != "\x93\xFA\\")
          ++failures[t];
        if (to_ansi(u"\u0141\u00E4", Unmappable::best_fit, 1252) != "L\xE4") ++failures[t];
        if (from_ansi("\x93\xFA", 932) != u"\u65E5") ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, (std::array<int, 4>{}));
}

// The process default is read from the environment once, on first use: each case runs in a fresh
// child process that sets the variable before its first conversion.
void expect_codepage_from_environment(const char* value, CodePage expected, const char* message) {
  EXPECT_EXIT(
      {
        setenv("TARVIK_CODEPAGE", value, 1);
        const CodePage first = thread_codepage();
        setenv("TARVIK_CODEPAGE", "1253", 1);  // read once: later changes are not seen
        std::exit(first == expected && thread_codepage() == expected ? 0 : 1);
      },
      testing::ExitedWithCode(0), message);
}

TEST(CodePageSetting, EnvironmentChoosesTheProcessDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  expect_codepage_from_environment("1250", 1250, "");
  expect_codepage_from_environment("65001", 65001, "");
  expect_codepage_from_environment("437", 1252, "TARVIK_CODEPAGE=437 is not a supported code page");
  expect_codepage_from_environment("1250x", 1252, "TARVIK_CODEPAGE=1250x is not");
  EXPECT_EXIT(
      {
        setenv("TARVIK_CODEPAGE", "1250", 1);
        set_process_codepage(1251);  // the first use is a write: it wins over the environment
        std::exit(thread_codepage() == 1251 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarvik::codepage
