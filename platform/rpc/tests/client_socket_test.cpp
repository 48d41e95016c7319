// The client's socket driver against scripted servers on 127.0.0.1: each plays one server
// behaviour and the test checks the status the caller sees and what happened to the connection.
#include <gtest/gtest.h>

#include "platform/rpc/client.h"
#include "platform/rpc/pdu.h"
#include "tests/support/scripted_server.h"

namespace tarvik::rpc {
namespace {

using namespace test::scripted;

using Bytes = std::vector<std::uint8_t>;
const SyntaxId kMachine{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};

bool accept_bind(int fd, std::uint16_t frag = 5840) {
  Bytes out;
  encode_bind_ack(out, PduType::bind_ack, 0x03, 1, BindAckPdu{frag, frag, 1, "1", {{0, 0, kNdr20Syntax}}});
  if (read_pdu(fd).empty()) return false;
  write_all(fd, out);
  return true;
}
std::optional<Bytes> read_request(int fd) {  // the whole stub of one request
  Bytes stub;
  for (std::uint8_t flags = 0; !(flags & pfc::last_frag);) {
    const Bytes pdu = read_pdu(fd);
    PduHeader h;
    RequestPdu req;
    if (pdu.empty() || !decode_header(pdu, h) || !decode_request(pdu, h, req)) return std::nullopt;
    stub.insert(stub.end(), req.stub.begin(), req.stub.end());
    flags = h.flags;
  }
  return stub;
}
Bytes response_pdus(const Bytes& stub, std::uint32_t call_id, std::size_t chunk = 5000) {
  Bytes out;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(chunk, stub.size() - at);
    const int flags = (at == 0 ? pfc::first_frag : 0) | (at + n == stub.size() ? pfc::last_frag : 0);
    encode_response(
        out, static_cast<std::uint8_t>(flags), call_id,
        ResponsePdu{static_cast<std::uint32_t>(stub.size() - at), 0, 0, std::span(stub).subspan(at, n)});
    at += n;
  } while (at < stub.size());
  return out;
}

Status call_once(const std::string& binding, unsigned level = kDefaultTimeout, const Bytes& stub = {},
                 Bytes* out = nullptr) {
  std::unique_ptr<Binding> b;
  Bytes stub_out;
  EXPECT_EQ(binding_from_string_binding(binding, b), RPC_S_OK);
  EXPECT_EQ(b->set_com_timeout(level), RPC_S_OK);
  const Status s = b->call(kMachine, 0, stub, stub_out);
  EXPECT_EQ(b->connected(), s == RPC_S_OK);  // every failure closes the connection
  if (out) *out = stub_out;
  return s;
}

// What the server answers to the request (after the bind), or a close instead of an answer to the
// bind or to the request. (Bind refusals are judged in client_connection_test.cpp.)
TEST(ClientSocket, EachServerAnswerGivesItsStatus) {
  struct Row {
    bool to_request;
    Bytes answer;
    Status status;
  };
  auto fault = [](std::uint32_t status, Status expected, std::uint8_t flags = 0x23) {
    Bytes out;
    encode_fault(out, flags, 2, FaultPdu{32, 0, 0, 0, status});
    return Row{true, out, expected};
  };
  const Row rows[] = {
      {false, {}, RPC_S_SERVER_UNAVAILABLE},  // closed during the bind: the request never left
      {true, {}, RPC_S_CALL_FAILED},          // closed after reading the request: it may have run
      fault(nca::s_comm_failure, RPC_S_COMM_FAILURE),
      fault(nca::s_op_rng_error, RPC_S_PROCNUM_OUT_OF_RANGE),
      fault(nca::s_unk_if, RPC_S_UNKNOWN_IF),
      fault(nca::s_you_crashed, RPC_S_CALL_FAILED),
      fault(nca::s_proto_error, RPC_S_PROTOCOL_ERROR),
      fault(nca::s_out_args_too_big, RPC_S_SERVER_OUT_OF_MEMORY),
      fault(nca::s_server_too_busy, RPC_S_SERVER_TOO_BUSY),
      fault(nca::s_unsupported_type, RPC_S_UNSUPPORTED_TYPE),
      fault(nca::s_fault_int_div_by_zero, RPC_S_ZERO_DIVIDE),
      fault(nca::s_fault_addr_error, RPC_S_ADDRESS_ERROR),
      fault(nca::unspec_reject, RPC_S_CALL_FAILED),
      fault(nca::s_bad_actid, RPC_S_CALL_FAILED_DNE),
      fault(nca::manager_not_entered, RPC_S_CALL_FAILED_DNE),
      fault(nca::s_fault_cancel, RPC_S_CALL_CANCELLED),
      fault(nca::s_fault_unspec, RPC_S_CALL_FAILED),
      fault(nca::s_fault_invalid_bound, RPC_S_INVALID_BOUND),
      fault(nca::s_fault_invalid_tag, RPC_S_INVALID_TAG),
      fault(nca::rpc_version_mismatch, RPC_S_PROTOCOL_ERROR),
      fault(nca::s_fault_context_mismatch, ERROR_INVALID_HANDLE),
      fault(nca::s_fault_remote_no_memory, RPC_S_SERVER_OUT_OF_MEMORY),
      fault(nca::s_fault_ndr, RPC_X_BAD_STUB_DATA),
      fault(5, ERROR_ACCESS_DENIED),
      fault(0, RPC_S_CALL_FAILED_DNE),
      fault(0, RPC_S_CALL_FAILED, 0x03),  // a fault never means success
  };
  ScriptedServer server(
      [&](int fd, int i) {
        if (rows[i].to_request ? !accept_bind(fd) || !read_request(fd) : read_pdu(fd).empty()) return;
        if (rows[i].answer.empty()) return;
        write_all(fd, rows[i].answer);
        client_hung_up(fd);
      },
      static_cast<int>(std::size(rows)));
  for (const Row& row : rows) EXPECT_EQ(call_once(server.binding()), row.status) << &row - rows;
}

TEST(ClientSocket, RefusedPortIsUnavailable) {
  std::uint16_t port = ScriptedServer([](int, int) {}, 0).port();  // a port nobody listens on any more
  EXPECT_EQ(call_once("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]"), RPC_S_SERVER_UNAVAILABLE);
}

// At level 0 a server that accepts and then stays silent costs the caller its deadline, not forever.
TEST(ClientSocket, SilentServerEndsInAFailureAtLevelZero) {
  std::atomic<bool> client_gave_up[2] = {false, false};
  ScriptedServer server(
      [&](int fd, int i) {
        if (i == 1 && (!accept_bind(fd) || !read_request(fd))) return;
        client_gave_up[i] = client_hung_up(fd);
      },
      2);
  EXPECT_EQ(call_once(server.binding(), kMinTimeout), RPC_S_SERVER_UNAVAILABLE);  // no bind_ack
  EXPECT_EQ(call_once(server.binding(), kMinTimeout), RPC_S_CALL_FAILED);         // no response
  while (server.finished_ < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(client_gave_up[0] && client_gave_up[1]);  // the client's deadline ended the wait
}

// The server answers with call_id 1 each time and closes after the second call: the third call,
// none of which had left, is made on a new connection.
TEST(ClientSocket, ConnectionIsReusedAndReplacedWhenTheServerDroppedIt) {
  ScriptedServer server(
      [](int fd, int) {
        if (!accept_bind(fd)) return;
        for (int n = 0; n < 2 && read_request(fd); ++n) write_all(fd, response_pdus(Bytes{1, 0, 0, 0}, 1));
      },
      2);
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding(server.binding(), b), RPC_S_OK);
  Bytes out;
  for (int i = 0; i < 3; ++i) {
    if (i == 2) {
      while (server.finished_ < 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the FIN reaches the client
    }
    ASSERT_EQ(b->call(kMachine, 0, {}, out), RPC_S_OK);
    EXPECT_EQ(out, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(server.accepted_, i < 2 ? 1 : 2);
  }
}

// A shutdown request in front of a response: the call succeeds and the connection is closed at once,
// not held open until the next call, which binds on a new connection.
TEST(ClientSocket, AConnectionTheServerAskedToCloseIsClosedAtOnce) {
  Bytes answer;
  encode_header_only(answer, PduType::shutdown, 0x03, 0);
  const Bytes response = response_pdus(Bytes{1, 0, 0, 0}, 1);
  answer.insert(answer.end(), response.begin(), response.end());
  std::atomic<bool> closed_by_client{false};
  ScriptedServer server(
      [&](int fd, int i) {
        if (!accept_bind(fd) || !read_request(fd)) return;
        write_all(fd, answer);
        if (i == 0) closed_by_client = client_hung_up(fd);
      },
      2);
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding(server.binding(), b), RPC_S_OK);
  Bytes out;
  ASSERT_EQ(b->call(kMachine, 0, {}, out), RPC_S_OK);
  for (int i = 0; i < 500 && server.finished_ < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(closed_by_client);
  ASSERT_EQ(b->call(kMachine, 0, {}, out), RPC_S_OK);
  EXPECT_EQ(server.accepted_, 2);
}

// A request beyond the server's fragment size goes out in fragments; the echo comes back in many
// fragments written one byte per segment.
TEST(ClientSocket, FragmentedRequestAndTrickledFragmentedResponse) {
  Bytes stub(9000), echoed;
  for (std::size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<std::uint8_t>(i % 251);
  ScriptedServer server([](int fd, int) {
    if (!accept_bind(fd, 2048)) return;
    if (auto req = read_request(fd)) write_all(fd, response_pdus(*req, 2, 700), true);
    client_hung_up(fd);
  });
  EXPECT_EQ(call_once(server.binding(), kDefaultTimeout, stub, &echoed), RPC_S_OK);
  EXPECT_EQ(echoed, stub);
}

}  // namespace
}  // namespace tarvik::rpc
