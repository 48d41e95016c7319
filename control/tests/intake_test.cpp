// Intake under pressure: a full host queue makes machines wait instead of losing telegrams that were
// answered with 0, a host that goes down (or whose owner thread ends) releases the waiting machines
// with a failure instead of hanging or answering 0, and telegrams that reach no object are counted.
#include <algorithm>
#include <functional>
#include <future>

#include "control/tests/host_fixture.h"
#include "platform/rpc/status.h"

namespace tarvik::control::test {
namespace {

class IntakeTest : public HostTest {
 protected:
  // A new connection to the host server for each machine thread.
  std::function<std::unique_ptr<rpc::Binding>()> connect_ = [this] { return new_binding(); };
};

// Bounded wait for a condition another thread brings about (not a timing assertion).
template <class Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 5000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// `machines` machines on threads and connections (from `connect`) of their own, each sending `each`
// R_MESSAGE_H to machine "M" with OrderNum = machine * 1000 + i, keeping every call's status and result.
class MachineThreads {
 public:
  MachineThreads(const std::function<std::unique_ptr<rpc::Binding>()>& connect, std::size_t machines, int each = 1)
      : status_(machines), result_(machines) {
    for (std::size_t m = 0; m < machines; ++m)
      threads_.emplace_back([this, m, each, b = connect()] {
        for (int i = 0; i < each; ++i) {
          std::int32_t r = 99;
          status_[m].push_back(notify_status(
              *b, "R_MESSAGE_H",
              {{"pszHost", wtext("H")}, {"pszMachine", wtext("M")}, {"OrderNum", static_cast<int>(m) * 1000 + i}},
              r));
          result_[m].push_back(r);
        }
      });
  }
  ~MachineThreads() { join(); }
  void join() {
    for (auto& t : threads_)
      if (t.joinable()) t.join();
  }
  // Every call's status, or every result of the calls that succeeded, of all machines.
  std::vector<rpc::Status> statuses() const { return flatten(status_); }
  std::vector<std::int32_t> results() const { return flatten(result_); }

