// OwnerQueue<Record>: hands records from any thread to the one thread that owns the queue (the thread
// that created it), in posting order. The stand-in for a hidden window that receives posted messages.
//
//   OwnerQueue<Job> queue;                              // on the owner thread
//   queue.set_handler([](Job& job) { ... });
//   OwnerQueue<Job>::Poster poster = queue.poster();    // copy it to other threads
//   poster.post(Job{...});                              // any thread
//   // owner thread, in its event loop: wait until queue.fd() is readable, then
//   queue.pump();                                       // or queue.wait_and_pump(timeout) in a console host
//
// Threads: post() from any thread; everything else on the owner thread only (pump() refuses to run
// elsewhere), except set_waiting(), which any thread may call. The handler runs on the owner thread,
// without any lock held, so it may post, pump the rest of its batch (a nested loop), or even destroy
// the queue.
//
// Bounds and waiting: at most `max_pending` records wait at a time. A post that finds the queue full
// waits until the owner thread has taken a record out, so nothing is ever dropped for want of room.
// It does not wait (it returns PostOutcome::full and the record is dropped) when it runs on the owner
// thread itself, which would wait for itself, or while waiting is switched off with
// set_waiting(false): whoever is about to wait for the posting threads switches it off first, so that
// they cannot wait for it in turn; that also releases the posts waiting at that moment.
//
// Lifetime: records belong to the queue from post() until the handler has returned. Destroying the
// queue drops the records still pending and closes fd(); a Poster that outlives the queue is harmless:
// its post() returns PostOutcome::closed. When the owner thread ends while the queue still exists,
// nothing can be delivered any more: posts (waiting ones included) return PostOutcome::closed from
// then on. Destroying the queue from inside the handler stops the current pump() after that record.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvik::com {

enum class PostOutcome {
  queued,         // queued at once
  queued_later,   // queued after waiting for room
  full,           // dropped: no room, and this post may not wait
  closed,         // dropped: the queue is gone or its owner thread has ended
};
constexpr bool was_queued(PostOutcome o) {
  return o == PostOutcome::queued || o == PostOutcome::queued_later;
}

namespace owner_queue_detail {

// The descriptor: an eventfd that is readable while records wait (-1 if the system gave none).
int make_signal();
void raise_signal(int fd);
void clear_signal(int fd);
void close_signal(int fd);

// Everything of a queue that does not depend on the record type.
struct Core {
  std::mutex mutex;
  std::condition_variable posted;  // wait_and_pump() waits on it
  std::condition_variable room;    // posts wait on it for a free place
  bool closed = false;             // guarded by mutex: destroyed, or the owner thread has ended
  bool may_wait = true;            // guarded by mutex
  std::size_t waiting = 0;         // guarded by mutex: posts waiting for room
  int fd = -1;                     // guarded by mutex once posters exist
  std::size_t max_pending = 0;
  std::thread::id owner;

  // Marks the queue closed and wakes every waiter.
  void close();
  void wake_all() {
    room.notify_all();
    posted.notify_all();
  }
};

// Closes `core` when the calling thread (its owner) ends, unless it has gone before.
void close_when_thread_ends(std::weak_ptr<Core> core);

}  // namespace owner_queue_detail

template <class Record>
class OwnerQueue {
 public:
  using Handler = std::function<void(Record& record)>;
  static constexpr std::size_t kDefaultMaxPending = 10000;

  struct State : owner_queue_detail::Core {
    std::deque<Record> pending;  // guarded by mutex
    Handler handler;             // owner thread only
    bool delivering = false;     // owner thread only
  };

  // A handle for posting from other threads; cheap to copy.
  class Poster {
   public:
    Poster() = default;
    // Queues `record`, waiting for room when the queue is full (see the rules above).
    PostOutcome post(Record record) const {
      if (!state_) return PostOutcome::closed;
      State& s = *state_;
      bool waited = false;
      {
        std::unique_lock lock(s.mutex);
        if (!s.closed && s.pending.size() >= s.max_pending && s.may_wait &&
            std::this_thread::get_id() != s.owner) {
          waited = true;
          ++s.waiting;
          s.room.wait(lock, [&] { return s.closed || !s.may_wait || s.pending.size() < s.max_pending; });
          --s.waiting;
        }
        if (s.closed) return PostOutcome::closed;
        if (s.pending.size() >= s.max_pending) return PostOutcome::full;
        const bool was_empty = s.pending.empty();
        s.pending.push_back(std::move(record));
        if (was_empty && s.fd >= 0) owner_queue_detail::raise_signal(s.fd);
      }
      s.posted.notify_one();
      return waited ? PostOutcome::queued_later : PostOutcome::queued;
    }

