// The owner-thread queue: order across threads, delivery only on the owner thread, the pollable
// descriptor, and posting or destroying at awkward moments.
#include "platform/com/owner_queue.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

namespace tarvik::com {
namespace {

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(OwnerQueue, DeliversEveryThreadsRecordsInPostingOrderOnTheOwnerThread) {
  constexpr int kThreads = 4, kPerThread = 2000;
  OwnerQueue queue(kThreads * kPerThread);
  const auto owner = std::this_thread::get_id();
  std::vector<int> next(kThreads, 0);
  int delivered = 0, out_of_order = 0, off_thread = 0;
  queue.set_handler([&](std::int32_t thread, Variant& payload) {
    if (std::this_thread::get_id() != owner) ++off_thread;
    if (payload.as_i4() != next[thread]++) ++out_of_order;
    ++delivered;
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([poster = queue.poster(), t] {
      for (int i = 0; i < kPerThread; ++i) ASSERT_TRUE(poster.post(t, Variant::i4(i)));
    });
  // Pump while they post, as an event loop would, bounded in rounds.
  for (int round = 0; round < 100000 && delivered < kThreads * kPerThread; ++round) queue.wait_and_pump(10);
  for (auto& t : posters) t.join();
  queue.pump();
  EXPECT_EQ(delivered, kThreads * kPerThread);
  EXPECT_EQ(out_of_order, 0);
  EXPECT_EQ(off_thread, 0);
}

TEST(OwnerQueue, TheDescriptorIsReadableExactlyWhileRecordsWait) {
  OwnerQueue queue;
  std::vector<std::int32_t> seen;
  queue.set_handler([&](std::int32_t command, Variant&) {
    seen.push_back(command);
    if (command == 1) queue.post(3);  // posted during delivery: waits for the next pump
  });
  ASSERT_GE(queue.fd(), 0);
  EXPECT_FALSE(readable(queue.fd()));
  std::thread([p = queue.poster()] {
    p.post(1);
    p.post(2);
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
  OwnerQueue queue;
  int calls = 0;
  queue.set_handler([&](std::int32_t, Variant&) { ++calls; });
  queue.post(10);
  int elsewhere = 0;
  std::thread([&] { elsewhere = queue.pump(); }).join();
  EXPECT_EQ(elsewhere, -1);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(queue.pump(), 1);
}

TEST(OwnerQueue, PostingAfterDestructionIsHarmless) {
  OwnerQueue::Poster poster;
  {
    OwnerQueue queue;
    poster = queue.poster();
    EXPECT_TRUE(poster.post(1, Variant::bstr(u"dropped with the queue")));
  }
  EXPECT_FALSE(poster.post(2, Variant::array({Variant::i4(1)})));
  EXPECT_FALSE(OwnerQueue::Poster().post(3));
}

TEST(OwnerQueue, DestroyingTheQueueInsideTheHandlerStopsDelivery) {
  auto queue = std::make_unique<OwnerQueue>();
  int calls = 0;
  queue->set_handler([&](std::int32_t, Variant&) {
    ++calls;
    queue.reset();  // the last object of a host goes away during an event
  });
  OwnerQueue::Poster poster = queue->poster();
  poster.post(1);
  poster.post(2);
  OwnerQueue* raw = queue.get();
  EXPECT_EQ(raw->pump(), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(poster.post(3));
}

TEST(OwnerQueue, ANestedPumpKeepsThePostingOrder) {
  OwnerQueue queue;
  std::vector<std::int32_t> seen;
  queue.set_handler([&](std::int32_t command, Variant&) {
    seen.push_back(command);
    if (command == 1) queue.pump();  // a modal loop inside an event handler
  });
  for (std::int32_t c : {1, 2, 3}) queue.post(c);
  queue.pump();
  EXPECT_EQ(seen, std::vector<std::int32_t>({1, 2, 3}));
}

TEST(OwnerQueue, RefusesRecordsBeyondItsBound) {
  OwnerQueue queue(2);
  EXPECT_TRUE(queue.post(1));
  EXPECT_TRUE(queue.post(2));
  EXPECT_FALSE(queue.post(3));
  EXPECT_EQ(queue.pending(), 2u);
  EXPECT_EQ(queue.pump(), 2);
  EXPECT_TRUE(queue.post(4));
}

}  // namespace
}  // namespace tarvik::com
