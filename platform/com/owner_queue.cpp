#include "platform/com/owner_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

namespace tarvik::com {

struct OwnerQueue::State {
  struct Record {
    std::int32_t command = 0;
    Variant payload;
  };
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<Record> pending;  // guarded by mutex
  bool closed = false;         // guarded by mutex
  int fd = -1;                 // guarded by mutex once posters exist
  std::size_t max_pending = 0;
  Handler handler;          // owner thread only
  bool delivering = false;  // owner thread only
};

namespace {
void signal_fd(int fd) {
  const std::uint64_t one = 1;
  // A full counter is still readable, which is all a waiter needs.
  [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);
}
void drain_fd(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto n = ::read(fd, &count, sizeof count);
}
}  // namespace

bool OwnerQueue::Poster::post(std::int32_t command, Variant payload) const {
  if (!state_) return false;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->closed || state_->pending.size() >= state_->max_pending) return false;
    const bool was_empty = state_->pending.empty();
    state_->pending.push_back({command, std::move(payload)});
    if (was_empty && state_->fd >= 0) signal_fd(state_->fd);
  }
  state_->posted.notify_one();
  return true;
}

OwnerQueue::OwnerQueue(std::size_t max_pending)
    : state_(std::make_shared<State>()), owner_(std::this_thread::get_id()) {
  state_->max_pending = max_pending;
  state_->fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

OwnerQueue::~OwnerQueue() {
  std::deque<State::Record> dropped;
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
    dropped.swap(state_->pending);
    if (state_->fd >= 0) ::close(state_->fd);
    state_->fd = -1;
  }
  // A handler that is running (the queue is being destroyed from inside it) is released by pump().
  if (!state_->delivering) state_->handler = nullptr;
}

int OwnerQueue::fd() const {
  std::lock_guard lock(state_->mutex);
  return state_->fd;
}

void OwnerQueue::set_handler(Handler handler) {
  state_->handler = std::move(handler);
}

std::size_t OwnerQueue::pending() const {
  std::lock_guard lock(state_->mutex);
  return state_->pending.size();
}

int OwnerQueue::pump() {
  if (!is_owner_thread()) return -1;
  // Everything below uses only this local reference: the handler may destroy *this.
  const std::shared_ptr<State> state = state_;
  std::size_t batch = 0;
  {
    std::lock_guard lock(state->mutex);
    batch = state->pending.size();
    if (state->fd >= 0) drain_fd(state->fd);
  }
  // Records are taken one at a time, so a handler that pumps again (a nested loop) continues with the
  // next record and the posting order holds.
  int delivered = 0;
  const bool nested = state->delivering;
  state->delivering = true;
  for (std::size_t i = 0; i < batch; ++i) {
    State::Record record;
    {
      std::lock_guard lock(state->mutex);
      if (state->closed || state->pending.empty()) break;
      record = std::move(state->pending.front());
      state->pending.pop_front();
    }
    if (state->handler) state->handler(record.command, record.payload);
    ++delivered;
  }
  state->delivering = nested;
  bool closed = false;
  {
    std::lock_guard lock(state->mutex);
    closed = state->closed;
    // Records posted during the batch found the queue non-empty and did not signal: signal for them.
    if (!closed && !state->pending.empty() && state->fd >= 0) signal_fd(state->fd);
  }
  if (closed && !nested) state->handler = nullptr;  // outside the lock: its captures may post
  return delivered;
}

int OwnerQueue::wait_and_pump(int timeout_ms) {
  if (!is_owner_thread()) return -1;
  {
    std::unique_lock lock(state_->mutex);
    auto ready = [&] { return !state_->pending.empty() || state_->closed; };
    if (timeout_ms < 0)
      state_->posted.wait(lock, ready);
    else
      state_->posted.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
  }
  return pump();
}

}  // namespace tarvik::com
