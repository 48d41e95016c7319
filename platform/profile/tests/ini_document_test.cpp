#include "platform/profile/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarvik::profile {
namespace {

struct LookupRow {
  const char* what;
  std::string content;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

TEST(IniDocumentLookup, FollowsThePrivateProfileRules) {
  const LookupRow rows[] = {
      {"names ignore letter case", "[Host]\r\nHostPort=3010\r\n", "HOST", "hostport", "3010"},
      {"blanks around names and value", "  [ Host ]  \n  HostID =  abc  \n", "Host", "HostID", "abc"},
      {"one pair of double quotes goes", "[S]\nK=\"  x  \"\n", "S", "K", "  x  "},
      {"one pair of single quotes goes", "[S]\nK='q'\n", "S", "K", "q"},
      {"semicolon inside a value is text", "[S]\nK=a ; b # c\n", "S", "K", "a ; b # c"},
      {"empty value is a value", "[S]\nK=\n", "S", "K", ""},
      {"first of two keys wins", "[S]\nK=1\nk=2\n", "S", "K", "1"},
      {"first of two sections wins", "[S]\nA=1\n[S]\nB=2\n", "S", "B", std::nullopt},
      {"key of another section", "[S]\n[T]\nK=1\n", "S", "K", std::nullopt},
      {"key before any section", "K=1\n[S]\n", "S", "K", std::nullopt},
      {"comment line is no key", "[S]\n;K=1\n", "S", ";K", std::nullopt},
      {"last line without line end", "[S]\nK=end", "S", "K", "end"},
      {"8-bit bytes pass", "[S]\nK=\xe4\xf6\xfc\x80\n", "S", "K", "\xe4\xf6\xfc\x80"},
      {"CR alone ends a line", "[A]\rK=1\r[S]\rK=2\r", "S", "K", "2"},
      {"mixed line ends", "[S]\r\nA=1\rK=2\nB=3", "S", "K", "2"},
      {"section name ends at the first ]", "[Dbl]]\nK=1\n", "Dbl", "K", "1"},
      {"nothing after the first ] counts", "[Dbl]]\nK=1\n", "Dbl]", "K", std::nullopt},
      {"key before any section: not even an empty name finds it", "K=1\n[S]\n", "", "K", std::nullopt},
      {"bare key line has no value", "[S]\nK\n", "S", "K", std::nullopt},
      {"bare key line is the first K and hides a later K=", "[S]\nK\nK=2\n", "S", "K", std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(find_value(row.content, row.section, row.key), row.expected) << row.what;
  }
}

struct UpdateRow {
  const char* what;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(IniDocumentUpdate, ChangesOneLineAndKeepsTheRest) {
  const UpdateRow rows[] = {
      {"empty content gets section and key with CR LF", "", "Host", "HostID", "abc",
       "[Host]\r\nHostID=abc\r\n"},
      {"replace keeps comments, foreign keys and the key's spelling",
       "; mine\r\n[Host]\r\n HostID = old \r\nForeign=1\r\n\r\n[Other]\r\nX=1\r\n", "HOST", "hostid", "new",
       "; mine\r\n[Host]\r\nHostID=new\r\nForeign=1\r\n\r\n[Other]\r\nX=1\r\n"},
      {"new key goes after the section's last line, before the blank line", "[A]\nX=1\n; note\n\n[B]\nY=2\n",
       "a", "Z", "3", "[A]\nX=1\n; note\nZ=3\n\n[B]\nY=2\n"},
      {"new key in a last section without line end", "[A]\nX=1", "A", "Z", "3", "[A]\nX=1\nZ=3\n"},
      {"new section after a blank line, in the file's line ending", "[A]\nX=1\n", "B", "Y", "2",
       "[A]\nX=1\n\n[B]\nY=2\n"},
      {"new section after content without line end", "[A]\r\nX=1", "B", "Y", "2",
       "[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n"},
      {"second duplicate section is left alone", "[S]\nA=1\n[S]\nK=2\n", "S", "K", "9",
       "[S]\nA=1\nK=9\n[S]\nK=2\n"},
      {"same value with blanks around = changes nothing", "[S]\r\n  k  =  same  \r\n", "S", "K", "same",
       "[S]\r\n  k  =  same  \r\n"},
      {"same value in quotes changes nothing", "[S]\nK = 'a b' \n", "S", "K", "\"a b\"", "[S]\nK = 'a b' \n"},
      {"a bare key line becomes key=value in its place", "[S]\n Key \nX=1\n", "S", "KEY", "v",
       "[S]\nKey=v\nX=1\n"},
      {"CR-only content: new lines end in CR", "[A]\rX=1\r", "A", "Z", "3", "[A]\rX=1\rZ=3\r"},
      {"CR-only content: new section too", "[A]\rX=1", "B", "Y", "2", "[A]\rX=1\r\r[B]\rY=2\r"},
      {"[Dbl]] takes the key", "[Dbl]]\nK=1\n", "Dbl", "K", "2", "[Dbl]]\nK=2\n"},
      {"key before any section stays; the section is made", "K=1\n", "S", "K", "2",
       "K=1\n\n[S]\nK=2\n"},
  };
  for (const auto& row : rows) {
    std::string after = with_value(row.before, row.section, row.key, row.value);
    EXPECT_EQ(after, row.after) << row.what;
    EXPECT_EQ(find_value(after, row.section, row.key), find_value(std::string("[S]\nK=") + row.value, "S", "K"))
        << row.what;
  }
}

TEST(IniDocumentUpdate, Utf16TextFollowsTheSameRules) {
  const std::u16string before = u"[\u65E5]\r\nK = \u00E4 \r\n";
  EXPECT_EQ(find_value(before, u"\u65E5", u"k"), u"\u00E4");
  EXPECT_EQ(with_value(before, u"\u65E5", u"K", u"\u00E4"), before);
  EXPECT_EQ(with_value(before, u"\u65E5", u"K", u"\u0141"), u"[\u65E5]\r\nK=\u0141\r\n");
  EXPECT_EQ(with_value(before, u"T", u"K", u"1"), before + u"\r\n[T]\r\nK=1\r\n");
}

TEST(IniDocumentUpdate, RefusesTextThatWouldMakeOrBreakLines) {
  for (const std::string& value : {std::string("one\r\nK=injected"), std::string("a\0b", 3)})
    EXPECT_FALSE(is_writable_value(value));
  for (const char* key : {"a=b", "[S]", ";K", "  ", "a\nb"}) EXPECT_FALSE(is_writable_key_name(key)) << key;
  for (const char* section : {"a]b", "a\nb", " "}) EXPECT_FALSE(is_writable_section_name(section)) << section;
  EXPECT_TRUE(is_writable_value("a;b=c [d]"));
  EXPECT_TRUE(is_writable_section_name("C_ORDER_M_Name1"));
}

}  // namespace
}  // namespace tarvik::profile
