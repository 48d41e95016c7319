#include "testprogram/app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace tarvik::testprogram {

SingleInstanceLock::SingleInstanceLock(const std::filesystem::path& lock_file) {
  fd_ = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    acquired_ = true;
    return;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    acquired_ = true;
  } else {
    acquired_ = errno != EWOULDBLOCK;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace tarvik::testprogram
