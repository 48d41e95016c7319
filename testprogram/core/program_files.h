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
  static ProgramFiles for_this_process();

  const std::filesystem::path& directory() const { return directory_; }
  const std::string& program_name() const { return program_name_; }
  std::filesystem::path settings_file() const { return in_directory(program_name_ + ".ini"); }
  std::filesystem::path log_file() const { return in_directory(program_name_ + ".LOG"); }
  std::filesystem::path backup_file() const { return in_directory(program_name_ + ".BAK"); }
  std::filesystem::path history_file() const { return in_directory(kHistoryFileName); }
  // A file of the program's directory by name ("History.ini").
  std::filesystem::path in_directory(std::string_view file_name) const { return directory_ / file_name; }

 private:
  std::filesystem::path directory_;
  std::string program_name_;
};

}  // namespace tarvik::testprogram
