// String bindings, binding handles made from them, and communication time-out levels.
#include <gtest/gtest.h>

#include "platform/rpc/client.h"

namespace tarvik::rpc {
namespace {

TEST(StringBinding, ParsesWellFormedAndRefusesMalformed) {
  struct Row {
    const char* text;
    Status status;
    StringBindingParts parts;  // compared when status is RPC_S_OK
  };
  const Row rows[] = {
      {"ncacn_ip_tcp:192.0.2.10[3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "192.0.2.10", "3011", ""}},
      {"ncacn_ip_tcp:[3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "", "3011", ""}},
      {"ncacn_ip_tcp:h[3011,a=1,b=2]", RPC_S_OK, {"", "ncacn_ip_tcp", "h", "3011", "a=1,b=2"}},
      {"ncacn_ip_tcp:h[a=1,Endpoint=7]", RPC_S_OK, {"", "ncacn_ip_tcp", "h", "7", "a=1"}},
      {"6b29fc40-ca47-1067-b31d-00dd010662da@ncacn_ip_tcp:h",
       RPC_S_OK,
       {"6b29fc40-ca47-1067-b31d-00dd010662da", "ncacn_ip_tcp", "h", "", ""}},
      {"ncacn_ip_tcp:::1[3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "::1", "3011", ""}},
      {R"(ncacn_ip_tcp:a\@b\[c\]\\[1])", RPC_S_OK, {"", "ncacn_ip_tcp", R"(a@b[c]\)", "1", ""}},
      {"ncacn_ip_tcp", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011]x", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011,opt]", RPC_S_INVALID_STRING_BINDING, {}},
      {R"(ncacn_ip_tcp:h\)", RPC_S_INVALID_STRING_BINDING, {}},
      {"not-a-uuid@ncacn_ip_tcp:h[1]", RPC_S_INVALID_STRING_UUID, {}},
      {":h[1]", RPC_S_INVALID_RPC_PROTSEQ, {}},
      {"ncacn_ip_tcp:h[1,endpoint=2]", RPC_S_INVALID_ENDPOINT_FORMAT, {}},
  };
  for (const Row& row : rows) {
    StringBindingParts p;
    ASSERT_EQ(string_binding_parse(row.text, p), row.status) << row.text;
    if (row.status != RPC_S_OK) continue;
    EXPECT_EQ(std::tie(p.object_uuid, p.protseq, p.network_address, p.endpoint, p.options),
              std::tie(row.parts.object_uuid, row.parts.protseq, row.parts.network_address,
                       row.parts.endpoint, row.parts.options))
        << row.text;
  }
}

TEST(StringBinding, ComposesTheStandardFormThatParsesBack) {
  const std::pair<StringBindingParts, const char*> rows[] = {
      {{"", "ncacn_ip_tcp", "192.0.2.10", "3011", ""}, "ncacn_ip_tcp:192.0.2.10[3011]"},
      {{"", "ncacn_ip_tcp", "", "3011", ""}, "ncacn_ip_tcp:[3011]"},
      {{"", "ncacn_ip_tcp", R"(a@b[c]\)", "1", "x=1"}, R"(ncacn_ip_tcp:a\@b\[c\]\\[1,x=1])"},
  };
  for (const auto& [parts, expected] : rows) {
    std::string text;
    StringBindingParts back;
    ASSERT_EQ(string_binding_compose(parts, text), RPC_S_OK);
    EXPECT_EQ(text, expected);
    ASSERT_EQ(string_binding_parse(text, back), RPC_S_OK);
    EXPECT_EQ(back.network_address, parts.network_address);
  }
}

TEST(StringBinding, BindingHandleAcceptsOnlyTcpWithAPortAndLeavesTheAddressToTheCall) {
  const std::pair<const char*, Status> rows[] = {
      {"ncacn_ip_tcp:machine-7.shop[65535]", RPC_S_OK},
      {"ncacn_ip_tcp:[endpoint=1]", RPC_S_OK},
      {"ncacn_np:h[x]", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_ip_tcp:h[0]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[65536]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[ 3011]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h", RPC_S_INVALID_ENDPOINT_FORMAT},  // no endpoint mapper: the port is required
      {"ncacn_ip_tcp:h[3011", RPC_S_INVALID_STRING_BINDING},
  };
  for (const auto& [text, status] : rows) {
    std::unique_ptr<Binding> b;
    EXPECT_EQ(binding_from_string_binding(text, b), status) << text;
    EXPECT_EQ(b != nullptr && !b->connected(), status == RPC_S_OK) << text;  // nothing connects yet
  }
  // A zero byte would make the resolver look up a shorter name than the one given.
  std::unique_ptr<Binding> b;
  EXPECT_EQ(binding_from_string_binding(std::string("ncacn_ip_tcp:host\0.example[3011]", 32), b),
            RPC_S_INVALID_NET_ADDR);
  EXPECT_EQ(b, nullptr);
}

// Addresses no resolver knows are taken by the binding and fail the call as an unreachable server
// does, before anything is sent. ("?" and "bad host" are refused by the resolver itself, so no query
// leaves this computer.)
TEST(StringBinding, AnAddressThatDoesNotResolveFailsTheCallWithServerUnavailable) {
  for (const char* text : {"ncacn_ip_tcp:?[3011]", "ncacn_ip_tcp:bad host[3011]"}) {
    std::unique_ptr<Binding> b;
    ASSERT_EQ(binding_from_string_binding(text, b), RPC_S_OK);
    std::vector<std::uint8_t> out;
    const SyntaxId iface{*Uuid::parse("d6542300-c15a-11d0-a0cb-00a0244ce687"), 1, 1};
    EXPECT_EQ(b->call(iface, 0, {}, out), RPC_S_SERVER_UNAVAILABLE) << text;
    EXPECT_FALSE(b->connected());
  }
}

TEST(Timeouts, LevelsGiveDeadlinesAndRefusedLevelsKeepTheOldOne) {
  const long seconds[] = {1, 2, 4, 8, 15, 30, 60, 120, 240, 480};
  for (unsigned level = 0; level < 10; ++level)
    EXPECT_EQ(timeout_for_level(level), std::chrono::seconds(seconds[level]));
  EXPECT_EQ(timeout_for_level(kInfiniteTimeout), std::chrono::milliseconds::zero());

  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding("ncacn_ip_tcp:[3011]", b), RPC_S_OK);
  EXPECT_EQ(b->com_timeout(), kDefaultTimeout);
  EXPECT_EQ(b->set_com_timeout(9), RPC_S_OK);
  EXPECT_EQ(b->set_com_timeout(11), RPC_S_INVALID_TIMEOUT);
  EXPECT_EQ(b->set_com_timeout(static_cast<unsigned>(-3)), RPC_S_INVALID_TIMEOUT);
  EXPECT_EQ(b->com_timeout(), 9u);
  EXPECT_EQ(binding_free(b), RPC_S_OK);
  EXPECT_EQ(binding_free(b), RPC_S_INVALID_BINDING);
}

}  // namespace
}  // namespace tarvik::rpc
