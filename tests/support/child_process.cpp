#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tarvik::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string temp_path() {
  char name[] = "/tmp/tarvik-test-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  return name;
}

pid_t spawn(const std::vector<std::string>& argv, int in_fd, int out_fd, int err_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  if (in_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

int decode_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Waits for `pid` up to `timeout`; the exit code, or nullopt if it is still running.
std::optional<int> wait_for(pid_t pid, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return decode_status(status);
    if (r < 0) return -1;
    if (Clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, bool piped_stdin) {
  int fds[2], in[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC) != 0 || (piped_stdin && pipe2(in, O_CLOEXEC) != 0))
    throw std::runtime_error("pipe failed");
  err_path_ = temp_path();
  const int err_fd = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  pid_ = spawn(argv, in[0], fds[1], err_fd);
  close(fds[1]);
  close(err_fd);
  if (piped_stdin) close(in[0]);
  out_fd_ = fds[0];
  in_fd_ = in[1];
}

ChildProcess::~ChildProcess() {
  if (in_fd_ >= 0) {
    close(in_fd_);  // end of input: a child that reads commands ends by itself
    if (!exit_code_) exit_code_ = wait_for(pid_, 5s);
  }
  if (!exit_code_) {
    ::kill(pid_, SIGTERM);
    exit_code_ = wait_for(pid_, 5s);
    if (!exit_code_) {
      ::kill(pid_, SIGKILL);
      exit_code_ = wait_for(pid_, 5s);
    }
  }
  close(out_fd_);
  std::remove(err_path_.c_str());
}

std::optional<std::string> ChildProcess::read_line(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(out_fd_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

void ChildProcess::write_line(const std::string& line) {
  const std::string data = line + "\n";
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(in_fd_, data.data() + done, data.size() - done);
    if (n <= 0) throw std::runtime_error("the child does not read its input");
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::signal(int sig) { ::kill(pid_, sig); }

int ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (!exit_code_) exit_code_ = wait_for(pid_, timeout);
  return exit_code_.value_or(-1);
}

std::string ChildProcess::stderr_text() const {
  std::ifstream in(err_path_);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

RunResult run(std::vector<std::string> argv, std::chrono::milliseconds timeout) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = spawn(argv, -1, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  RunResult result;
  const auto end = Clock::now() + timeout;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_fds = 2;
  while (open_fds > 0 && Clock::now() < end) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
        continue;
      }
      (i == 0 ? result.out : result.err).append(chunk, static_cast<std::size_t>(n));
    }
  }
  for (pollfd& p : fds)
    if (p.fd >= 0) close(p.fd);
  auto code = wait_for(pid, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()) + 100ms);
  if (!code) {
    ::kill(pid, SIGKILL);
    wait_for(pid, 5s);
  }
  result.exit_code = code.value_or(-1);
  return result;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

}  // namespace tarvik::test