 private:
  template <class T>
  static std::vector<T> flatten(const std::vector<std::vector<T>>& v) {
    std::vector<T> out;
    for (const auto& x : v) out.insert(out.end(), x.begin(), x.end());
    return out;
  }
  std::vector<std::vector<rpc::Status>> status_;
  std::vector<std::vector<std::int32_t>> result_;
  std::vector<std::thread> threads_;
};

CHost::Queue& queue_of(const com::ComPtr<IMachine>& m) {
  return impl(m)->host()->queue();
}

TEST_F(IntakeTest, AFullQueueMakesMachinesWaitAndLosesNothing) {
  add(u"M");
  start_host(u"H");
  ASSERT_EQ(objects_[0].as<IControlHost>()->SetQueueLimit(2), com::S_OK);
  constexpr int kMachines = 4, kEach = 20;
  MachineThreads machines(connect_, kMachines, kEach);
  // The owner thread is busy elsewhere: the queue fills and every machine ends up waiting for room.
  ASSERT_TRUE(eventually([&] { return queue_of(objects_[0]).waiting() == kMachines; }));
  EXPECT_EQ(queue_of(objects_[0]).pending(), 2u);
  EXPECT_TRUE(received_.empty());

  for (int round = 0; round < 20000 && received_.size() < std::size_t{kMachines * kEach}; ++round)
    objects_[0].as<IControlHost>()->WaitAndPump(10, nullptr);
  machines.join();
  EXPECT_EQ(machines.statuses(), std::vector<rpc::Status>(kMachines * kEach, rpc::RPC_S_OK));
  EXPECT_EQ(machines.results(), std::vector<std::int32_t>(kMachines * kEach, 0));
  ASSERT_EQ(received_.size(), std::size_t{kMachines * kEach}) << "every telegram answered with 0 is raised";
  std::vector<int> next(kMachines, 0);
  for (const Received& r : received_) {
    EXPECT_EQ(r.thread, std::this_thread::get_id()) << "raised on the owner thread only";
    const int order_num = r.args[0].as_i4();
    EXPECT_EQ(order_num % 1000, next[order_num / 1000]++) << "each machine's telegrams keep their order";
  }
  const IntakeCounts c = counts();
  EXPECT_EQ(c.answered, std::uint64_t{kMachines * kEach});
  EXPECT_EQ(c.raised, std::uint64_t{kMachines * kEach});
  EXPECT_GE(c.waited, std::uint64_t{kMachines});
  EXPECT_EQ(c.refused, 0u);
}

TEST_F(IntakeTest, StoppingTheHostWhileMachinesWaitAnswersThemWithAFailure) {
  add(u"M");
  start_host(u"H");
  auto host = objects_[0].as<IControlHost>();
  ASSERT_EQ(host->SetQueueLimit(1), com::S_OK);
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("M")}, {"OrderNum", 1}}), 0);
  MachineThreads machines(connect_, 3);
  ASSERT_TRUE(eventually([&] { return queue_of(objects_[0]).waiting() == 3; }));
  // The disable waits for the routines in progress while they wait for this thread: it must release
  // them rather than deadlock, and they must learn that their telegrams were not taken.
  EXPECT_EQ(put(objects_[0], Property::HostEnabled, com::Variant::boolean(false)), com::S_OK);
  machines.join();
  EXPECT_EQ(machines.statuses(), std::vector<rpc::Status>(3, rpc::RPC_S_SERVER_TOO_BUSY));
  EXPECT_EQ(pump(), 1);  // the telegram answered with 0 is still raised
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0].args[0], com::Variant::i4(1));
  EXPECT_EQ(counts().refused, 3u);

  // Started again, a full queue makes machines wait once more.
  ASSERT_EQ(put(objects_[0], Property::HostEnabled, com::Variant::boolean(true)), com::S_OK);
  binding_ = new_binding();
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("M")}, {"OrderNum", 2}}), 0);
  MachineThreads late(connect_, 1);
  ASSERT_TRUE(eventually([&] { return queue_of(objects_[0]).waiting() == 1; }));
  for (int round = 0; round < 1000 && received_.size() < 3; ++round) host->WaitAndPump(10, nullptr);
  late.join();
  EXPECT_EQ(late.statuses(), std::vector<rpc::Status>{rpc::RPC_S_OK});
  EXPECT_EQ(received_.size(), 3u);
}

TEST_F(IntakeTest, AnEventHandlerMayStopTheHostWhileMachinesWait) {
  // The owner thread is inside Pump when it disables: the record it took out made room for one
  // waiting machine, which may get in first; the rest are released. Either way every machine
  // answered 0 gets its event and every other one sees the failure.
  add(u"M");
  start_host(u"H");
  auto host = objects_[0].as<IControlHost>();
  ASSERT_EQ(host->SetQueueLimit(1), com::S_OK);
  auto stopper = com::make_event_sink(kDiidIMachineEvents, [this](com::DispId, auto) {
    if (get(objects_[0], Property::HostEnabled).as_bool()) {
      EXPECT_EQ(put(objects_[0], Property::HostEnabled, com::Variant::boolean(false)), com::S_OK);
    }
  });
  std::uint32_t cookie = 0;
  ASSERT_EQ(com::connect_events(objects_[0].get(), kDiidIMachineEvents, stopper.get(), &cookie), com::S_OK);
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("M")}}), 0);
  MachineThreads machines(connect_, 3);
  ASSERT_TRUE(eventually([&] { return queue_of(objects_[0]).waiting() == 3; }));
  EXPECT_EQ(pump(), 1);
  machines.join();
  while (pump() > 0) {
  }
  const auto statuses = machines.statuses();
  const auto taken = static_cast<std::size_t>(std::count(statuses.begin(), statuses.end(), rpc::RPC_S_OK));
  EXPECT_EQ(static_cast<std::size_t>(std::count(statuses.begin(), statuses.end(), rpc::RPC_S_SERVER_TOO_BUSY)),
            3 - taken);
  EXPECT_EQ(received_.size(), 1 + taken);
  const IntakeCounts c = counts();
  EXPECT_EQ(c.answered, 1 + taken);
  EXPECT_EQ(c.refused, 3 - taken);
}

