// The client's socket driver against scripted servers on 127.0.0.1: each test plays one server
// behaviour byte by byte and checks the status the caller sees and whether the connection stays.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/rpc/client.h"
#include "platform/rpc/pdu.h"

namespace tarvik::rpc {
namespace {

using Bytes = std::vector<std::uint8_t>;

const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};
constexpr int kIoLimitMs = 10'000;  // bounds every read of a scripted server

bool read_exact(int fd, std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, kIoLimitMs) <= 0) return false;
    const ssize_t r = recv(fd, p, n, 0);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

// One whole PDU, or empty when the client closed or went silent.
Bytes read_pdu(int fd) {
  Bytes pdu(kHeaderSize);
  PduHeader h;
  if (!read_exact(fd, pdu.data(), kHeaderSize) || !decode_header(pdu, h) || h.frag_length < kHeaderSize) return {};
  pdu.resize(h.frag_length);
  if (!read_exact(fd, pdu.data() + kHeaderSize, h.frag_length - kHeaderSize)) return {};
  return pdu;
}

// Reads until the client hangs up (true) or kIoLimitMs passes without a byte (false).
bool drain(int fd) {
  while (true) {
    std::uint8_t byte;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, kIoLimitMs) <= 0) return false;
    if (recv(fd, &byte, 1, 0) <= 0) return true;
  }
}

void write_all(int fd, const Bytes& bytes, bool one_byte_at_a_time = false) {
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = one_byte_at_a_time ? 1 : bytes.size() - at;
    const ssize_t r = send(fd, bytes.data() + at, n, MSG_NOSIGNAL);
    if (r <= 0) return;
    at += static_cast<std::size_t>(r);
  }
}

// Reads a bind and accepts it offering `frag` as our receive size.
bool accept_bind(int fd, std::uint16_t frag = 5840) {
  if (read_pdu(fd).empty()) return false;
  BindAckPdu ack;
  ack.max_xmit_frag = ack.max_recv_frag = frag;
  ack.assoc_group_id = 0x5001;
  ack.secondary_address = "3011";
  ack.results.push_back({ctx::acceptance, 0, kNdr20Syntax});
  Bytes out;
  encode_bind_ack(out, PduType::bind_ack, 0x03, 1, ack);
  write_all(fd, out);
  return true;
}

// Reads one whole request (all fragments); its stub, or nullopt when the client went away.
std::optional<Bytes> read_request(int fd) {
  Bytes stub;
  while (true) {
    const Bytes pdu = read_pdu(fd);
    PduHeader h;
    RequestPdu req;
    if (pdu.empty() || !decode_header(pdu, h) || !decode_request(pdu, h, req)) return std::nullopt;
    stub.insert(stub.end(), req.stub.begin(), req.stub.end());
    if (h.flags & pfc::last_frag) return stub;
  }
}

// `stub` as response fragments of at most `chunk` stub bytes, all under `call_id`.
Bytes response_pdus(const Bytes& stub, std::uint32_t call_id, std::size_t chunk = 5000) {
  Bytes out;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(chunk, stub.size() - at);
    const std::uint8_t flags = (at == 0 ? pfc::first_frag : 0) | (at + n == stub.size() ? pfc::last_frag : 0);
    encode_response(out, flags, call_id,
                    ResponsePdu{static_cast<std::uint32_t>(stub.size() - at), 0, 0, std::span(stub).subspan(at, n)});
    at += n;
  } while (at < stub.size());
  return out;
}

// A TCP server on 127.0.0.1 running `script` on each of up to `connections` accepted connections,
// one after another on its own thread. The destructor stops and joins it.
class ScriptedServer {
 public:
  using Script = std::function<void(int fd, int index)>;
  explicit ScriptedServer(Script script, int connections = 1) : script_(std::move(script)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(listener_, 8), 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, connections] { run(connections); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string binding() const { return "ncacn_ip_tcp:127.0.0.1[" + std::to_string(port_) + "]"; }
  int accepted() const { return accepted_; }
  int finished() const { return finished_; }

 private:
  void run(int connections) {
    for (int i = 0; i < connections && !stop_;) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      ++accepted_;
      script_(fd, i++);
      close(fd);
      ++finished_;
    }
  }

  Script script_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> finished_{0};
  std::thread thread_;
};

