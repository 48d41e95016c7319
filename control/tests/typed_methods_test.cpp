// IMachine's typed telegram methods: their slots in the order C++ host programs compile against,
// and the same wire traffic as Invoke by DISPID for every telegram; and what a default object (and
// any address that names no computer) gets when it sends.
#include <cstring>
#include <tuple>
#include <utility>

#include "control/tests/machine_fixture.h"
#include "platform/codepage/codepage.h"
#include "platform/rpc/status.h"
#include "tests/support/peer.h"
#include "tests/support/sample_values.h"

namespace tarvik::control::test {
namespace {

using protocol::MachineOp;
using nlohmann::json;

// The vtable slot of a virtual member function (Itanium C++ ABI: 1 + the slot's byte offset).
template <class F>
std::ptrdiff_t slot_of(F IMachine::*member) {
  static_assert(sizeof member == 2 * sizeof(std::ptrdiff_t));
  std::ptrdiff_t raw[2];
  std::memcpy(raw, &member, sizeof raw);
  return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(TypedMethods, SlotsFollowIDispatchThenFourteenAccessorsThenSeventeenMethodsInDispidOrder) {
  const std::ptrdiff_t accessors[] = {
      slot_of(&IMachine::get_MachineID),      slot_of(&IMachine::put_MachineID),
      slot_of(&IMachine::get_MachineIP),      slot_of(&IMachine::put_MachineIP),
      slot_of(&IMachine::get_MachinePort),    slot_of(&IMachine::put_MachinePort),
      slot_of(&IMachine::get_MachineTimeout), slot_of(&IMachine::put_MachineTimeout),
      slot_of(&IMachine::get_HostID),         slot_of(&IMachine::put_HostID),
      slot_of(&IMachine::get_HostPort),       slot_of(&IMachine::put_HostPort),
      slot_of(&IMachine::get_HostEnabled),    slot_of(&IMachine::put_HostEnabled)};
  constexpr std::ptrdiff_t kFirst = 7;  // IUnknown's three, IDispatch's four
  for (std::size_t i = 0; i < std::size(accessors); ++i) EXPECT_EQ(accessors[i], kFirst + std::ptrdiff_t(i)) << i;
#define TARVIK_EXPECT_SLOT(name)                                                                      \
  EXPECT_EQ(slot_of(&IMachine::name), kFirst + 14 + (protocol::find_telegram(#name)->method_dispid - 10)) \
      << #name;
  TARVIK_MACHINE_TELEGRAMS(TARVIK_EXPECT_SLOT)
#undef TARVIK_EXPECT_SLOT
  EXPECT_EQ(slot_of(&IMachine::Telegram), kFirst + 14 + 17);
}

// Caller-side arguments of a telegram from sample wire values: numbers, and texts as BSTRs.
std::vector<com::Variant> caller_values(const protocol::TelegramInfo& t, int seed) {
  std::vector<com::Variant> out;
  const auto values = tarvik::test::sample_values(t, seed);
  for (std::size_t i = 2; i < values.size(); ++i) {
    if (const auto* n = std::get_if<std::int32_t>(&values[i]))
      out.push_back(com::Variant::i4(*n));
    else
      out.push_back(text(codepage::from_ansi(*std::get<protocol::WireText>(values[i]), 1252)));
  }
  return out;
}

// A typed method's argument from a variant of its type: the number, or the BSTR by reference.
template <class T>
T argument(const com::Variant& v) {
  if constexpr (std::is_same_v<T, std::int32_t>) {
    return v.as_i4();
  } else {
    return v.as_bstr();
  }
}

template <MachineOp Op, std::size_t... I>
com::HRESULT call_typed(IMachine* m, TelegramMethod<Op> IMachine::*method, const std::vector<com::Variant>& args,
                        std::int32_t* ret, std::index_sequence<I...>) {
  if constexpr (telegram_method::info(Op).has_result) {
    return (m->*method)(argument<std::tuple_element_t<I, TelegramArgs<Op>>>(args.at(I))..., ret);
  } else {
    return (m->*method)();
  }
}

// Each telegram's typed method, called with variants in declaration order.
using TypedCall = com::HRESULT (*)(IMachine*, const std::vector<com::Variant>&, std::int32_t*);
const std::pair<std::string_view, TypedCall> kTypedCalls[] = {
#define TARVIK_TYPED_CALL(name)                                                                 \
  {#name, [](IMachine* m, const std::vector<com::Variant>& args, std::int32_t* ret) {           \
     return call_typed<MachineOp::name>(                                                        \
         m, &IMachine::name, args, ret,                                                         \
         std::make_index_sequence<std::tuple_size_v<TelegramArgs<MachineOp::name>>>{});         \
   }},
    TARVIK_MACHINE_TELEGRAMS(TARVIK_TYPED_CALL)
#undef TARVIK_TYPED_CALL
};

// What the peer saw of one call, without the connection's bookkeeping.
json seen(tarvik::test::PeerServer& peer) {
  json call = peer.next_call();
  call.erase("conn");
  call.erase("call_id");
  return call;
}

TEST(TypedMethods, EveryTypedCallReachesTheWireExactlyAsInvokeDoes) {
  tarvik::test::PeerServer peer("machine", {"--status", "7", "--status-for", "C_MODE_M=-3"});
  auto m = new_machine();
  put(m, Property::HostPort, com::Variant::i4(0));
  put(m, Property::HostID, text(u"H1"));
  put(m, Property::MachineID, text(u"cnc-12a"));
  put(m, Property::MachineIP, text(u"127.0.0.1"));
  put(m, Property::MachinePort, com::Variant::i4(peer.port()));

  for (const auto& [name, typed] : kTypedCalls) {
    SCOPED_TRACE(std::string(name));
    const protocol::TelegramInfo& t = *protocol::find_telegram(name);
    const std::vector<com::Variant> args = caller_values(t, 3 + t.opnum);
    com::Variant by_dispid;
    ASSERT_EQ(com::invoke(m.get(), t.method_dispid, com::DISPATCH_METHOD, args, &by_dispid), com::S_OK);
    const json invoked = seen(peer);
    std::int32_t ret = 12345;
    ASSERT_EQ(typed(m.get(), args, &ret), com::S_OK);
    const json called = seen(peer);

    ASSERT_TRUE(invoked.is_object());
    EXPECT_EQ(invoked["telegram"], std::string(name));
    EXPECT_EQ(called, invoked);
    if (t.has_result) {
      EXPECT_EQ(ret, name == "C_MODE_M" ? -3 : 7);
      EXPECT_EQ(by_dispid, com::Variant::i4(ret));
      EXPECT_EQ(typed(m.get(), args, nullptr), com::E_POINTER);  // refused before anything is sent
    } else {
      EXPECT_EQ(ret, 12345);  // Shutdown_M reports nothing
    }
  }
  // A null BSTR is a null text: refused by the stub with 1780, like a null variant through Invoke.
  std::int32_t ret = 0;
  EXPECT_EQ(m->T_DATA_M(1, 2, com::BStr::null(), u"x", &ret), com::S_OK);
  EXPECT_EQ(ret, rpc::RPC_X_NULL_REF_POINTER);
  EXPECT_EQ(m->C_MODE_M(5, 2, &ret), com::S_OK);
  EXPECT_EQ(ret, -3);
  EXPECT_EQ(seen(peer)["Mode"], 2);  // the null text never left; C_MODE_M is the next call
}

// Making a binding contacts nobody; an address that names no computer fails the call as an
// unreachable machine does. ("?" and "bad host" are refused by the resolver without a query.)
TEST(DefaultObject, SendsToTheUnresolvableAddressAndGetsServerUnavailable) {
  auto m = new_machine();
  put(m, Property::HostPort, com::Variant::i4(0));
  std::int32_t ret = 0;
  ASSERT_EQ(m->T_MACHINE_M(1, &ret), com::S_OK);
  EXPECT_EQ(ret, rpc::RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(impl(m)->connection().binding(), nullptr);  // dropped like after any failed call
  put(m, Property::MachineIP, text(u"bad host"));
  EXPECT_EQ(call(m, 10, {com::Variant::i4(2)}), rpc::RPC_S_SERVER_UNAVAILABLE);
}

}  // namespace
}  // namespace tarvik::control::test
