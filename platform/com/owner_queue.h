// OwnerQueue: hands records from any thread to the one thread that owns the queue (the thread that
// created it), in posting order. The stand-in for a hidden window that receives posted messages.
//
//   OwnerQueue queue;                                   // on the owner thread
//   queue.set_handler([](std::int32_t cmd, Variant& payload) { ... });
//   OwnerQueue::Poster poster = queue.poster();         // copy it to other threads
//   poster.post(12, Variant::array(...));               // any thread
//   // owner thread, in its event loop: wait until queue.fd() is readable, then
//   queue.pump();                                       // or queue.wait_and_pump(timeout) in a console host
//
// Threads: post() from any thread; everything else on the owner thread only (pump() refuses to run
// elsewhere). The handler runs on the owner thread, without any lock held, so it may post, pump no
// further records of its own batch, or even destroy the queue.
//
// Lifetime: records belong to the queue from post() until the handler has returned. Destroying the
// queue drops the records still pending and closes fd(); a Poster that outlives the queue is harmless:
// its post() returns false and drops the record. Destroying the queue from inside the handler stops
// the current pump() after that record.
//
// Bounds: at most `max_pending` records wait at a time (10000 by default, like a message queue);
// post() beyond that returns false and drops the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/com/variant.h"

namespace tarvik::com {

class OwnerQueue {
 public:
  using Handler = std::function<void(std::int32_t command, Variant& payload)>;
  static constexpr std::size_t kDefaultMaxPending = 10000;

  struct State;
  // A handle for posting from other threads; cheap to copy.
  class Poster {
   public:
    Poster() = default;
    // True when the record was queued; false (record dropped) when the queue is gone or full.
    bool post(std::int32_t command, Variant payload = {}) const;

   private:
    friend class OwnerQueue;
    explicit Poster(std::shared_ptr<State> s) : state_(std::move(s)) {}
    std::shared_ptr<State> state_;
  };

  explicit OwnerQueue(std::size_t max_pending = kDefaultMaxPending);
  ~OwnerQueue();
  OwnerQueue(const OwnerQueue&) = delete;
  OwnerQueue& operator=(const OwnerQueue&) = delete;

  // Readable (POLLIN) while records are pending; -1 if the system could not create one (then only
  // pump()/wait_and_pump() deliver). Owned by the queue: do not close or read it.
  int fd() const;
  void set_handler(Handler handler);
  Poster poster() const { return Poster(state_); }
  bool post(std::int32_t command, Variant payload = {}) const {
    return poster().post(command, std::move(payload));
  }

  // Delivers the records pending at the time of the call, in posting order; records posted meanwhile
  // wait for the next pump. Returns how many were delivered, or -1 off the owner thread.
  int pump();
  // Waits up to `timeout_ms` (negative: no limit) for a record, then pumps. Returns as pump().
  int wait_and_pump(int timeout_ms);

  bool is_owner_thread() const { return std::this_thread::get_id() == owner_; }
  std::size_t pending() const;

 private:
  std::shared_ptr<State> state_;
  std::thread::id owner_;
};

}  // namespace tarvik::com
