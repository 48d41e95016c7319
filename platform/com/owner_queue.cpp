#include "platform/com/owner_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <vector>

namespace tarvik::com::owner_queue_detail {

int make_signal() {
  return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void raise_signal(int fd) {
  const std::uint64_t one = 1;
  // A full counter is still readable, which is all a waiter needs.
  [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);
}

void clear_signal(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto n = ::read(fd, &count, sizeof count);
}

void close_signal(int fd) {
  if (fd >= 0) ::close(fd);
}

void Core::close() {
  {
    std::lock_guard lock(mutex);
    closed = true;
  }
  wake_all();
}

namespace {

// The queues a thread owns; when the thread ends, the ones still alive can never be pumped again,
// so their posts (waiting ones included) must stop at once instead of waiting for ever.
class OwnedQueues {
 public:
  ~OwnedQueues() {
    for (const std::weak_ptr<Core>& q : queues_)
      if (const std::shared_ptr<Core> core = q.lock()) core->close();
  }
  void add(std::weak_ptr<Core> core) {
    std::erase_if(queues_, [](const std::weak_ptr<Core>& q) { return q.expired(); });
    queues_.push_back(std::move(core));
  }

 private:
  std::vector<std::weak_ptr<Core>> queues_;
};

}  // namespace

void close_when_thread_ends(std::weak_ptr<Core> core) {
  thread_local OwnedQueues owned;
  owned.add(std::move(core));
}

}  // namespace tarvik::com::owner_queue_detail
