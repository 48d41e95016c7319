// Where the test program's files go: the override, its own directory when writable, else the
// per-user XDG directories (variables set, unset, relative; no HOME), and the directories made.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "temp_program_dir.h"
#include "testprogram/core/program_files.h"

namespace tarvik::testprogram {
namespace {

using Source = ProgramDirectories::Source;

struct FakeEnvironment {
  std::map<std::string, std::string> variables;
  bool program_dir_writable = false;
  std::filesystem::path password_home = "/home/from-passwd";

  ProgramDirectories choose() const {
    DirectoryEnvironment env{
        [this](const char* name) -> std::optional<std::string> {
          auto it = variables.find(name);
          if (it == variables.end()) return std::nullopt;
          return it->second;
        },
        [this](const std::filesystem::path& dir) { return dir == "/usr/bin" && program_dir_writable; },
        [this] { return password_home; },
    };
    return choose_program_directories("/usr/bin", "RpcTarvikTest", env);
  }
};

TEST(ProgramDirectoriesTest, ChoiceByOverrideWritabilityAndXdgVariables) {
  struct Case {
    const char* what;
    std::map<std::string, std::string> variables;
    bool writable;
    const char* settings;
    const char* log;
    Source source;
  };
  const Case cases[] = {
      {"writable program directory wins over XDG", {{"XDG_CONFIG_HOME", "/x/c"}, {"HOME", "/home/u"}}, true,
       "/usr/bin", "/usr/bin", Source::program_directory},
      {"override wins over a writable directory", {{"TARVIK_TESTPROGRAM_DIR", "/tmp/t"}}, true, "/tmp/t",
       "/tmp/t", Source::override_variable},
      {"empty override counts as unset", {{"TARVIK_TESTPROGRAM_DIR", ""}, {"HOME", "/home/u"}}, false,
       "/home/u/.config/RpcTarvikTest", "/home/u/.local/state/RpcTarvikTest", Source::user_directories},
      {"both XDG variables set", {{"XDG_CONFIG_HOME", "/x/c"}, {"XDG_STATE_HOME", "/x/s"}, {"HOME", "/home/u"}},
       false, "/x/c/RpcTarvikTest", "/x/s/RpcTarvikTest", Source::user_directories},
      {"only the state variable set", {{"XDG_STATE_HOME", "/x/s"}, {"HOME", "/home/u"}}, false,
       "/home/u/.config/RpcTarvikTest", "/x/s/RpcTarvikTest", Source::user_directories},
      {"relative XDG values are ignored", {{"XDG_CONFIG_HOME", "rel"}, {"XDG_STATE_HOME", ""}, {"HOME", "/home/u"}},
       false, "/home/u/.config/RpcTarvikTest", "/home/u/.local/state/RpcTarvikTest", Source::user_directories},
      {"no HOME: the password database's home", {}, false, "/home/from-passwd/.config/RpcTarvikTest",
       "/home/from-passwd/.local/state/RpcTarvikTest", Source::user_directories},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeEnvironment env{c.variables, c.writable};
    const ProgramDirectories dirs = env.choose();
    EXPECT_EQ(dirs.settings, c.settings);
    EXPECT_EQ(dirs.log, c.log);
    EXPECT_EQ(dirs.source, c.source);
  }

  // No home anywhere: stay beside the program rather than write relative to the working directory.
  FakeEnvironment homeless{{}, false, ""};
  EXPECT_EQ(homeless.choose().settings, "/usr/bin");
}

TEST(ProgramDirectoriesTest, TheRealWritabilityCheckSeesTheDirectory) {
  const auto env = process_directory_environment();
  EXPECT_TRUE(env.writable(std::filesystem::temp_directory_path()));
  EXPECT_FALSE(env.writable("/nonexistent/tarvik"));
}

using SplitProgramFilesTest = TempProgramDir;

TEST_F(SplitProgramFilesTest, FilesGoToTheirDirectoriesWhichAreCreated) {
  ProgramFiles files({dir_ / "config/RpcTarvikTest", dir_ / "state/deep/RpcTarvikTest", Source::user_directories},
                     "RpcTarvikTest");
  EXPECT_EQ(files.settings_file(), dir_ / "config/RpcTarvikTest/RpcTarvikTest.ini");
  EXPECT_EQ(files.history_file(), dir_ / "config/RpcTarvikTest/History.ini");
  EXPECT_EQ(files.log_file(), dir_ / "state/deep/RpcTarvikTest/RpcTarvikTest.LOG");
  EXPECT_EQ(files.backup_file(), dir_ / "state/deep/RpcTarvikTest/RpcTarvikTest.BAK");

  std::string error;
  ASSERT_TRUE(files.create_directories(&error)) << error;
  EXPECT_TRUE(std::filesystem::is_directory(files.directory()));
  EXPECT_TRUE(std::filesystem::is_directory(files.log_directory()));
  EXPECT_TRUE(files.create_directories());  // existing ones are fine

  const std::string shown = files.describe_locations();
  EXPECT_NE(shown.find(files.directory().string()), std::string::npos);
  EXPECT_NE(shown.find(files.log_directory().string()), std::string::npos);
}

TEST_F(SplitProgramFilesTest, ADirectoryThatCannotBeMadeIsNamed) {
  std::ofstream(dir_ / "plain_file") << "x";
  ProgramFiles files({dir_ / "ok", dir_ / "plain_file/state", Source::user_directories}, "RpcTarvikTest");
  std::string error;
  EXPECT_FALSE(files.create_directories(&error));
  EXPECT_NE(error.find("plain_file/state"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarvik::testprogram
