// Child processes for interop tests: the independent peer and the `tarvik` binary.
// Every child a test starts is ended by its destructor (SIGTERM, then SIGKILL), and every wait is
// bounded, so a hung peer fails the test instead of hanging the suite.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::test {

using namespace std::chrono_literals;

class ChildProcess {
 public:
  // Starts argv[0] (a path) with stdout on a pipe and stderr into a temporary file; stdin is
  // /dev/null, or a pipe for write_line() when `piped_stdin` (the destructor then closes it first and
  // gives the child a moment to end on its own).
  explicit ChildProcess(std::vector<std::string> argv, bool piped_stdin = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void write_line(const std::string& line);
  // The next line of stdout without its newline; nullopt at end of output or after `timeout`.
  std::optional<std::string> read_line(std::chrono::milliseconds timeout = 20s);
  // Sends a signal; waits for the exit. Exit code, 128+signal when killed, -1 if still running.
  void signal(int sig);
  int wait(std::chrono::milliseconds timeout = 20s);
  std::string stderr_text() const;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  std::string err_path_;
  std::string buffer_;
  std::optional<int> exit_code_;
};

struct RunResult {
  int exit_code = -1;  // -1: did not end within the time limit (it was killed)
  std::string out;
  std::string err;
};
// Runs a command to its end (bounded), collecting stdout and stderr.
RunResult run(std::vector<std::string> argv, std::chrono::milliseconds timeout = 60s);

// Lines of `text`, without empty ones.
std::vector<std::string> lines(const std::string& text);

}  // namespace tarvik::test
