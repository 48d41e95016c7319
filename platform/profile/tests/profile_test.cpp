#include "platform/profile/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/codepage/codepage.h"
#include <fstream>
#include <sstream>
#include <string>

namespace tarvik::profile {
namespace {

namespace fs = std::filesystem;

class ProfileFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarvik_profile_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path file(const char* name) const { return dir_ / name; }
  static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
  fs::path dir_;
};

TEST_F(ProfileFile, MissingFileGivesDefaultAndWriteCreatesIt) {
  fs::path f = file("a.ini");
  EXPECT_EQ(get_private_profile_string("Host", "HostID", "?", 500, f), "?");
  ProfileStatus status = ProfileStatus::ok;
  EXPECT_EQ(read_value(f, "Host", "HostID", &status), std::nullopt);
  EXPECT_EQ(status, ProfileStatus::file_missing);

  EXPECT_EQ(write_private_profile_string("Host", "HostID", "H1", f), ProfileStatus::ok);
  EXPECT_EQ(write_private_profile_string("Trace", "TraceAll", "1", f), ProfileStatus::ok);
  EXPECT_EQ(slurp(f), "[Host]\r\nHostID=H1\r\n\r\n[Trace]\r\nTraceAll=1\r\n");
  EXPECT_EQ(get_private_profile_string("host", "hostid", "?", 500, f), "H1");
}

TEST_F(ProfileFile, ReadsAreCutToTheBufferLessOne) {
  fs::path f = file("cut.ini");
  std::string long_value(600, 'x');
  long_value[498] = 'L';
  long_value[499] = 'C';
  ASSERT_EQ(write_private_profile_string("S", "K", long_value, f), ProfileStatus::ok);
  std::string read = get_private_profile_string("S", "K", "", 500, f);
  EXPECT_EQ(read.size(), 499u);
  EXPECT_EQ(read.back(), 'L');
  // The whole value is kept in the file; only the read is cut.
  EXPECT_EQ(read_value(f, "S", "K")->size(), 600u);
  EXPECT_EQ(get_private_profile_string("S", "none", "default", 4, f), "def");
  EXPECT_EQ(get_private_profile_string("S", "none", "default", 0, f), "");
}

TEST_F(ProfileFile, DefaultLosesItsTrailingSpaces) {
  fs::path f = file("defaults.ini");
  put(f, "[S]\nK=kept  \n");
  EXPECT_EQ(get_private_profile_string("S", "none", "abc   ", 500, f), "abc");
  EXPECT_EQ(get_private_profile_string("S", "none", "   ", 500, f), "");
  EXPECT_EQ(get_private_profile_string("S", "none", " a\t", 500, f), " a\t");  // only spaces, only at the end
  EXPECT_EQ(get_private_profile_string("S", "none", "abc   ", 3, f), "ab");
  EXPECT_EQ(get_private_profile_string("none", "K", "x ", 500, dir_ / "missing.ini"), "x");
  EXPECT_EQ(get_private_profile_string("S", "K", "x ", 500, f), "kept");
}

// Writing what a key already holds must not touch the file: same inode, same bytes.
TEST_F(ProfileFile, WritingTheSameValueLeavesTheFileUntouched) {
  fs::path f = file("same.ini");
  const std::string text = "[S]\r\n  k  =  same  \r\nQ = \"  x  \"\r\n";
  put(f, text);
  struct stat before {}, after {};
  ASSERT_EQ(::stat(f.c_str(), &before), 0);
  EXPECT_EQ(write_private_profile_string("s", "K", "same", f), ProfileStatus::ok);
  EXPECT_EQ(write_private_profile_string("S", "Q", "\"  x  \"", f), ProfileStatus::ok);
  ASSERT_EQ(::stat(f.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(slurp(f), text);
}

std::string utf16le(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t unit : text) out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return out;
}

TEST_F(ProfileFile, Utf16FileIsReadAndWrittenAsUtf16) {
  ASSERT_TRUE(codepage::set_thread_codepage(1250));
  fs::path f = file("wide.ini");
  // A comment in Japanese that 1250 cannot hold must survive every write unchanged.
  const std::u16string comment = u"; \u65E5\u672C\r\n";
  put(f, utf16le(comment + u"[Host]\r\nName = \u0141\u00F3d\u017A\r\n"));
  EXPECT_EQ(get_private_profile_string("host", "name", "?", 500, f), "\xA3\xF3\x64\x9F");
  EXPECT_EQ(read_value(f, "Host", "Other"), std::nullopt);

  EXPECT_EQ(write_private_profile_string("Host", "Name", "\xA3\xF3\x64\x9F", f), ProfileStatus::ok);
  EXPECT_EQ(slurp(f), utf16le(comment + u"[Host]\r\nName = \u0141\u00F3d\u017A\r\n"));
  EXPECT_EQ(write_private_profile_string("Host", "Name", "\x8C", f), ProfileStatus::ok);  // Ś
  EXPECT_EQ(write_private_profile_string("Trace", "All", "1", f), ProfileStatus::ok);
  EXPECT_EQ(slurp(f), utf16le(comment + u"[Host]\r\nName=\u015A\r\n\r\n[Trace]\r\nAll=1\r\n"));
  EXPECT_EQ(get_private_profile_string("Host", "Name", "?", 500, f), "\x8C");
  codepage::set_thread_codepage(0);
}

TEST_F(ProfileFile, BigEndianAndDamagedUtf16FilesKeepTheirBytes) {
  fs::path f = file("be.ini");
  put(f, std::string("\xFE\xFF\0[\0S\0]\0\n\0K\0=\0a", 16) + "\x7F");  // odd last byte
  EXPECT_EQ(read_value(f, "S", "K"), "a");
  ASSERT_EQ(write_private_profile_string("S", "K", "b", f), ProfileStatus::ok);
  EXPECT_EQ(slurp(f), std::string("\xFE\xFF\0[\0S\0]\0\n\0K\0=\0b", 16) + "\x7F");
}

TEST_F(ProfileFile, RefusalsLeaveTheFileAsItWas) {
  fs::path f = file("refuse.ini");
  put(f, "[S]\nK=1\n");
  EXPECT_EQ(write_private_profile_string("S", "K", "a\nX=evil", f), ProfileStatus::invalid_argument);
  EXPECT_EQ(slurp(f), "[S]\nK=1\n");

  fs::path big = file("big.ini");
  put(big, "[S]\nK=1\n" + std::string(kMaxProfileFileBytes, ';'));
  ProfileStatus status = ProfileStatus::ok;
  EXPECT_EQ(read_value(big, "S", "K", &status), std::nullopt);
  EXPECT_EQ(status, ProfileStatus::too_large);
  EXPECT_EQ(write_private_profile_string("S", "K", "2", big), ProfileStatus::too_large);
  EXPECT_EQ(fs::file_size(big), kMaxProfileFileBytes + 8);

  EXPECT_EQ(write_private_profile_string("S", "K", "1", dir_ / "no_such_dir" / "x.ini"),
            ProfileStatus::io_error);
}

TEST_F(ProfileFile, ReplacementKeepsModeAndLinksAndLeavesNoTemporaryFile) {
  fs::path real = file("real.ini");
  fs::path link = file("link.ini");
  put(real, "[S]\nK=1\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(real, link);
  ASSERT_EQ(write_private_profile_string("S", "K", "2", link), ProfileStatus::ok);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(real), "[S]\nK=2\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace tarvik::profile
