// Plays a scenario as a machine: answers `_M` telegrams on the runtime's threads and sends the
// `_H` telegrams the scenario asks for from one thread of its own, one after the other, over one
// connection to the host (made anew after a failed call, as a machine does).
//
// Lines on stdout, one per event:
//   {"event":"received","telegram":...,"opnum":...,fields...}       a call arrived
//   {"event":"answered","telegram":...,"status":N}                  its answer goes out now
//   {"event":"sent","telegram":...,"opnum":...,fields...}           a telegram to the host leaves
//   {"event":"result","telegram":...,"status":N}                    what the host answered (or the
//                                                                   runtime's status when it failed)
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/rpc/client.h"
#include "tools/scenario.h"

namespace tarvik::cli {

class ScenarioPlayer {
 public:
  explicit ScenarioPlayer(Scenario scenario);
  ~ScenarioPlayer();
  ScenarioPlayer(const ScenarioPlayer&) = delete;
  ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

  // Starts the timers and the sending thread.
  void start();
  // Stops sending; telegrams not yet sent are dropped. Returns when the thread has ended.
  void stop();

  // The routine of every `_M` telegram: prints, waits the answer's delay, schedules its sends and
  // returns the status. Thread-safe.
  std::int32_t answer(const protocol::TelegramInfo& t, std::span<const protocol::WireValue> values);

  const Scenario& scenario() const { return scenario_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Job {
    const ScenarioSend* send = nullptr;
    std::vector<protocol::WireValue> values;
    const ScenarioTimer* timer = nullptr;  // set: schedule the next round after this one
  };

  void schedule(Clock::time_point at, Job job);
  void run();
  void send(const Job& job);

  const Scenario scenario_;
  std::vector<std::unique_ptr<std::atomic<unsigned>>> matches_;  // per answer, for "every"
  std::mutex mu_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, Job> queue_;
  bool stopping_ = false;
  std::thread thread_;
  std::unique_ptr<rpc::Binding> binding_;  // used by thread_ only
};

}  // namespace tarvik::cli
