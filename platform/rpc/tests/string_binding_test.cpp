// String bindings, binding handles made from them, and communication time-out levels.
#include <gtest/gtest.h>

#include <string>

#include "platform/rpc/client.h"

namespace tarvik::rpc {
namespace {

struct ParseRow {
  const char* text;
  Status status;
  StringBindingParts parts;  // checked when status is RPC_S_OK
};

TEST(StringBinding, ParsesWellFormedAndRefusesMalformed) {
  const ParseRow rows[] = {
      {"ncacn_ip_tcp:192.0.2.10[3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "192.0.2.10", "3011", ""}},
      {"ncacn_ip_tcp:[3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "", "3011", ""}},
      {"ncacn_ip_tcp:host.example", RPC_S_OK, {"", "ncacn_ip_tcp", "host.example", "", ""}},
      {"ncacn_ip_tcp:h[]", RPC_S_OK, {"", "ncacn_ip_tcp", "h", "", ""}},
      {"ncacn_ip_tcp:h[endpoint=3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "h", "3011", ""}},
      {"ncacn_ip_tcp:h[3011,a=1,b=2]", RPC_S_OK, {"", "ncacn_ip_tcp", "h", "3011", "a=1,b=2"}},
      {"ncacn_ip_tcp:h[a=1,Endpoint=7]", RPC_S_OK, {"", "ncacn_ip_tcp", "h", "7", "a=1"}},
      {"6b29fc40-ca47-1067-b31d-00dd010662da@ncacn_ip_tcp:h[3011]",
       RPC_S_OK,
       {"6b29fc40-ca47-1067-b31d-00dd010662da", "ncacn_ip_tcp", "h", "3011", ""}},
      {"ncacn_ip_tcp:::1[3011]", RPC_S_OK, {"", "ncacn_ip_tcp", "::1", "3011", ""}},
      {"ncacn_ip_tcp:a\\@b\\[c\\]\\\\[1]", RPC_S_OK, {"", "ncacn_ip_tcp", "a@b[c]\\", "1", ""}},
      {"ncacn_ip_tcp:user@h[1]", RPC_S_OK, {"", "ncacn_ip_tcp", "user@h", "1", ""}},  // '@' after ':'
      {"", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011]x", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h]3011", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[[3011]]", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011,opt]", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h[3011,=v]", RPC_S_INVALID_STRING_BINDING, {}},
      {"ncacn_ip_tcp:h\\", RPC_S_INVALID_STRING_BINDING, {}},
      {"not-a-uuid@ncacn_ip_tcp:h[1]", RPC_S_INVALID_STRING_UUID, {}},
      {"@ncacn_ip_tcp:h[1]", RPC_S_INVALID_STRING_UUID, {}},
      {":h[1]", RPC_S_INVALID_RPC_PROTSEQ, {}},
      {"ncacn ip:h[1]", RPC_S_INVALID_RPC_PROTSEQ, {}},
      {"ncacn_ip_tcp:h[1,endpoint=2]", RPC_S_INVALID_ENDPOINT_FORMAT, {}},
  };
  for (const ParseRow& row : rows) {
    SCOPED_TRACE(row.text);
    StringBindingParts p;
    ASSERT_EQ(string_binding_parse(row.text, p), row.status);
    if (row.status != RPC_S_OK) continue;
    EXPECT_EQ(p.object_uuid, row.parts.object_uuid);
    EXPECT_EQ(p.protseq, row.parts.protseq);
    EXPECT_EQ(p.network_address, row.parts.network_address);
    EXPECT_EQ(p.endpoint, row.parts.endpoint);
    EXPECT_EQ(p.options, row.parts.options);
  }
}

TEST(StringBinding, ComposesTheStandardFormAndEscapesDelimiters) {
  const std::pair<StringBindingParts, const char*> rows[] = {
      {{"", "ncacn_ip_tcp", "192.0.2.10", "3011", ""}, "ncacn_ip_tcp:192.0.2.10[3011]"},
      {{"", "ncacn_ip_tcp", "", "3011", ""}, "ncacn_ip_tcp:[3011]"},
      {{"", "ncacn_ip_tcp", "h", "", ""}, "ncacn_ip_tcp:h"},
      {{"6b29fc40-ca47-1067-b31d-00dd010662da", "ncacn_ip_tcp", "h", "1", "a=1"},
       "6b29fc40-ca47-1067-b31d-00dd010662da@ncacn_ip_tcp:h[1,a=1]"},
      {{"", "ncacn_ip_tcp", "a@b[c]\\", "1", ""}, "ncacn_ip_tcp:a\\@b\\[c\\]\\\\[1]"},
  };
  for (const auto& [parts, expected] : rows) {
    std::string text;
    ASSERT_EQ(string_binding_compose(parts, text), RPC_S_OK);
    EXPECT_EQ(text, expected);
    StringBindingParts back;  // what we compose, we parse back unchanged
    ASSERT_EQ(string_binding_parse(text, back), RPC_S_OK) << text;
    EXPECT_EQ(back.network_address, parts.network_address);
    EXPECT_EQ(back.endpoint, parts.endpoint);
  }
}

TEST(StringBinding, BindingHandleAcceptsOnlyTcpWithAPortAndAPlausibleAddress) {
  const std::pair<const char*, Status> rows[] = {
      {"ncacn_ip_tcp:192.0.2.10[3011]", RPC_S_OK},
      {"ncacn_ip_tcp:[1]", RPC_S_OK},
      {"ncacn_ip_tcp:machine-7.shop[65535]", RPC_S_OK},
      {"ncacn_ip_tcp:h[endpoint=3011]", RPC_S_OK},
      {"ncacn_np:h[\\pipe\\x]", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncalrpc:[x]", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_ip_tcp:h[0]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[65536]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[99999999999]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[-1]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[ 3011]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:bad host[3011]", RPC_S_INVALID_NET_ADDR},
      {"ncacn_ip_tcp:h/x[3011]", RPC_S_INVALID_NET_ADDR},
      {"ncacn_ip_tcp:h[3011", RPC_S_INVALID_STRING_BINDING},
  };
  for (const auto& [text, status] : rows) {
    std::unique_ptr<Binding> b;
    EXPECT_EQ(binding_from_string_binding(text, b), status) << text;
    EXPECT_EQ(b != nullptr, status == RPC_S_OK) << text;
    if (b) {
      EXPECT_FALSE(b->connected());  // nothing is connected before the first call
    }
  }
}

TEST(Timeouts, LevelsHaveDoublingDeadlinesAndTenHasNone) {
  const long expected_s[] = {1, 2, 4, 8, 15, 30, 60, 120, 240, 480};
  for (unsigned level = 0; level < 10; ++level) {
    EXPECT_EQ(timeout_for_level(level), std::chrono::seconds(expected_s[level])) << level;
  }
  EXPECT_EQ(timeout_for_level(kInfiniteTimeout), std::chrono::milliseconds::zero());
}

TEST(Timeouts, BindingRefusesLevelsAboveTenAndKeepsItsLevel) {
  std::unique_ptr<Binding> b;
  ASSERT_EQ(binding_from_string_binding("ncacn_ip_tcp:[3011]", b), RPC_S_OK);
  EXPECT_EQ(b->com_timeout(), kDefaultTimeout);
  EXPECT_EQ(b->set_com_timeout(9), RPC_S_OK);
  EXPECT_EQ(b->set_com_timeout(11), RPC_S_INVALID_TIMEOUT);
  EXPECT_EQ(b->set_com_timeout(static_cast<unsigned>(-3)), RPC_S_INVALID_TIMEOUT);
  EXPECT_EQ(b->com_timeout(), 9u);
  EXPECT_EQ(b->set_com_timeout(kInfiniteTimeout), RPC_S_OK);
  EXPECT_EQ(binding_free(b), RPC_S_OK);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(binding_free(b), RPC_S_INVALID_BINDING);
}

}  // namespace
}  // namespace tarvik::rpc
