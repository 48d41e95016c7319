// Starting and stopping the host endpoint while its own routines run. A handler that answers a
// telegram by sending one (which enables the endpoint first) or that stops the host must not lock
// up against another thread stopping the host at the same time. A regression hangs here until
// CTest's time-out fails the test.
#include "protocol/host_endpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/rpc/client.h"
#include "protocol/stub_codec.h"

namespace tarvik::protocol {
namespace {

using namespace std::chrono_literals;

// Blocks each telegram until the test has started its own disable, then enables and disables the
// endpoint from inside the routine.
class ReentrantHandler : public HostHandler {
 public:
  HostEndpoint* host = nullptr;
  std::promise<void> entered;
  std::shared_future<void> outside_disable_started;
  rpc::Status inner_enable = -1, inner_disable = -1;

  std::int32_t on_telegram(const IncomingTelegram&) override {
    entered.set_value();
    outside_disable_started.wait();
    std::this_thread::sleep_for(50ms);  // let the outside disable reach its wait for this routine
    inner_enable = host->enable();
    inner_disable = host->disable();
    return 0;
  }
};

rpc::Status call_message(std::uint16_t port) {
  const TelegramInfo& t = *find_telegram("R_MESSAGE_H");
  std::vector<WireValue> values = default_values(t);
  values[0] = WireText{"HOST1"};
  std::vector<std::uint8_t> stub, out;
  if (marshal_request(t, values, stub) != rpc::RPC_S_OK) return -1;
  std::unique_ptr<rpc::Binding> b;
  if (rpc::Status s = rpc::binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]", b);
      s != rpc::RPC_S_OK)
    return s;
  return b->call(kHostInterfaceId, t.opnum, stub, out);
}

TEST(HostEndpointStop, RoutinesMayEnableAndDisableWhileAnotherThreadDisables) {
  ReentrantHandler handler;
  HostEndpoint host(handler);
  handler.host = &host;
  std::promise<void> started;
  handler.outside_disable_started = started.get_future().share();
  host.set_host_id(u"HOST1");
  host.set_host_port(0);
  ASSERT_EQ(host.enable(), rpc::RPC_S_OK);

  auto call = std::async(std::launch::async, [&] { return call_message(host.listening_port()); });
  handler.entered.get_future().wait();
  started.set_value();
  EXPECT_EQ(host.disable(), rpc::RPC_S_OK);  // waits for the routine, which must get through

  EXPECT_EQ(call.get(), rpc::RPC_S_OK);
  EXPECT_EQ(handler.inner_enable, rpc::RPC_S_OK);
  EXPECT_EQ(handler.inner_disable, rpc::RPC_S_OK);
  EXPECT_FALSE(host.enabled());
  EXPECT_EQ(host.enable(), rpc::RPC_S_OK);  // and it starts again on the same endpoint
  EXPECT_TRUE(host.enabled());
}

}  // namespace
}  // namespace tarvik::protocol