TEST_F(IntakeTest, ReleasingTheLastObjectWhileMachinesWaitAnswersThemWithAFailure) {
  add(u"M");
  start_host(u"H");
  ASSERT_EQ(objects_[0].as<IControlHost>()->SetQueueLimit(1), com::S_OK);
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("M")}}), 0);
  MachineThreads machines(connect_, 2);
  ASSERT_TRUE(eventually([&] { return queue_of(objects_[0]).waiting() == 2; }));
  objects_.clear();  // retires the host: its server stops while the routines wait
  machines.join();
  EXPECT_EQ(machines.statuses(), std::vector<rpc::Status>(2, rpc::RPC_S_SERVER_TOO_BUSY));
  EXPECT_EQ(CHost::current(), nullptr);
}

TEST_F(IntakeTest, WhenTheOwnerThreadEndsWaitingMachinesGetAFailure) {
  // The objects outlive the thread that created them: nobody can pump their queue any more.
  com::ComPtr<IMachine> m;
  std::promise<void> ready, may_end;
  std::thread owner([&] {
    m = new_machine();
    put(m, Property::MachineID, text(u"M"));
    put(m, Property::HostID, text(u"H"));
    put(m, Property::HostPort, com::Variant::i4(0));
    put(m, Property::HostEnabled, com::Variant::boolean(true));
    m.as<IControlHost>()->SetQueueLimit(1);
    ready.set_value();
    may_end.get_future().wait();
  });
  ready.get_future().wait();
  objects_.push_back(m);  // new_binding() finds the port through it
  binding_ = new_binding();
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("M")}}), 0);
  MachineThreads machines(connect_, 1);
  ASSERT_TRUE(eventually([&] { return queue_of(m).waiting() == 1; }));
  may_end.set_value();
  owner.join();
  machines.join();
  EXPECT_EQ(machines.statuses(), std::vector<rpc::Status>{rpc::RPC_S_SERVER_TOO_BUSY});
  std::int32_t r = 0;
  EXPECT_EQ(notify_status(*binding_, "Shutdown_H", {}, r), rpc::RPC_S_SERVER_TOO_BUSY)
      << "a telegram without a result cannot pretend to have been taken either";
  EXPECT_EQ(counts().refused, 2u);
  binding_.reset();
  objects_.clear();
  m.reset();  // the host goes down from this thread
  EXPECT_EQ(CHost::current(), nullptr);
}

TEST_F(IntakeTest, TelegramsThatReachNoObjectAreCounted) {
  add(u"A");
  auto drawn = add(u"D");
  com::RecordingDrawTarget target;
  impl(drawn)->Draw(&target, {0, 0, 10, 10});
  start_host(u"H");
  auto host = objects_[0].as<IControlHost>();
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("a")}}), 0);
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("nobody")}}), 0);
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("d")}}), 0);
  EXPECT_EQ(notify("R_MESSAGE_H", {{"pszHost", wtext("h")}, {"pszMachine", wtext("A")}}), -110);
  // R_REPORT_H raises two events but is one telegram: it counts once.
  EXPECT_EQ(notify("R_REPORT_H", {{"pszHost", wtext("H")}, {"pszMachine", wtext("nobody")}}), 0);
  IntakeCounts c = counts();
  EXPECT_EQ(c.answered, 4u);
  EXPECT_EQ(c.raised + c.unknown_machine + c.drawn_only, 0u) << "counted when pumped, not when received";
  EXPECT_EQ(pump(), 4);
  c = counts();
  EXPECT_EQ(c.raised, 1u);
  EXPECT_EQ(c.unknown_machine, 2u);
  EXPECT_EQ(c.drawn_only, 1u);
  EXPECT_EQ(c.wrong_host, 1u);
  EXPECT_EQ(c.waited + c.refused, 0u);
  EXPECT_EQ(receivers(), std::vector<int>{1});

  // Shutdown_H goes to every object without the drawn mark.
  notify("Shutdown_H", {});
  pump();
  EXPECT_EQ(counts().raised, 2u);
  EXPECT_EQ(host->SetQueueLimit(0), com::E_INVALIDARG);
  EXPECT_EQ(host->GetIntakeCounts(nullptr), com::E_POINTER);
}

}  // namespace
}  // namespace tarvik::control::test
