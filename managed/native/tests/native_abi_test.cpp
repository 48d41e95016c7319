// The C ABI of the managed assembly's native library, driven the way the assembly drives it:
// incoming telegrams through the one callback, telegrams sent by opnum, and one machine connection
// used from several threads at once (run under TSan to see the guard work).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "managed/native/tarvik_native.h"
#include "platform/rpc/client.h"
#include "platform/rpc/server.h"
#include "platform/rpc/status.h"
#include "protocol/server_routines.h"
#include "protocol/telegram_call.h"
#include "protocol/wire_values.h"

namespace {

namespace protocol = tarvik::protocol;
namespace rpc = tarvik::rpc;

// What the callback saw last: the fields copied out while they were valid.
struct Seen {
  std::mutex mu;
  int opnum = -1;
  std::vector<std::u16string> texts;  // in field order, "" for numbers
  std::vector<std::int32_t> numbers;  // in field order, 0 for texts
  std::vector<bool> is_text;
  int calls = 0;
};
Seen g_seen;
std::atomic<std::int32_t> g_answer{0};

int32_t record(int32_t opnum, const TarvikField* fields, int32_t count) {
  std::lock_guard lock(g_seen.mu);
  g_seen.opnum = opnum;
  g_seen.texts.clear();
  g_seen.numbers.clear();
  g_seen.is_text.clear();
  for (int32_t i = 0; i < count; ++i) {
    const bool text = fields[i].text != nullptr;
    g_seen.is_text.push_back(text);
    g_seen.texts.push_back(text ? std::u16string(fields[i].text, fields[i].text_length) : u"");
    g_seen.numbers.push_back(fields[i].number);
  }
  ++g_seen.calls;
  return g_answer.load();
}

// Plays a machine calling this process's host endpoint.
std::int32_t call_host(const char* telegram, std::vector<protocol::WireValue> values) {
  std::unique_ptr<rpc::Binding> binding;
  const std::string sb = "ncacn_ip_tcp:127.0.0.1[" + std::to_string(tarvik_host_listening_port()) + "]";
  EXPECT_EQ(rpc::binding_from_string_binding(sb, binding), rpc::RPC_S_OK);
  std::int32_t result = 0;
  EXPECT_EQ(protocol::call_telegram(*binding, *protocol::find_telegram(telegram), values, result), rpc::RPC_S_OK);
  return result;
}

class NativeAbi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tarvik_host_set_port(0);  // any free port
    tarvik_host_set_id(u"HOST1");
    ASSERT_EQ(tarvik_host_enable(), 0);
    ASSERT_NE(tarvik_host_listening_port(), 0);
  }
  void SetUp() override { tarvik_host_set_callback(&record); }
  void TearDown() override { tarvik_host_set_callback(nullptr); }
};

TEST_F(NativeAbi, IncomingTelegramReachesTheCallbackFlattenedAndItsResultGoesBack) {
  const protocol::TelegramInfo& t = *protocol::find_telegram("R_REPORT_H");
  std::vector<protocol::WireValue> v = protocol::default_values(t);
  v[0] = protocol::WireText{"HOST1"};
  v[1] = protocol::WireText{"M\xe4"};  // Windows-1252 a-umlaut
  v[2] = -5;
  v[3] = 7;
  v[4] = std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, -10};
  v[6] = std::vector<std::uint8_t>{0, 1, 255, 0, 0, 0, 0, 0, 0, 128};
  v[9] = protocol::WireText{""};
  g_answer = -42;
  EXPECT_EQ(call_host("R_REPORT_H", v), -42);

  std::lock_guard lock(g_seen.mu);
  EXPECT_EQ(g_seen.opnum, 2);
  ASSERT_EQ(g_seen.texts.size(), 2u + 35u);
  EXPECT_EQ(g_seen.texts[0], u"HOST1");
  EXPECT_EQ(g_seen.texts[1], u"M\u00e4");
  EXPECT_EQ(g_seen.numbers[2], -5);  // OrderNum
  EXPECT_EQ(g_seen.numbers[3], 7);   // Typ
  EXPECT_EQ(g_seen.numbers[4], 1);   // Number1
  EXPECT_EQ(g_seen.numbers[13], -10);  // Number10
  EXPECT_EQ(g_seen.numbers[24], 0);    // Flag1
  EXPECT_EQ(g_seen.numbers[26], 255);  // Flag3: unsigned, not -1
  EXPECT_EQ(g_seen.numbers[33], 128);  // Flag10
  EXPECT_TRUE(g_seen.is_text[36]);     // ResByte: an empty text, still a text
  EXPECT_EQ(g_seen.texts[36], u"");
}

