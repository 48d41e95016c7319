// The files the test program keeps beside itself: settings, log and its backup, value history.
//
// They live in the program's directory and are named after the executable: "RpcTarvikTest" keeps
// RpcTarvikTest.ini, RpcTarvikTest.LOG, RpcTarvikTest.BAK and History.ini. Where the program's
// directory is not writable (an installation under /usr, say), the environment variable
// TARVIK_TESTPROGRAM_DIR names another directory to use instead; the file names stay the same.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvik::testprogram {

inline constexpr const char* kDirectoryOverrideVariable = "TARVIK_TESTPROGRAM_DIR";
inline constexpr const char* kHistoryFileName = "History.ini";

class ProgramFiles {
 public:
  // `program_name` is the executable's name without directory and extension.
  ProgramFiles(std::filesystem::path directory, std::string program_name);

  // The running executable's directory (or the override) and name.
  static ProgramFiles ForThisProcess();

  const std::filesystem::path& Directory() const { return directory_; }
  const std::string& ProgramName() const { return program_name_; }
  std::filesystem::path SettingsFile() const { return InDirectory(program_name_ + ".ini"); }
  std::filesystem::path LogFile() const { return InDirectory(program_name_ + ".LOG"); }
  std::filesystem::path BackupFile() const { return InDirectory(program_name_ + ".BAK"); }
  std::filesystem::path HistoryFile() const { return InDirectory(kHistoryFileName); }
  // A file of the program's directory by name ("History.ini").
  std::filesystem::path InDirectory(std::string_view file_name) const { return directory_ / file_name; }

 private:
  std::filesystem::path directory_;
  std::string program_name_;
};

}  // namespace tarvik::testprogram
