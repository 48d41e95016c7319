#include "tools/scenario_player.h"

#include <algorithm>

#include "protocol/telegram_call.h"
#include "protocol/telegram_json.h"
#include "tools/output.h"

namespace tarvik::cli {
namespace {

nlohmann::ordered_json event_line(const char* event, const protocol::TelegramInfo& t) {
  nlohmann::ordered_json line;
  line["event"] = event;
  line["telegram"] = t.name;
  return line;
}

nlohmann::ordered_json telegram_line(const char* event, const protocol::TelegramInfo& t,
                                     std::span<const protocol::WireValue> values) {
  nlohmann::ordered_json line = event_line(event, t);
  const nlohmann::ordered_json fields = protocol::telegram_to_json(t, values);
  for (const auto& [key, value] : fields.items())
    if (key != "telegram") line[key] = value;
  return line;
}

}  // namespace

ScenarioPlayer::ScenarioPlayer(Scenario scenario) : scenario_(std::move(scenario)) {
  for (std::size_t i = 0; i < scenario_.answers.size(); ++i) matches_.push_back(std::make_unique<std::atomic<unsigned>>(0));
}

ScenarioPlayer::~ScenarioPlayer() { stop(); }

void ScenarioPlayer::start() {
  const auto now = Clock::now();
  for (const ScenarioTimer& t : scenario_.timers) schedule(now + t.first, Job{&t.send, build_send(scenario_, t.send, nullptr, {}), &t});
  thread_ = std::thread([this] { run(); });
}

void ScenarioPlayer::stop() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::int32_t ScenarioPlayer::answer(const protocol::TelegramInfo& t, std::span<const protocol::WireValue> values) {
  print_line(telegram_line("received", t, values));
  const ScenarioAnswer* chosen = nullptr;
  for (std::size_t i = 0; i < scenario_.answers.size() && chosen == nullptr; ++i) {
    const ScenarioAnswer& a = scenario_.answers[i];
    if (!answer_matches(a, t, values)) continue;
    // Counted per rule: with every=3 the 3rd, 6th ... matching call takes it, the others go on.
    const unsigned n = matches_[i]->fetch_add(1) + 1;
    if (n % a.every == 0) chosen = &a;
  }
  const std::int32_t status = chosen != nullptr ? chosen->status : scenario_.default_status;
  if (chosen != nullptr && chosen->delay.count() > 0) std::this_thread::sleep_for(chosen->delay);
  nlohmann::ordered_json line = event_line("answered", t);
  if (t.has_result) {
    line["status"] = status;
  } else {
    line["status"] = nullptr;
  }
  print_line(line);
  if (chosen != nullptr) {
    auto at = Clock::now();
    for (const ScenarioSend& s : chosen->then) {
      at += s.after;
      schedule(at, Job{&s, build_send(scenario_, s, &t, values), nullptr});
    }
  }
  return status;
}

void ScenarioPlayer::schedule(Clock::time_point at, Job job) {
  {
    std::lock_guard lock(mu_);
    if (stopping_) return;
    queue_.emplace(at, std::move(job));
  }
  wake_.notify_all();
}

void ScenarioPlayer::run() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    if (queue_.empty()) {
      wake_.wait(lock);
      continue;
    }
    const auto due = queue_.begin()->first;
    if (Clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    Job job = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());
    lock.unlock();
    send(job);
    lock.lock();
    // A host slower than the timer delays the next round rather than letting rounds pile up.
    if (job.timer != nullptr && !stopping_)
      queue_.emplace(std::max(due + job.timer->every, Clock::now()), std::move(job));
  }
  binding_.reset();
}

void ScenarioPlayer::send(const Job& job) {
  const protocol::TelegramInfo& t = *job.send->telegram;
  print_line(telegram_line("sent", t, job.values));
  rpc::Status s = rpc::RPC_S_OK;
  if (!binding_) {
    const std::string address =
        "ncacn_ip_tcp:" + scenario_.host_ip + "[" + std::to_string(scenario_.host_port) + "]";
    s = rpc::binding_from_string_binding(address, binding_);
    if (s == rpc::RPC_S_OK) s = binding_->set_com_timeout(static_cast<unsigned>(scenario_.timeout));
  }
  std::int32_t result = 0;
  if (s == rpc::RPC_S_OK) s = protocol::call_telegram(*binding_, t, job.values, result);
  nlohmann::ordered_json line = event_line("result", t);
  if (s != rpc::RPC_S_OK) {
    line["status"] = s;
    binding_.reset();  // like a machine: a new connection next time
  } else if (t.has_result) {
    line["status"] = result;
  } else {
    line["status"] = nullptr;
  }
  print_line(line);
}

}  // namespace tarvik::cli
