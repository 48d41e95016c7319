#include "testprogram/core/call_log.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/codepage.h"
#include "temp_program_dir.h"

namespace tarvik::testprogram {
namespace {

class FakeEchoBox : public RpcEchoBox {
 public:
  std::u16string text() const override { return shown; }
  void show_text(std::u16string t, std::size_t c) override {
    shown = std::move(t);
    caret = c;
  }
  std::u16string shown;
  std::size_t caret = 0;
};

class CallLog : public TempProgramDir {
 protected:
  Settings settings_;
  FakeEchoBox box_;
  modLogen log_{files_, settings_, &box_};
};

TEST_F(CallLog, RotatesPastTheLimitAndReplacesTheOlderBackup) {
  settings_.LogFileSize = 4;
  put(files_.backup_file(), "old backup");
  const std::string record(998, 'r');  // 1000 bytes in the file with its line break
  for (int i = 0; i < 4; ++i) EXPECT_EQ(log_.append_to_log_file(record), LogAppend::written) << i;
  EXPECT_EQ(std::filesystem::file_size(files_.log_file()), 4000u);
  // 4096 bytes is the limit itself, not past it.
  EXPECT_EQ(log_.append_to_log_file(std::string(94, 'x')), LogAppend::written);
  EXPECT_EQ(log_.append_to_log_file(""), LogAppend::written_and_rotated);  // 4098 bytes
  EXPECT_FALSE(std::filesystem::exists(files_.log_file()));
  EXPECT_EQ(std::filesystem::file_size(files_.backup_file()), 4098u);
  EXPECT_EQ(log_.append_to_log_file("next"), LogAppend::written);
  EXPECT_EQ(slurp(files_.log_file()), "next\r\n");

  settings_.LogFileSize = 0;  // every record becomes the backup
  EXPECT_EQ(log_.append_to_log_file("only"), LogAppend::written_and_rotated);
  EXPECT_EQ(slurp(files_.backup_file()), "next\r\nonly\r\n");
}

TEST(LogFileLimit, ComparedWithoutOverflow) {
  EXPECT_FALSE(log_file_exceeds_limit(4096, 4));
  EXPECT_TRUE(log_file_exceeds_limit(4097, 4));
  // 2097152 KiB is 2^31 bytes: a 32-bit product would wrap and rotate at once or never.
  EXPECT_FALSE(log_file_exceeds_limit(1, 2097152));
  EXPECT_FALSE(log_file_exceeds_limit(2147483648u, 2097152));
  EXPECT_TRUE(log_file_exceeds_limit(2147483649u, 2097152));
  EXPECT_FALSE(log_file_exceeds_limit(3000000000u, 2147483647));
  EXPECT_TRUE(log_file_exceeds_limit(1, 0));
  EXPECT_TRUE(log_file_exceeds_limit(0, -1));
}

TEST(EchoText, TrimmingRule) {
  const std::u16string fits = std::u16string(2496, u'x') + u"\r\n\r\n";  // 2500 with its empty line
  EXPECT_EQ(trim_echo_text(fits + fits), fits + fits);                     // 5000 characters stay
  const std::u16string rec = std::u16string(2498, u'x') + u"\r\n\r\n";
  EXPECT_EQ(trim_echo_text(rec + u"new"), rec + u"new");
  EXPECT_EQ(trim_echo_text(rec + rec), rec);  // 5004: the older record goes
  EXPECT_EQ(trim_echo_text(std::u16string(6000, u'y')), std::u16string(6000, u'y'));  // one long record stays
  const std::u16string small = u"s\r\n\r\n";
  const std::u16string big = std::u16string(4999, u'z') + u"\r\n";
  EXPECT_EQ(trim_echo_text(small + small + big), big);  // drops records until at most 5000 remain
  EXPECT_EQ(trim_echo_text(std::u16string(4998, u'q') + u"\r\n"), std::u16string(4998, u'q') + u"\r\n");
}

TEST(LogLineBreaks, EveryLineBreakBecomesCrLf) {
  const std::pair<const char*, const char*> rows[] = {
      {"a\nb", "a\r\nb"}, {"a\r\nb", "a\r\nb"}, {"a\rb", "a\r\nb"}, {"\r\n\n", "\r\n\r\n"}, {"x\r", "x\r\n"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(with_crlf_line_breaks(in), out) << in;
}

// The file gets code-page bytes and CRLF line breaks; the echo shows the same record as it is.
TEST_F(CallLog, LogRpcDataWritesFileAndEchoAlike) {
  FixedWidthMeasure measure(200);
  clsRpcData record(&measure, [] { return LocalDateTime{2026, 12, 5, 18, 30, 0}; });
  record.set_rpc_name("C_ORDER_M", 0);
  record.add_rpc_param("Name1", std::string("\xc3\xa9"));  // "é"
  log_.log_rpc_data(record);
  log_.log_rpc_data(record);
  const std::string text = "05.12.2026 18:30:00  C_ORDER_M       Ret=0\r\n          Name1->\"\xe9\"   \r\n";
  EXPECT_EQ(slurp(files_.log_file()), text + "\r\n" + text + "\r\n");  // one code-page byte for "é"
  const std::u16string echo = codepage::from_ansi(text, 1252) + u"\r\n";
  EXPECT_EQ(box_.shown, echo + echo);
  EXPECT_EQ(box_.caret, box_.shown.size() - 2);  // the end is shown

  record.set_rpc_name("T_VAR_M", 0);
  record.add_rpc_param("VarDescr", std::string("line 1\nline 2"));
  log_.log_rpc_data(record);
  EXPECT_NE(slurp(files_.log_file()).find("VarDescr->\"line 1\r\nline 2\"   \r\n\r\n"), std::string::npos);
  EXPECT_NE(box_.shown.find(u"line 1\nline 2"), std::u16string::npos);
}

TEST_F(CallLog, ClearRemovesLogBackupAndEcho) {
  log_.append_to_log_file("x");
  put(files_.backup_file(), "b");
  box_.shown = u"something";
  log_.clear_log_file();
  EXPECT_FALSE(std::filesystem::exists(files_.log_file()));
  EXPECT_FALSE(std::filesystem::exists(files_.backup_file()));
  EXPECT_TRUE(box_.shown.empty());
  log_.clear_log_file();  // nothing left to delete: no failure
}

}  // namespace
}  // namespace tarvik::testprogram
