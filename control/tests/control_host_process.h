// control_host as the interop tests drive it: started with its arguments, fed stdin lines, read back
// as JSON lines. The destructor closes its input and ends it (SIGKILL after a bounded wait).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tarvik::control::test {

class ControlHostProcess {
 public:
  explicit ControlHostProcess(std::vector<std::string> args);
  ~ControlHostProcess();
  ControlHostProcess(const ControlHostProcess&) = delete;
  ControlHostProcess& operator=(const ControlHostProcess&) = delete;

  void write_line(const std::string& line);
  // The next stdout line as JSON; null after `timeout` or at the end of output.
  nlohmann::json read_json(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  std::string buffer_;
};

}  // namespace tarvik::control::test
