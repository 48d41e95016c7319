#include "testprogram/core/ini_values.h"

#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "testprogram/core/ansi_text.h"

namespace tarvik::testprogram {
namespace {

std::filesystem::path file_for(const ProgramFiles& files, std::string_view FileName) {
  return FileName.empty() ? files.settings_file() : files.in_directory(FileName);
}

}  // namespace

std::string get_ini_value(const ProgramFiles& files, std::string_view Section, std::string_view Key,
                        std::string_view Default, std::string_view FileName) {
  std::string bytes =
      profile::get_private_profile_string(utf8_to_ansi(Section), utf8_to_ansi(Key), utf8_to_ansi(Default),
                                          kIniValueMaxBytes + 1, file_for(files, FileName));
  return ansi_to_utf8(bytes);
}

bool write_ini_value(const ProgramFiles& files, std::string_view Section, std::string_view Key,
                   std::string_view Value, std::string_view FileName) {
  std::string value = profile::quoted_for_reading_back(utf8_to_ansi(Value));
  return profile::write_private_profile_string(utf8_to_ansi(Section), utf8_to_ansi(Key), value,
                                               file_for(files, FileName)) == profile::ProfileStatus::ok;
}

std::string ini_read_back_form(std::string_view value) {
  std::string bytes = utf8_to_ansi(value);
  if (bytes.size() > kIniValueMaxBytes) bytes.resize(kIniValueMaxBytes);
  return ansi_to_utf8(bytes);
}

}  // namespace tarvik::testprogram
