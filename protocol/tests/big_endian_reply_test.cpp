// A machine whose runtime answers in big-endian data representation: its bind_ack and response are
// golden bytes, served from 127.0.0.1 by a one-connection script. The telegram's result must be the
// long the machine wrote, read in the byte order its response declares.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "protocol/machine_connection.h"
#include "protocol/tests/support/hex.h"

namespace tarvik::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

// bind_ack, drep 00 (big-endian): frags 5840/5840, group 0x1234, secondary address "3011", one
// result: acceptance of NDR 2.0.
const Bytes kBindAck = test::from_hex(
    "05000c03 00000000 003c0000 00000001 16d016d0 00001234 0005 3330313100 00"
    "01000000 00000000 8a885d04 1ceb11c9 9fe80800 2b104860 00000002");
// response, drep 00: alloc_hint 4, context 0, stub = the long 1000 (00 00 03 e8). Read as
// little-endian it would be -402456576.
const Bytes kResponse1000 = test::from_hex("05000203 00000000 001c0000 00000001 00000004 00000000 000003e8");

bool read_pdu(int fd) {  // one whole PDU, whatever its byte order; false when the client went away
  Bytes pdu(10);
  auto read_n = [fd](std::uint8_t* p, std::size_t n) {
    for (ssize_t r = 0; n > 0; p += r, n -= static_cast<std::size_t>(r)) {
      pollfd pfd{fd, POLLIN, 0};
      if (poll(&pfd, 1, 10'000) <= 0 || (r = recv(fd, p, n, 0)) <= 0) return false;
    }
    return true;
  };
  if (!read_n(pdu.data(), 10)) return false;
  const bool little = (pdu[4] & 0x10) != 0;
  const std::size_t frag = little ? pdu[8] | (pdu[9] << 8) : (pdu[8] << 8) | pdu[9];
  if (frag < 10) return false;
  pdu.resize(frag);
  return read_n(pdu.data() + 10, frag - 10);
}

// Answers the bind and one request of one connection with the given PDUs.
class BigEndianMachine {
 public:
  explicit BigEndianMachine(Bytes response) : response_(std::move(response)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), len), 0);
    EXPECT_EQ(listen(listener_, 1), 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 10'000) <= 0) return;
      const int fd = accept(listener_, nullptr, nullptr);
      if (read_pdu(fd)) {
        send(fd, kBindAck.data(), kBindAck.size(), MSG_NOSIGNAL);
        if (read_pdu(fd)) send(fd, response_.data(), response_.size(), MSG_NOSIGNAL);
      }
      read_pdu(fd);  // until the client closes
      close(fd);
    });
  }
  ~BigEndianMachine() {
    thread_.join();
    close(listener_);
  }
  std::int32_t port() const { return port_; }

 private:
  Bytes response_;
  int listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::uint16_t port_ = 0;
  std::thread thread_;
};

class NoTelegrams : public HostHandler {
 public:
  std::int32_t on_telegram(const IncomingTelegram&) override { return 0; }
};

TEST(BigEndianReply, TheTelegramsResultIsTheMachinesLongUnderBothPolicies) {
  for (ClientPolicy policy : {kControlPolicy, kManagedPolicy}) {
    NoTelegrams handler;
    HostEndpoint host(handler);
    policy.host_start = ClientPolicy::HostStart::never;
    std::int32_t ret = 0;
    {
      BigEndianMachine machine(kResponse1000);
      MachineConnection m(host, policy);
      m.set_machine_ip(u"127.0.0.1");
      m.set_machine_port(machine.port());
      const CallerArg order[] = {1};
      ret = m.send(*find_telegram("T_MACHINE_M"), order);
      EXPECT_TRUE(m.is_bound());  // a successful call keeps the binding
    }
    EXPECT_EQ(ret, 1000);
  }
}

TEST(BigEndianReply, CallersOfRawLittleEndianStubsStillGetAProtocolError) {
  BigEndianMachine machine(kResponse1000);
  std::unique_ptr<rpc::Binding> b;
  ASSERT_EQ(rpc::binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(machine.port()) + "]", b),
            rpc::RPC_S_OK);
  Bytes stub;
  EXPECT_EQ(b->call(kMachineInterfaceId, 0, Bytes(12, 0), stub), rpc::RPC_S_PROTOCOL_ERROR);
  EXPECT_TRUE(stub.empty());
  b.reset();
}

}  // namespace
}  // namespace tarvik::protocol
