// The process-wide server over real loopback sockets: endpoint statuses, the call limit,
// unregistering while routines run, and misbehaving peers that must not disturb anyone else.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/rpc/tests/raw_rpc_client.h"

namespace tarvik::rpc {
namespace {

using test_client::Bytes;
using test_client::EchoServer;
using test_client::Gate;
using test_client::RawClient;
using test_client::test_iface;

std::uint16_t open_endpoint() {
  std::uint16_t port = 0;
  EXPECT_EQ(use_protseq_ep("ncacn_ip_tcp", RPC_C_PROTSEQ_MAX_REQS_DEFAULT, "0", &port), RPC_S_OK);
  return port;
}

TEST(ServerEndpoint, StatusesForPortsAndInterfaces) {
  const std::uint16_t port = open_endpoint();
  ASSERT_NE(port, 0);
  std::uint16_t again = 0;
  EXPECT_EQ(use_protseq_ep("ncacn_ip_tcp", 10, std::to_string(port), &again), RPC_S_DUPLICATE_ENDPOINT);
  EXPECT_EQ(again, port);
  EXPECT_EQ(use_protseq_ep("ncacn_np", 10, "0"), RPC_S_PROTSEQ_NOT_SUPPORTED);
  for (const char* bad : {"", "abc", "70000", "12x", "-1"})
    EXPECT_EQ(use_protseq_ep("ncacn_ip_tcp", 10, bad), RPC_S_INVALID_ENDPOINT_FORMAT) << bad;

  // A port some other socket (another program, as far as the runtime knows) listens on.
  const int other = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(other, 1), 0);
  ::getsockname(other, reinterpret_cast<sockaddr*>(&a), &len);
  EXPECT_EQ(use_protseq_ep("ncacn_ip_tcp", 10, std::to_string(ntohs(a.sin_port))),
            RPC_S_CANT_CREATE_ENDPOINT);
  ::close(other);

  const SyntaxId id = test_iface(1);
  EXPECT_EQ(register_if({id, {nullptr}}, RPC_IF_AUTOLISTEN, 10), RPC_S_OK);
  EXPECT_EQ(register_if({id, {}}, 0, 10), RPC_S_ALREADY_REGISTERED);
  EXPECT_EQ(unregister_if(id, true), RPC_S_OK);
  EXPECT_EQ(unregister_if(id, true), RPC_S_UNKNOWN_IF);
  // The endpoint stays open without interfaces: a bind still gets its bind_ack (refusing the context).
  RawClient c(port);
  EXPECT_EQ(c.bind(id), ctx::provider_rejection);
}

TEST(ServerCalls, RoutinesRunTogetherUpToTheCallLimit) {
  const std::uint16_t port = open_endpoint();
  const SyntaxId id = test_iface(2);
  Gate gate;
  ASSERT_EQ(register_if({id, {gate.routine()}}, 0, 2), RPC_S_OK);
  RawClient a(port), b(port), c(port);
  for (RawClient* x : {&a, &b, &c}) ASSERT_EQ(x->bind(id), ctx::acceptance);
  a.send_request(1, 0);
  b.send_request(1, 0);
  ASSERT_TRUE(gate.wait_inside(2));  // two routines at once, on two runtime threads
  c.send_request(1, 0);
  EXPECT_EQ(c.reply_status(), nca::s_server_too_busy);
  gate.release();
  EXPECT_EQ(a.reply_status(), 0u);
  EXPECT_EQ(b.reply_status(), 0u);
  c.send_request(2, 0);  // the refused connection is still usable
  EXPECT_EQ(c.reply_status(), 0u);
  EXPECT_EQ(unregister_if(id, true), RPC_S_OK);
}

TEST(ServerCalls, UnregisterWaitsForRoutinesInProgress) {
  const std::uint16_t port = open_endpoint();
  const SyntaxId id = test_iface(3);
  Gate gate;
  ASSERT_EQ(register_if({id, {gate.routine()}}, 0, 10), RPC_S_OK);
  RawClient a(port);
  ASSERT_EQ(a.bind(id), ctx::acceptance);
  a.send_request(1, 0);
  ASSERT_TRUE(gate.wait_inside(1));
  std::atomic<bool> returned{false};
  std::thread unregister([&] {
    EXPECT_EQ(unregister_if(id, true), RPC_S_OK);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned);  // the routine is still blocked inside
  gate.release();
  unregister.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(a.reply_status(), 0u);
  a.send_request(2, 0);
  EXPECT_EQ(a.reply_status(), nca::s_unk_if);
}

// A peer sending garbage gets its bind_nak before the close; a bound connection beside it is served.
TEST(ServerCalls, GarbageIsAnsweredAndClosedWithoutDisturbingOthers) {
  EchoServer server(4);
  RawClient good(server.port), garbage(server.port);
  ASSERT_EQ(good.bind(server.id), ctx::acceptance);
  garbage.send(Bytes(64, 0xEE));
  EXPECT_EQ(garbage.read_pdu()[2], static_cast<std::uint8_t>(PduType::bind_nak));
  EXPECT_TRUE(garbage.read_pdu().empty());  // then closed
  good.send_request(1, 0, {1, 2, 3, 4});
  EXPECT_EQ(good.reply_status(), 0u);
}

}  // namespace
}  // namespace tarvik::rpc
