// The owner-thread queue: order across threads, delivery only on the owner thread, the pollable
// descriptor, posting or destroying at awkward moments, and waiting for room instead of dropping.
#include "platform/com/owner_queue.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace tarvik::com {
namespace {

struct Job {
  std::int32_t command = 0;
  int value = 0;
};
using Queue = OwnerQueue<Job>;

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

// Waits (bounded) until `n` posts wait for room: the point a test needs before it acts on them.
bool wait_for_waiting(const Queue& queue, std::size_t n) {
  for (int i = 0; i < 5000; ++i) {
    if (queue.waiting() == n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

TEST(OwnerQueue, TheDescriptorIsReadableExactlyWhileRecordsWait) {
  Queue queue;
  std::vector<std::int32_t> seen;
  queue.set_handler([&](Job& job) {
    seen.push_back(job.command);
    if (job.command == 1) queue.post({3});  // posted during delivery: waits for the next pump
  });
  ASSERT_GE(queue.fd(), 0);
  EXPECT_FALSE(readable(queue.fd()));
  std::thread([p = queue.poster()] {
    p.post({1});
    p.post({2});
  }).join();
  EXPECT_TRUE(readable(queue.fd()));
  EXPECT_EQ(queue.pump(), 2);
  EXPECT_EQ(seen, std::vector<std::int32_t>({1, 2}));
  EXPECT_TRUE(readable(queue.fd())) << "the record posted by the handler still signals";
  EXPECT_EQ(queue.pump(), 1);
  EXPECT_FALSE(readable(queue.fd()));
  EXPECT_EQ(queue.pump(), 0);
}

TEST(OwnerQueue, OnlyTheOwnerThreadPumps) {
  Queue queue;
  int calls = 0;
  queue.set_handler([&](Job&) { ++calls; });
  queue.post({10});
  int elsewhere = 0;
  std::thread([&] { elsewhere = queue.pump(); }).join();
  EXPECT_EQ(elsewhere, -1);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(queue.pump(), 1);
}

TEST(OwnerQueue, PostingAfterDestructionIsHarmless) {
  Queue::Poster poster;
  {
    Queue queue;
    poster = queue.poster();
    EXPECT_EQ(poster.post({1}), PostOutcome::queued);  // dropped with the queue
  }
  EXPECT_EQ(poster.post({2}), PostOutcome::closed);
  EXPECT_EQ(Queue::Poster().post({3}), PostOutcome::closed);
}

TEST(OwnerQueue, DestroyingTheQueueInsideTheHandlerStopsDelivery) {
  auto queue = std::make_unique<Queue>();
  int calls = 0;
  queue->set_handler([&](Job&) {
    ++calls;
    queue.reset();  // the last object of a host goes away during an event
  });
  Queue::Poster poster = queue->poster();
  poster.post({1});
  poster.post({2});
  Queue* raw = queue.get();
  EXPECT_EQ(raw->pump(), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(poster.post({3}), PostOutcome::closed);
}

TEST(OwnerQueue, ANestedPumpKeepsThePostingOrder) {
  Queue queue;
  std::vector<std::int32_t> seen;
  queue.set_handler([&](Job& job) {
    seen.push_back(job.command);
    if (job.command == 1) queue.pump();  // a modal loop inside an event handler
  });
  for (std::int32_t c : {1, 2, 3}) queue.post({c});
  queue.pump();
  EXPECT_EQ(seen, std::vector<std::int32_t>({1, 2, 3}));
}

TEST(OwnerQueue, AFullQueueMakesPostersWaitAndDeliversAllInOrderOnTheOwnerThread) {
  // A bound of 3 against 4 threads posting 300 records each: most posts find the queue full while
  // the owner thread is busy elsewhere, and every one of them must still arrive, in each thread's
  // order, on the owner thread.
  constexpr int kThreads = 4, kPerThread = 300;
  Queue queue(3);
  const auto owner = std::this_thread::get_id();
  std::vector<int> next(kThreads, 0);
  int delivered = 0, out_of_order = 0, off_thread = 0;
  queue.set_handler([&](Job& job) {
    if (std::this_thread::get_id() != owner) ++off_thread;
    if (job.value != next[job.command]++) ++out_of_order;
    ++delivered;
  });
  std::atomic<int> not_queued{0}, waited{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([poster = queue.poster(), t, &not_queued, &waited] {
      for (int i = 0; i < kPerThread; ++i) {
        const PostOutcome o = poster.post({t, i});
        if (!was_queued(o)) ++not_queued;
        if (o == PostOutcome::queued_later) ++waited;
      }
    });
  ASSERT_TRUE(wait_for_waiting(queue, kThreads)) << "every poster ends up waiting while nobody pumps";
  EXPECT_EQ(queue.pending(), 3u);
  for (int round = 0; round < 100000 && delivered < kThreads * kPerThread; ++round) queue.wait_and_pump(10);
  for (auto& t : posters) t.join();
  EXPECT_EQ(delivered, kThreads * kPerThread);
  EXPECT_EQ(out_of_order, 0);
  EXPECT_EQ(off_thread, 0);
  EXPECT_EQ(not_queued, 0);
  EXPECT_GE(waited, kThreads);
}

TEST(OwnerQueue, TheOwnerThreadNeverWaitsForItself) {
  Queue queue(2);
  EXPECT_EQ(queue.post({1}), PostOutcome::queued);
  EXPECT_EQ(queue.post({2}), PostOutcome::queued);
  EXPECT_EQ(queue.post({3}), PostOutcome::full);  // would wait for its own pump for ever
  EXPECT_EQ(queue.pending(), 2u);
  EXPECT_EQ(queue.pump(), 2);
  EXPECT_EQ(queue.post({4}), PostOutcome::queued);
}

TEST(OwnerQueue, SwitchingWaitingOffReleasesWaitersAndRefusesWhileFull) {
  // The host going down: whoever waits for the posting threads switches waiting off first.
  Queue queue(1);
  ASSERT_EQ(queue.post({1}), PostOutcome::queued);
  std::vector<PostOutcome> outcomes(2, PostOutcome::queued);
  std::vector<std::thread> posters;
  for (int t = 0; t < 2; ++t)
    posters.emplace_back([poster = queue.poster(), t, &outcomes] { outcomes[t] = poster.post({2 + t}); });
  ASSERT_TRUE(wait_for_waiting(queue, 2));
  queue.set_waiting(false);
  for (auto& t : posters) t.join();
  EXPECT_EQ(outcomes, std::vector<PostOutcome>(2, PostOutcome::full));
  PostOutcome later = PostOutcome::queued;
  std::thread([&, poster = queue.poster()] { later = poster.post({9}); }).join();
  EXPECT_EQ(later, PostOutcome::full) << "no new waits while switched off";

  queue.set_waiting(true);
  std::thread poster([&, p = queue.poster()] { later = p.post({10}); });
  ASSERT_TRUE(wait_for_waiting(queue, 1));
  std::vector<std::int32_t> seen;
  queue.set_handler([&](Job& job) { seen.push_back(job.command); });
  EXPECT_EQ(queue.pump(), 1);
  poster.join();
  EXPECT_EQ(later, PostOutcome::queued_later);
  queue.pump();
  EXPECT_EQ(seen, std::vector<std::int32_t>({1, 10}));
}

TEST(OwnerQueue, WaitingPostsEndWhenTheQueueOrItsOwnerThreadGoes) {
  {  // destroyed while a post waits
    auto queue = std::make_unique<Queue>(1);
    queue->post({1});
    PostOutcome outcome = PostOutcome::queued;
    std::thread poster([&, p = queue->poster()] { outcome = p.post({2}); });
    ASSERT_TRUE(wait_for_waiting(*queue, 1));
    queue.reset();
    poster.join();
    EXPECT_EQ(outcome, PostOutcome::closed);
  }
  {  // the owner thread ends without destroying its queue: nobody can pump it any more
    std::unique_ptr<Queue> queue;
    std::promise<void> created, may_end;
    std::thread owner([&] {
      queue = std::make_unique<Queue>(1);
      queue->post({1});
      created.set_value();
      may_end.get_future().wait();
    });
    created.get_future().wait();
    PostOutcome outcome = PostOutcome::queued;
    std::thread poster([&, p = queue->poster()] { outcome = p.post({2}); });
    ASSERT_TRUE(wait_for_waiting(*queue, 1));
    may_end.set_value();
    owner.join();
    poster.join();
    EXPECT_EQ(outcome, PostOutcome::closed);
    EXPECT_EQ(queue->post({3}), PostOutcome::closed);
  }
}

}  // namespace
}  // namespace tarvik::com
