// The program runs once per program directory: the first instance holds an exclusive lock on a file
// beside its settings (RpcTarvikTest.lock); a second instance that cannot take it ends at once.
// The lock goes with the process, however it ends, so a crash leaves nothing to clean up.
#pragma once

#include <filesystem>

namespace tarvik::testprogram {

class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(const std::filesystem::path& lock_file);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // False when another process holds the lock. A lock file that cannot be created at all (a
  // read-only directory) does not stop the program: it then runs without the check.
  bool acquired() const { return acquired_; }

 private:
  int fd_ = -1;
  bool acquired_ = false;
};

}  // namespace tarvik::testprogram