Status call_once(const std::string& binding, unsigned level = kDefaultTimeout, Bytes* out = nullptr,
                 const Bytes& stub = {}) {
  std::unique_ptr<Binding> b;
  if (Status s = binding_from_string_binding(binding, b); s != RPC_S_OK) return s;
  EXPECT_EQ(b->set_com_timeout(level), RPC_S_OK);
  Bytes stub_out;
  const Status s = b->call(kMachine, 0, stub, stub_out);
  EXPECT_EQ(b->connected(), s == RPC_S_OK);  // every failure closes the connection
  if (out) *out = stub_out;
  return s;
}

TEST(ClientSocket, RefusedBindsGiveTheirStatuses) {
  auto ack_with = [](std::uint16_t result, std::uint16_t reason) {
    BindAckPdu ack;
    ack.results.push_back({result, reason, {}});
    Bytes out;
    encode_bind_ack(out, PduType::bind_ack, 0x03, 1, ack);
    return out;
  };
  Bytes nak;
  encode_bind_nak(nak, 1, BindNakPdu{});
  const std::pair<Bytes, Status> rows[] = {
      {nak, RPC_S_CALL_FAILED_DNE},
      {ack_with(ctx::provider_rejection, ctx::abstract_syntax_not_supported), RPC_S_UNKNOWN_IF},
      {ack_with(ctx::provider_rejection, ctx::transfer_syntaxes_not_supported), RPC_S_UNSUPPORTED_TRANS_SYN},
  };
  ScriptedServer server(
      [&](int fd, int i) {
        if (!read_pdu(fd).empty()) write_all(fd, rows[i].first);
      },
      static_cast<int>(std::size(rows)));
  for (const auto& [reply, status] : rows) EXPECT_EQ(call_once(server.binding()), status);
}

TEST(ClientSocket, EveryFaultRowReachesTheCallerAndDropsTheConnection) {
  const std::pair<std::uint32_t, Status> rows[] = {
      {nca::s_comm_failure, RPC_S_COMM_FAILURE},       {nca::s_op_rng_error, RPC_S_PROCNUM_OUT_OF_RANGE},
      {nca::s_unk_if, RPC_S_UNKNOWN_IF},               {nca::s_you_crashed, RPC_S_CALL_FAILED},
      {nca::s_proto_error, RPC_S_PROTOCOL_ERROR},      {nca::s_out_args_too_big, RPC_S_SERVER_OUT_OF_MEMORY},
      {nca::s_server_too_busy, RPC_S_SERVER_TOO_BUSY}, {nca::s_unsupported_type, RPC_S_UNSUPPORTED_TYPE},
      {nca::s_fault_int_div_by_zero, RPC_S_ZERO_DIVIDE}, {nca::s_fault_addr_error, RPC_S_ADDRESS_ERROR},
      {nca::unspec_reject, RPC_S_CALL_FAILED},         {nca::s_bad_actid, RPC_S_CALL_FAILED_DNE},
      {nca::manager_not_entered, RPC_S_CALL_FAILED_DNE}, {nca::s_fault_cancel, RPC_S_CALL_CANCELLED},
      {nca::s_fault_unspec, RPC_S_CALL_FAILED},        {nca::s_fault_invalid_bound, RPC_S_INVALID_BOUND},
      {nca::s_fault_invalid_tag, RPC_S_INVALID_TAG},   {nca::rpc_version_mismatch, RPC_S_PROTOCOL_ERROR},
      {nca::s_fault_context_mismatch, ERROR_INVALID_HANDLE}, {nca::s_fault_remote_no_memory, RPC_S_SERVER_OUT_OF_MEMORY},
      {nca::s_fault_ndr, RPC_X_BAD_STUB_DATA},         {5, ERROR_ACCESS_DENIED},
  };
  ScriptedServer server(
      [&](int fd, int i) {
        if (!accept_bind(fd) || !read_request(fd)) return;
        Bytes out;
        encode_fault(out, pfc::first_frag | pfc::last_frag | pfc::did_not_execute, 2, FaultPdu{32, 0, 0, 0, rows[i].first});
        write_all(fd, out);
        drain(fd);
      },
      static_cast<int>(std::size(rows)));
  for (const auto& [fault, status] : rows) EXPECT_EQ(call_once(server.binding()), status) << std::hex << fault;
}

