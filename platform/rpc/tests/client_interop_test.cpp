// Our client against the independent peer (rpcpeer.py serve-machine): the statuses it answered and
// what it decoded from our requests (its JSON lines).
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "platform/rpc/client.h"
#include "platform/rpc/ndr.h"
#include "platform/rpc/tests/peer_process.h"

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;
const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};
constexpr std::uint16_t kShutdownM = 14;

// rpcpeer serving the machine interface on a free loopback port until it has answered Shutdown_M
// (sent by finish(), or by the destructor if a test stopped early); a time limit is the last resort.
class MachinePeer {
 public:
  explicit MachinePeer(std::vector<std::string> options)
      : port_file_(std::filesystem::path(TARVIK_BINARY_DIR) /
                   ("client-interop-" + std::to_string(getpid()))) {
    std::filesystem::remove(port_file_);
    std::vector<std::string> args = {"serve-machine", "--port",   "0",
                                     "--port-file",   port_file_, "--exit-on-shutdown"};
    args.insert(args.end(), options.begin(), options.end());
    thread_ = std::thread([this, args] {
      result_ = testing::run_peer(args, std::chrono::seconds(60));
      exited_ = true;
    });
    for (int i = 0; i < 1500 && port_ == 0 && !exited_; ++i) {  // the interpreter needs a moment
      std::ifstream in(port_file_);
      if (!(in >> port_)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~MachinePeer() {
    if (!thread_.joinable()) return;
    std::unique_ptr<Binding> b;  // a test stopped early: stop the peer all the same
    Bytes out;
    if (!exited_ && port_ != 0 && binding_from_string_binding(binding(), b) == RPC_S_OK) {
      (void)b->call(kMachine, kShutdownM, {}, out);
    }
    thread_.join();
    std::filesystem::remove(port_file_);
  }
  std::string binding() const { return "ncacn_ip_tcp:127.0.0.1[" + std::to_string(port_) + "]"; }

  // Sends Shutdown_M on `b` (empty stubs both ways; the peer then exits); returns the calls it logged.
  std::vector<nlohmann::json> finish(Binding& b) {
    Bytes out{1};
    EXPECT_EQ(b.call(kMachine, kShutdownM, {}, out), RPC_S_OK);
    EXPECT_TRUE(out.empty());
    thread_.join();
    std::filesystem::remove(port_file_);
    std::vector<nlohmann::json> calls;
    std::istringstream lines(result_.out);
    for (std::string line; std::getline(lines, line);) calls.push_back(nlohmann::json::parse(line));
    return calls;
  }

 private:
  std::string port_file_;
  int port_ = 0;
  std::atomic<bool> exited_{false};
  testing::PeerResult result_;
  std::thread thread_;
};

std::int32_t result_of(const Bytes& stub) {
  std::int32_t v = 0;
  NdrReader r(stub, ByteOrder::little);
  EXPECT_TRUE(r.read_i32(v) && r.remaining() == 0);
  return v;
}

TEST(ClientInterop, CallsReachThePeerIntactOnOneConnection) {
  MachinePeer peer({"--status", "0", "--status-for", "T_DATA_M=-3"});
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding(peer.binding(), b), RPC_S_OK);
  Bytes t_machine, t_data, out;
  NdrWriter m(t_machine);  // T_MACHINE_M (opnum 0): pszHost, pszMachine, OrderNum
  m.write_string("HOST");
  m.write_string("M1");
  m.write_i32(-2);
  const std::string big(9000, 'x');  // beyond the peer's 4280-byte fragments: a fragmented request
  NdrWriter d(t_data);               // T_DATA_M (opnum 2): pszHost, pszMachine, OrderNum, SFkt, Name1, Name2
  d.write_string("HOST1");
  d.write_string("M\xe4");
  d.write_i32(2147483647);
  d.write_i32(7);
  d.write_string(big);
  d.write_string("");

  ASSERT_EQ(b->call(kMachine, 0, t_machine, out), RPC_S_OK);
  EXPECT_EQ(result_of(out), 0);
  ASSERT_EQ(b->call(kMachine, 2, t_data, out), RPC_S_OK);
  EXPECT_EQ(result_of(out), -3);
  const auto calls = peer.finish(*b);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0]["telegram"], "T_MACHINE_M");
  EXPECT_EQ(calls[0]["pszHost"], "HOST");
  EXPECT_EQ(calls[0]["pszMachine"], "M1");
  EXPECT_EQ(calls[0]["OrderNum"], -2);
  EXPECT_EQ(calls[1]["pszMachine"], "M\u00e4");  // byte 0xE4 arrives as itself
  EXPECT_EQ(calls[1]["OrderNum"], 2147483647);
  EXPECT_EQ(calls[1]["Name1"], big);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(calls[i].contains("warnings")) << calls[i].dump();
    EXPECT_EQ(calls[i]["conn"], 1);  // one connection carried all three calls
  }
}

TEST(ClientInterop, PeerRefusalsBecomeStatusesAndTheNextCallBindsAnew) {
  MachinePeer peer({});
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding(peer.binding(), b), RPC_S_OK);
  Bytes out;
  EXPECT_EQ(b->call(kMachine, 17, {}, out), RPC_S_PROCNUM_OUT_OF_RANGE);
  EXPECT_EQ(b->call(kMachine, 0, Bytes{1, 2, 3}, out), RPC_X_BAD_STUB_DATA);
  const SyntaxId host{*Uuid::parse("d3d7d860-c15a-11d0-a0cb-00a0244ce687"), 1, 0};
  EXPECT_EQ(b->call(host, 0, {}, out), RPC_S_UNKNOWN_IF);  // an interface the peer does not serve
  EXPECT_EQ(b->call(SyntaxId{kMachine.uuid, 1, 2}, 0, {}, out),
            RPC_S_UNKNOWN_IF);  // minor above the server's
  const auto calls = peer.finish(*b);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2]["conn"], 5);  // every failure dropped the connection
}

}  // namespace
}  // namespace tarvik::rpc