TEST_F(NativeAbi, WithoutCallbackTelegramsAreAnsweredNoSuchMachine) {
  tarvik_host_set_callback(nullptr);
  std::vector<protocol::WireValue> v = protocol::default_values(*protocol::find_telegram("R_MESSAGE_H"));
  v[0] = protocol::WireText{"HOST1"};
  EXPECT_EQ(call_host("R_MESSAGE_H", v), -111);
}

TEST_F(NativeAbi, SendRefusesMismatchedArgumentsAndTurnsFailuresInto1722) {
  TarvikMachine* m = tarvik_machine_create();
  ASSERT_NE(m, nullptr);
  const TarvikArg order{nullptr, 1, 0};
  EXPECT_EQ(tarvik_machine_send(m, 17, &order, 1), rpc::ERROR_INVALID_PARAMETER);  // no opnum 17
  EXPECT_EQ(tarvik_machine_send(m, -1, &order, 1), rpc::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(tarvik_machine_send(m, 0, &order, 2), rpc::ERROR_INVALID_PARAMETER);   // T_MACHINE_M has one
  EXPECT_EQ(tarvik_machine_send(m, 2, &order, 1), rpc::ERROR_INVALID_PARAMETER);   // T_DATA_M has four
  EXPECT_EQ(tarvik_machine_send(m, 0, nullptr, 1), rpc::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(tarvik_machine_is_bound(m), 0);

  // A port nobody listens on: the runtime's failure becomes 1722 and the binding goes.
  tarvik_machine_set_ip(m, u"127.0.0.1");
  tarvik_machine_set_port(m, 1);
  EXPECT_EQ(tarvik_machine_send(m, 0, &order, 1), rpc::RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(tarvik_machine_is_bound(m), 0);

  // A time-out level the runtime refuses fails the binding with its status, and nothing is sent.
  tarvik_machine_set_timeout(m, -1);
  EXPECT_EQ(tarvik_machine_send(m, 0, &order, 1), rpc::RPC_S_INVALID_TIMEOUT);
  tarvik_machine_destroy(m);
}

// A machine served by this same process, counting the calls it answers.
std::atomic<int> g_machine_calls{0};

TEST_F(NativeAbi, OneConnectionUsedFromSeveralThreadsStaysConsistent) {
  rpc::ServerInterface machine = protocol::make_server_interface(
      protocol::Interface::machine,
      [](const protocol::TelegramInfo& t, std::span<const protocol::WireValue> values, const rpc::CallInfo&) {
        ++g_machine_calls;
        return t.params.empty() ? 0 : std::get<std::int32_t>(values[2]);  // echoes OrderNum
      });
  ASSERT_EQ(rpc::register_if(machine, rpc::RPC_IF_AUTOLISTEN, 100), rpc::RPC_S_OK);

  TarvikMachine* m = tarvik_machine_create();
  tarvik_machine_set_ip(m, u"127.0.0.1");
  tarvik_machine_set_port(m, tarvik_host_listening_port());
  constexpr int kThreads = 3, kCalls = 40;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&, k] {
      for (int i = 0; i < kCalls; ++i) {
        const int order = k * 1000 + i;
        const TarvikArg args[] = {{nullptr, order, 0}, {nullptr, 2, 0}, {u"N1", 0, 0}, {u"", 0, 0}};
        if (tarvik_machine_send(m, 2, args, 4) != order) ++wrong;  // T_DATA_M
        if (i % 10 == 0) tarvik_machine_unbind(m);                // the next call binds anew
      }
    });
  }
  // Settings change meanwhile; they are the same values, so every call still reaches the machine.
  threads.emplace_back([&] {
    for (int i = 0; i < kCalls; ++i) {
      tarvik_machine_set_id(m, i % 2 ? u"MC1" : u"MC2");
      tarvik_machine_set_port(m, tarvik_host_listening_port());
    }
  });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(g_machine_calls.load(), kThreads * kCalls);
  tarvik_machine_destroy(m);
  EXPECT_EQ(rpc::unregister_if(machine.id, true), rpc::RPC_S_OK);
}

}  // namespace