TEST(ClientSocket, TransportFailuresSayWhetherTheRequestLeft) {
  {  // nobody listens: refused before anything was sent
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    EXPECT_EQ(call_once("ncacn_ip_tcp:127.0.0.1[" + std::to_string(ntohs(a.sin_port)) + "]"),
              RPC_S_SERVER_UNAVAILABLE);
  }
  {  // the server closes right after reading the request: nobody knows whether it ran
    ScriptedServer server([](int fd, int) {
      if (accept_bind(fd)) read_request(fd);
    });
    EXPECT_EQ(call_once(server.binding()), RPC_S_CALL_FAILED);
  }
  {  // the server hangs up during the bind
    ScriptedServer server([](int fd, int) { read_pdu(fd); });
    EXPECT_EQ(call_once(server.binding()), RPC_S_SERVER_UNAVAILABLE);
  }
}

// At level 0 a server that accepts and never answers costs the caller about a second, not forever.
TEST(ClientSocket, SilentServerEndsInAFailureAtLevelZero) {
  std::atomic<bool> client_gave_up[2] = {false, false};
  ScriptedServer server(
      [&](int fd, int i) {
        if (i == 1 && (!accept_bind(fd) || !read_request(fd))) return;
        client_gave_up[i] = drain(fd);  // silent until the client hangs up (or far too long has passed)
      },
      2);
  EXPECT_EQ(call_once(server.binding(), kMinTimeout), RPC_S_SERVER_UNAVAILABLE);  // no bind_ack
  EXPECT_EQ(call_once(server.binding(), kMinTimeout), RPC_S_CALL_FAILED);         // no response
  while (server.finished() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(client_gave_up[0]);  // the client's deadline ended the wait, not the server's patience
  EXPECT_TRUE(client_gave_up[1]);
}

// The server answers every call with call_id 1 and the connection carries several calls.
TEST(ClientSocket, RepliesWithAnotherCallIdAreAcceptedOnAReusedConnection) {
  ScriptedServer server([](int fd, int) {
    if (!accept_bind(fd)) return;
    while (read_request(fd)) write_all(fd, response_pdus(Bytes{1, 0, 0, 0}, 1));
  });
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding(server.binding(), b), RPC_S_OK);
  for (int i = 0; i < 3; ++i) {
    Bytes out;
    ASSERT_EQ(b->call(kMachine, 0, {}, out), RPC_S_OK);
    EXPECT_EQ(out, (Bytes{1, 0, 0, 0}));
  }
  EXPECT_TRUE(b->connected());
  EXPECT_EQ(binding_free(b), RPC_S_OK);
  EXPECT_EQ(server.accepted(), 1);
}

// A request larger than the server's fragment size goes out in fragments; the echo comes back in
// many small fragments written one byte per segment.
TEST(ClientSocket, FragmentedRequestAndTrickledFragmentedResponse) {
  Bytes stub(9000);
  for (std::size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<std::uint8_t>(i % 251);
  ScriptedServer server([](int fd, int) {
    if (!accept_bind(fd, 2048)) return;
    if (auto req = read_request(fd)) write_all(fd, response_pdus(*req, 2, 700), true);
    drain(fd);
  });
  Bytes echoed;
  EXPECT_EQ(call_once(server.binding(), kDefaultTimeout, &echoed, stub), RPC_S_OK);
  EXPECT_EQ(echoed, stub);
}

// A server that closed an idle connection does not make the next call fail: nothing of that call
// had been sent, so it is made on a new connection.
TEST(ClientSocket, IdleConnectionClosedByTheServerIsReplaced) {
  ScriptedServer server(
      [](int fd, int) {
        if (accept_bind(fd) && read_request(fd)) write_all(fd, response_pdus(Bytes{0, 0, 0, 0}, 2));
      },
      2);
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding(server.binding(), b), RPC_S_OK);
  Bytes out;
  ASSERT_EQ(b->call(kMachine, 0, {}, out), RPC_S_OK);
  for (int i = 0; i < 500 && server.finished() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // until the server has closed
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));    // and its FIN has arrived
  EXPECT_EQ(b->call(kMachine, 0, {}, out), RPC_S_OK);
  EXPECT_EQ(server.accepted(), 2);
}

}  // namespace
}  // namespace tarvik::rpc
