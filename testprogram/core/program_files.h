// The files the test program keeps: settings, value history, log and its backup, single-instance lock.
//
// They are named after the executable: "RpcTarvikTest" keeps RpcTarvikTest.ini, History.ini,
// RpcTarvikTest.LOG, RpcTarvikTest.BAK and RpcTarvikTest.lock. Where they live:
//   - TARVIK_TESTPROGRAM_DIR, when set: every file there;
//   - else the program's own directory, when the program may write there (a build tree, a copy
//     in a directory of its own: where existing settings and logs already are);
//   - else (an installation under /usr) the per-user directories: settings, history and lock in
//     $XDG_CONFIG_HOME/RpcTarvikTest (default ~/.config), log and backup in
//     $XDG_STATE_HOME/RpcTarvikTest (default ~/.local/state).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::testprogram {

inline constexpr const char* kDirectoryOverrideVariable = "TARVIK_TESTPROGRAM_DIR";
inline constexpr const char* kHistoryFileName = "History.ini";

// Where the files go, and why (shown to the user).
struct ProgramDirectories {
  enum class Source { override_variable, program_directory, user_directories };
  std::filesystem::path settings;  // settings, history, lock
  std::filesystem::path log;       // log and its backup
  Source source = Source::program_directory;
};

// What the choice looks at, so that it can be decided without touching the process environment.
struct DirectoryEnvironment {
  std::function<std::optional<std::string>(const char* name)> variable;  // nullopt: unset
  std::function<bool(const std::filesystem::path&)> writable;
  std::function<std::filesystem::path()> home;  // the user's home when HOME is unset; may be empty
};

// Picks the directories for a program in `program_directory` named `program_name`.
ProgramDirectories choose_program_directories(const std::filesystem::path& program_directory,
                                              const std::string& program_name,
                                              const DirectoryEnvironment& environment);

// The process environment, access(2) and the password database.
DirectoryEnvironment process_directory_environment();

class ProgramFiles {
 public:
  // Every file in `directory`. `program_name` is the executable's name without directory and extension.
  ProgramFiles(std::filesystem::path directory, std::string program_name);
  ProgramFiles(ProgramDirectories directories, std::string program_name);

  // The running executable's name, its directories chosen as above and created when missing (a
  // directory that cannot be created shows up later as the file operations' own failures).
  static ProgramFiles for_this_process();

  const std::filesystem::path& directory() const { return directories_.settings; }
  const std::filesystem::path& log_directory() const { return directories_.log; }
  ProgramDirectories::Source source() const { return directories_.source; }
  const std::string& program_name() const { return program_name_; }
  std::filesystem::path settings_file() const { return in_directory(program_name_ + ".ini"); }
  std::filesystem::path log_file() const { return directories_.log / (program_name_ + ".LOG"); }
  std::filesystem::path backup_file() const { return directories_.log / (program_name_ + ".BAK"); }
  std::filesystem::path history_file() const { return in_directory(kHistoryFileName); }
  // A file of the settings directory by name ("History.ini").
  std::filesystem::path in_directory(std::string_view file_name) const { return directories_.settings / file_name; }

  // Creates the directories that do not exist yet; false (with `error` set) when one cannot be made.
  bool create_directories(std::string* error = nullptr) const;
  // One line per directory, for the user: where settings and history are, where the log is.
  std::string describe_locations() const;

 private:
  ProgramDirectories directories_;
  std::string program_name_;
};

}  // namespace tarvik::testprogram
