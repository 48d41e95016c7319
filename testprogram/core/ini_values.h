// GetIniValue / WriteIniValue: single values of the settings file or of another INI file in the
// program's directory (History.ini), as UTF-8 text; the files hold the ANSI code page.
//
// Each call opens and closes the file (nothing is cached). Threads: the program's UI thread.
#pragma once

#include <string>
#include <string_view>

#include "testprogram/core/program_files.h"

namespace tarvik::testprogram {

// Longest value GetIniValue returns, in bytes of the ANSI code page (characters, in the single-byte
// code pages): the system's reader fills a 500-byte buffer.
inline constexpr std::size_t kIniValueMaxBytes = 499;

// The value of Key in Section; Default when the key, the section or the file is missing. FileName
// empty: the settings file; else that file in the program's directory. Values longer than
// kIniValueMaxBytes are cut.
std::string get_ini_value(const ProgramFiles& files, std::string_view Section, std::string_view Key,
                        std::string_view Default, std::string_view FileName = {});

// Writes Key=Value into Section of the same file, creating the file and the section when missing;
// the rest of the file stays as it was. A value with blanks at either end or enclosed in quotes is
// written in double quotes so that it reads back unchanged. Returns false when the file could not be
// written or the value holds a line break (nothing is written then); callers that have nothing to
// tell the user ignore the result.
bool write_ini_value(const ProgramFiles& files, std::string_view Section, std::string_view Key,
                   std::string_view Value, std::string_view FileName = {});

// What GetIniValue gives back after WriteIniValue wrote `value` (which must hold no line break): the
// value after the round trip through the code page and the cut.
std::string ini_read_back_form(std::string_view value);

}  // namespace tarvik::testprogram
