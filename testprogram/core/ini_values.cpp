#include "testprogram/core/ini_values.h"

#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "testprogram/core/ansi_text.h"

namespace tarvik::testprogram {
namespace {

std::filesystem::path FileFor(const ProgramFiles& files, std::string_view FileName) {
  return FileName.empty() ? files.SettingsFile() : files.InDirectory(FileName);
}

}  // namespace

std::string GetIniValue(const ProgramFiles& files, std::string_view Section, std::string_view Key,
                        std::string_view Default, std::string_view FileName) {
  std::string bytes =
      profile::get_private_profile_string(Utf8ToAnsi(Section), Utf8ToAnsi(Key), Utf8ToAnsi(Default),
                                          kIniValueMaxBytes + 1, FileFor(files, FileName));
  return AnsiToUtf8(bytes);
}

bool WriteIniValue(const ProgramFiles& files, std::string_view Section, std::string_view Key,
                   std::string_view Value, std::string_view FileName) {
  std::string value = profile::quoted_for_reading_back(Utf8ToAnsi(Value));
  return profile::write_private_profile_string(Utf8ToAnsi(Section), Utf8ToAnsi(Key), value,
                                               FileFor(files, FileName)) == profile::ProfileStatus::ok;
}

std::string IniReadBackForm(std::string_view value) {
  std::string bytes = Utf8ToAnsi(value);
  if (bytes.size() > kIniValueMaxBytes) bytes.resize(kIniValueMaxBytes);
  return AnsiToUtf8(bytes);
}

}  // namespace tarvik::testprogram
