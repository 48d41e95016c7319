#include "testprogram/core/program_files.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <utility>

namespace tarvik::testprogram {
namespace {

// An XDG base directory: the variable when it holds an absolute path (relative ones are invalid
// and ignored), else HOME joined with the default.
std::filesystem::path xdg_directory(const DirectoryEnvironment& env, const char* variable,
                                    const char* default_under_home) {
  if (auto value = env.variable(variable); value && !value->empty() && value->front() == '/') return *value;
  std::filesystem::path home;
  if (auto value = env.variable("HOME"); value && !value->empty()) {
    home = *value;
  } else if (env.home) {
    home = env.home();
  }
  if (home.empty()) return {};
  return home / default_under_home;
}

}  // namespace

ProgramDirectories choose_program_directories(const std::filesystem::path& program_directory,
                                              const std::string& program_name,
                                              const DirectoryEnvironment& environment) {
  using Source = ProgramDirectories::Source;
  if (auto override_dir = environment.variable(kDirectoryOverrideVariable); override_dir && !override_dir->empty()) {
    return {*override_dir, *override_dir, Source::override_variable};
  }
  const std::filesystem::path own = program_directory.empty() ? "." : program_directory;
  if (environment.writable(own)) return {own, own, Source::program_directory};
  const std::filesystem::path config = xdg_directory(environment, "XDG_CONFIG_HOME", ".config");
  const std::filesystem::path state = xdg_directory(environment, "XDG_STATE_HOME", ".local/state");
  // No home at all: stay beside the program, where the file operations then report what fails.
  if (config.empty() || state.empty()) return {own, own, Source::program_directory};
  return {config / program_name, state / program_name, Source::user_directories};
}

DirectoryEnvironment process_directory_environment() {
  return {
      [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (!value) return std::nullopt;
        return std::string(value);
      },
      [](const std::filesystem::path& dir) { return ::access(dir.c_str(), W_OK) == 0; },
      []() -> std::filesystem::path {
        const passwd* pw = ::getpwuid(::getuid());
        return pw && pw->pw_dir ? std::filesystem::path(pw->pw_dir) : std::filesystem::path();
      },
  };
}

ProgramFiles::ProgramFiles(std::filesystem::path directory, std::string program_name)
    : directories_{directory, directory, ProgramDirectories::Source::program_directory},
      program_name_(std::move(program_name)) {}

ProgramFiles::ProgramFiles(ProgramDirectories directories, std::string program_name)
    : directories_(std::move(directories)), program_name_(std::move(program_name)) {}

ProgramFiles ProgramFiles::for_this_process() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) exe = "RpcTarvikTest";
  const std::string name = exe.stem().string();
  ProgramFiles files(choose_program_directories(exe.parent_path(), name, process_directory_environment()), name);
  files.create_directories();
  return files;
}

bool ProgramFiles::create_directories(std::string* error) const {
  for (const auto* dir : {&directories_.settings, &directories_.log}) {
    std::error_code ec;
    std::filesystem::create_directories(*dir, ec);
    if (ec) {
      if (error) *error = dir->string() + ": " + ec.message();
      return false;
    }
  }
  return true;
}

std::string ProgramFiles::describe_locations() const {
  std::string why;
  switch (directories_.source) {
    case ProgramDirectories::Source::override_variable:
      why = std::string(" (from ") + kDirectoryOverrideVariable + ")";
      break;
    case ProgramDirectories::Source::program_directory:
      why = " (beside the program)";
      break;
    case ProgramDirectories::Source::user_directories:
      why = " (the program's directory is not writable)";
      break;
  }
  return "Settings and history: " + directories_.settings.string() + why + "\nLog: " + directories_.log.string();
}

}  // namespace tarvik::testprogram