   private:
    friend class OwnerQueue;
    explicit Poster(std::shared_ptr<State> s) : state_(std::move(s)) {}
    std::shared_ptr<State> state_;
  };

  explicit OwnerQueue(std::size_t max_pending = kDefaultMaxPending) : state_(std::make_shared<State>()) {
    state_->max_pending = max_pending == 0 ? 1 : max_pending;
    state_->owner = std::this_thread::get_id();
    state_->fd = owner_queue_detail::make_signal();
    owner_queue_detail::close_when_thread_ends(state_);
  }
  ~OwnerQueue() {
    std::deque<Record> dropped;
    {
      std::lock_guard lock(state_->mutex);
      dropped.swap(state_->pending);
      owner_queue_detail::close_signal(state_->fd);
      state_->fd = -1;
      state_->closed = true;
    }
    state_->wake_all();
    // A handler that is running (the queue is being destroyed from inside it) is released by pump().
    if (!state_->delivering) state_->handler = nullptr;
  }
  OwnerQueue(const OwnerQueue&) = delete;
  OwnerQueue& operator=(const OwnerQueue&) = delete;

  // Readable (POLLIN) while records are pending; -1 if the system could not create one (then only
  // pump()/wait_and_pump() deliver). Owned by the queue: do not close or read it.
  int fd() const {
    std::lock_guard lock(state_->mutex);
    return state_->fd;
  }
  void set_handler(Handler handler) { state_->handler = std::move(handler); }
  Poster poster() const { return Poster(state_); }
  PostOutcome post(Record record) const { return poster().post(std::move(record)); }

  // Changes the bound; records beyond a lowered bound stay queued (posts wait until it is kept again).
  void set_max_pending(std::size_t max_pending) {
    {
      std::lock_guard lock(state_->mutex);
      state_->max_pending = max_pending == 0 ? 1 : max_pending;
    }
    state_->room.notify_all();
  }
  std::size_t max_pending() const {
    std::lock_guard lock(state_->mutex);
    return state_->max_pending;
  }

  // Switches waiting for room on or off (on initially). Switching it off releases the posts that wait.
  void set_waiting(bool on) {
    {
      std::lock_guard lock(state_->mutex);
      state_->may_wait = on;
    }
    if (!on) state_->room.notify_all();
  }

  // Delivers the records pending at the time of the call, in posting order; records posted meanwhile
  // wait for the next pump. Returns how many were delivered, or -1 off the owner thread.
  int pump() {
    if (!is_owner_thread()) return -1;
    // Everything below uses only this local reference: the handler may destroy *this.
    const std::shared_ptr<State> state = state_;
    std::size_t batch = 0;
    {
      std::lock_guard lock(state->mutex);
      batch = state->pending.size();
      if (state->fd >= 0) owner_queue_detail::clear_signal(state->fd);
    }
    // Records are taken one at a time, so a handler that pumps again (a nested loop) continues with
    // the next record and the posting order holds.
    int delivered = 0;
    const bool nested = state->delivering;
    state->delivering = true;
    for (std::size_t i = 0; i < batch; ++i) {
      Record record;
      bool wake_poster = false;
      {
        std::lock_guard lock(state->mutex);
        if (state->closed || state->pending.empty()) break;
        record = std::move(state->pending.front());
        state->pending.pop_front();
        wake_poster = state->waiting > 0;
      }
      if (wake_poster) state->room.notify_one();  // one place freed: one waiting post may go on
      if (state->handler) state->handler(record);
      ++delivered;
    }
    state->delivering = nested;
    bool closed = false;
    {
      std::lock_guard lock(state->mutex);
      closed = state->closed;
      // Records posted during the batch found the queue non-empty and did not signal: signal for them.
      if (!closed && !state->pending.empty() && state->fd >= 0) owner_queue_detail::raise_signal(state->fd);
    }
    if (closed && !nested) state->handler = nullptr;  // outside the lock: its captures may post
    return delivered;
  }

  // Waits up to `timeout_ms` (negative: no limit) for a record, then pumps. Returns as pump().
  int wait_and_pump(int timeout_ms) {
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

  bool is_owner_thread() const { return std::this_thread::get_id() == state_->owner; }
  std::size_t pending() const {
    std::lock_guard lock(state_->mutex);
    return state_->pending.size();
  }
  // Posts waiting for room now (for diagnostics and tests).
  std::size_t waiting() const {
    std::lock_guard lock(state_->mutex);
    return state_->waiting;
  }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tarvik::com
