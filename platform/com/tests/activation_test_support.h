// Shared by the activation tests: a private registry file per test process.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tarvik::com::testing {

// Points TARVIK_REGISTRY at a fresh file for the lifetime of the test and removes it afterwards.
class PrivateRegistry {
 public:
  PrivateRegistry() {
    dir_ = std::filesystem::temp_directory_path() / ("tarvik-com-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "registry").string();
    ::setenv("TARVIK_REGISTRY", path_.c_str(), 1);
  }
  ~PrivateRegistry() {
    ::unsetenv("TARVIK_REGISTRY");
    std::filesystem::remove_all(dir_);
  }
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

}  // namespace tarvik::com::testing
