// A fresh program directory per test, removed afterwards, with the files named as for RpcTarvikTest;
// the thread's code page is 1252.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/codepage/codepage.h"
#include "testprogram/core/program_files.h"

namespace tarvik::testprogram {

class TempProgramDir : public ::testing::Test {
 protected:
  TempProgramDir()
      : dir_(std::filesystem::temp_directory_path() /
             ("tarvik_core_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        files_(dir_, "RpcTarvikTest") {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    codepage::set_thread_codepage(
        1252);  // expected bytes below are Windows-1252, whatever the environment says
  }
  ~TempProgramDir() override { std::filesystem::remove_all(dir_); }

  static std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void put(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }

  std::filesystem::path dir_;
  ProgramFiles files_;
};

}  // namespace tarvik::testprogram
