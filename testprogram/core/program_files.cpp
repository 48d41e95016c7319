#include "testprogram/core/program_files.h"

#include <cstdlib>
#include <system_error>
#include <utility>

namespace tarvik::testprogram {

ProgramFiles::ProgramFiles(std::filesystem::path directory, std::string program_name)
    : directory_(std::move(directory)), program_name_(std::move(program_name)) {}

ProgramFiles ProgramFiles::for_this_process() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) exe = "RpcTarvikTest";
  std::filesystem::path directory = exe.parent_path();
  if (const char* override_dir = std::getenv(kDirectoryOverrideVariable); override_dir && *override_dir) {
    directory = override_dir;
  }
  if (directory.empty()) directory = ".";
  return ProgramFiles(directory, exe.stem().string());
}

}  // namespace tarvik::testprogram
