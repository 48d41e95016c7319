// Fair service over real loopback sockets: no peer address can take the whole server, silent and
// stalled connections are closed by their deadlines, replies to slow readers are not lost, and
// pipelined calls keep their order. Peers are played from several loopback addresses.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/rpc/tests/raw_rpc_client.h"

namespace tarvik::rpc {
namespace {

using namespace std::chrono_literals;
using test_client::Bytes;
using test_client::EchoServer;
using test_client::Gate;
using test_client::RawClient;
using test_client::test_iface;

// Restores the process-wide policy after each test.
struct PolicyGuard {
  ConnectionPolicy saved = connection_policy();
  ~PolicyGuard() { EXPECT_EQ(set_connection_policy(saved), RPC_S_OK); }
};

TEST(FairService, AnAddressAtItsLimitLeavesEveryOtherAddressServed) {
  PolicyGuard guard;
  ConnectionPolicy p = connection_policy();
  p.max_connections_per_address = 3;
  ASSERT_EQ(set_connection_policy(p), RPC_S_OK);
  EchoServer server(11);
  const ServerStats before = server_stats();

  std::vector<std::unique_ptr<RawClient>> silent;
  for (int i = 0; i < 3; ++i) silent.push_back(std::make_unique<RawClient>(server.port, "127.0.0.2"));
  RawClient over(server.port, "127.0.0.2");
  EXPECT_TRUE(over.closed_by_server(5s));  // refused: closed at once, nothing sent
  EXPECT_TRUE(server.serves("127.0.0.3"));
  EXPECT_TRUE(server.serves("127.0.0.1"));
  for (auto& c : silent) EXPECT_FALSE(c->closed_by_server(0ms));  // the limit refuses, it does not evict
  EXPECT_EQ(server_stats().refused_address_limit - before.refused_address_limit, 1u);

  silent.pop_back();  // the address gets its place back once one of its connections is gone
  EXPECT_TRUE(server.serves_soon("127.0.0.2"));
}

TEST(FairService, TheGlobalCapRefusesAtOnceAndRecovers) {
  PolicyGuard guard;
  EchoServer server(12);
  ConnectionPolicy p = connection_policy();
  p.max_connections = server_stats().open_connections + 2;
  ASSERT_EQ(set_connection_policy(p), RPC_S_OK);
  const ServerStats before = server_stats();

  auto a = std::make_unique<RawClient>(server.port, "127.0.0.4");
  RawClient b(server.port, "127.0.0.5");
  ASSERT_EQ(a->bind(server.id), ctx::acceptance);
  ASSERT_EQ(b.bind(server.id), ctx::acceptance);
  RawClient c(server.port, "127.0.0.6");
  EXPECT_TRUE(c.closed_by_server(5s));
  b.send_request(1, 0, {9, 9});
  EXPECT_EQ(b.reply_status(), 0u);
  EXPECT_GE(server_stats().refused_connection_cap - before.refused_connection_cap, 1u);
  a.reset();
  EXPECT_TRUE(server.serves_soon("127.0.0.6"));
}

// Each wait has its own deadline: the first PDU counted from the accept (a trickled bind does not
// extend it), the idle time-out between calls, the per-PDU time-out for an unfinished request.
TEST(FairService, DeadlinesCloseSilentTricklingIdleAndStalledConnections) {
  PolicyGuard guard;
  ConnectionPolicy p = connection_policy();
  p.first_pdu_timeout = 200ms;
  p.idle_timeout = 600ms;
  p.pdu_timeout = 300ms;
  ASSERT_EQ(set_connection_policy(p), RPC_S_OK);
  EchoServer server(13);
  const ServerStats before = server_stats();

  RawClient silent(server.port, "127.0.0.7"), trickler(server.port, "127.0.0.7");
  RawClient idle(server.port, "127.0.0.8"), stalled(server.port, "127.0.0.8"), busy(server.port, "127.0.0.8");
  for (RawClient* c : {&idle, &stalled, &busy}) ASSERT_EQ(c->bind(server.id), ctx::acceptance);
  Bytes request;
  encode_request(request, 0x03, 5, RequestPdu{4, 0, 0, std::nullopt, Bytes{1, 2, 3, 4}});
  stalled.send(Bytes(request.begin(), request.begin() + 20));  // never finished

  // The bind arrives one byte per 50 ms: past the first-PDU deadline long before it is whole.
  Bytes bind;
  encode_bind(bind, PduType::bind, 0x03, 1, BindPdu{.contexts = {{0, server.id, {kNdr20Syntax}}}});
  bool trickler_closed = false;
  for (std::size_t i = 0; i < bind.size() && !trickler_closed; ++i) {
    ::send(trickler.fd(), &bind[i], 1, MSG_NOSIGNAL);
    trickler_closed = trickler.closed_by_server(50ms);
  }
  EXPECT_TRUE(trickler_closed);
  EXPECT_TRUE(silent.closed_by_server(5s));
  // A bound connection that keeps calling outlives the first-PDU deadline and its idle time-out.
  for (int i = 0; i < 6; ++i) {
    busy.send_request(10 + i, 0, {7});
    EXPECT_EQ(busy.reply_status(), 0u);
    std::this_thread::sleep_for(150ms);
  }
  EXPECT_TRUE(stalled.closed_by_server(5s));
  EXPECT_TRUE(idle.closed_by_server(5s));

  const ServerStats after = server_stats();
  EXPECT_EQ(after.closed_first_pdu_timeout - before.closed_first_pdu_timeout, 2u);
  EXPECT_EQ(after.closed_pdu_timeout - before.closed_pdu_timeout, 1u);
  EXPECT_GE(after.closed_idle_timeout - before.closed_idle_timeout, 1u);
  EXPECT_EQ(set_connection_policy(ConnectionPolicy{.max_connections = 0}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(set_connection_policy(ConnectionPolicy{.max_connections_per_address = 5000}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(set_connection_policy(ConnectionPolicy{.first_pdu_timeout = 0ms}), ERROR_INVALID_PARAMETER);
}

// A reply far larger than the socket buffers, to a peer that does not read for a while, arrives
// whole; the pipelined call behind it is answered after it; other connections are served meanwhile.
TEST(FairService, SlowReaderGetsWholeRepliesInOrderWithoutStallingOthers) {
  constexpr std::size_t kBig = 8 * 1024 * 1024;
  EchoServer server(14, kBig);
  RawClient slow(server.port, "127.0.0.9");
  ASSERT_EQ(slow.bind(server.id), ctx::acceptance);
  Bytes two;
  encode_request(two, 0x03, 1, RequestPdu{0, 0, 1, std::nullopt, {}});
  encode_request(two, 0x03, 2, RequestPdu{2, 0, 0, std::nullopt, Bytes{5, 6}});
  slow.send(two);
  std::this_thread::sleep_for(200ms);  // the server is left with most of the reply unsent
  EXPECT_TRUE(server.serves("127.0.0.10"));

  std::size_t got = 0;
  bool intact = true;
  for (;;) {
    const Bytes pdu = slow.read_pdu();
    ASSERT_GE(pdu.size(), kResponseHeaderSize);
    PduHeader h;
    ASSERT_TRUE(decode_header(pdu, h));
    ASSERT_EQ(h.call_id, 1u);
    for (std::size_t i = kResponseHeaderSize; i < pdu.size(); ++i, ++got)
      intact = intact && pdu[i] == static_cast<std::uint8_t>(got % 251);
    if (h.flags & pfc::last_frag) break;
  }
  EXPECT_EQ(got, kBig);
  EXPECT_TRUE(intact);
  const Bytes second = slow.read_pdu();
  PduHeader h;
  ASSERT_TRUE(decode_header(second, h));
  EXPECT_EQ(h.call_id, 2u);
  EXPECT_EQ(Bytes(second.begin() + kResponseHeaderSize, second.end()), (Bytes{5, 6}));
}

// Routines that block hold their threads; the pool must keep growing so that every other
// connection is still read and answered, and every blocked call is answered once released.
TEST(FairService, BlockedRoutinesNeverStallOtherConnections) {
  constexpr int kBlocked = 8;
  EchoServer other(15);
  Gate gate;
  const SyntaxId blocking = test_iface(16);
  ASSERT_EQ(register_if({blocking, {gate.routine()}}, 0, 2 * kBlocked), RPC_S_OK);
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < kBlocked; ++i) {
    held.push_back(std::make_unique<RawClient>(other.port, "127.0.0.11"));
    ASSERT_EQ(held.back()->bind(blocking), ctx::acceptance);
    held.back()->send_request(1, 0);
  }
  ASSERT_TRUE(gate.wait_inside(kBlocked));  // all run at once
  EXPECT_TRUE(other.serves("127.0.0.12"));
  EXPECT_GT(server_stats().threads, static_cast<std::uint64_t>(kBlocked));
  gate.release();
  for (auto& c : held) EXPECT_EQ(c->reply_status(), 0u);
  EXPECT_EQ(unregister_if(blocking, true), RPC_S_OK);
}

}  // namespace
}  // namespace tarvik::rpc
