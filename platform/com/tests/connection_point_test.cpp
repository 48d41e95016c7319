// Events through connection points: slot semantics, cookies, limits, and raising from inside a sink.
#include <gtest/gtest.h>

#include "platform/com/event_sink.h"
#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

struct Heard {
  std::string sink;
  DispId id;
  std::vector<Variant> args;
};

class ConnectionPointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    widget_ = make_object<Widget>(nullptr);
    ComPtr<IConnectionPointContainer> container = widget_.as<IConnectionPointContainer>();
    ASSERT_EQ(container->FindConnectionPoint(kDiidWidgetEvents, cp_.put()), S_OK);
  }
  ComPtr<IDispatch> sink(const std::string& name) {
    return make_event_sink(kDiidWidgetEvents, [this, name](DispId id, std::span<const Variant> args) {
      heard_.push_back({name, id, {args.begin(), args.end()}});
    });
  }
  void fire(std::int32_t n) {
    const Variant args[] = {Variant::i4(n), Variant::bstr(u"t")};
    ASSERT_EQ(invoke(widget_.get(), kFire, DISPATCH_METHOD, args), S_OK);
  }
  std::vector<std::string> fired_order() {
    std::vector<std::string> out;
    for (const auto& h : heard_)
      if (h.id == kFired) out.push_back(h.sink);
    return out;
  }
  ComPtr<Widget> widget_;
  ComPtr<IConnectionPoint> cp_;
  std::vector<Heard> heard_;
};

TEST_F(ConnectionPointTest, ANewSinkTakesTheFirstFreeSlot) {
  auto a = sink("a"), b = sink("b"), c = sink("c"), d = sink("d");
  std::uint32_t ca = 0, cb = 0, cc = 0, cd = 0;
  ASSERT_EQ(cp_->Advise(a.get(), &ca), S_OK);
  ASSERT_EQ(cp_->Advise(b.get(), &cb), S_OK);
  ASSERT_EQ(cp_->Advise(c.get(), &cc), S_OK);
  EXPECT_EQ(std::vector<std::uint32_t>({ca, cb, cc}), std::vector<std::uint32_t>({1, 2, 3}));

  ASSERT_EQ(cp_->Unadvise(cb), S_OK);
  ASSERT_EQ(cp_->Advise(d.get(), &cd), S_OK);
  EXPECT_EQ(cd, 2u) << "d reuses b's slot";
  fire(5);
  EXPECT_EQ(fired_order(), std::vector<std::string>({"a", "d", "c"})) << "events go in slot order";

  // Arguments arrive in declaration order, each event to every sink before the next event.
  ASSERT_EQ(heard_.size(), 6u);
  EXPECT_EQ(heard_[0].args, std::vector<Variant>({Variant::i4(5), Variant::bstr(u"t")}));
  EXPECT_EQ(heard_[3].id, kStopped);
  EXPECT_TRUE(heard_[3].args.empty());

  std::vector<ConnectData> connections;
  ASSERT_EQ(cp_->EnumConnections(&connections), S_OK);
  ASSERT_EQ(connections.size(), 3u);
  EXPECT_EQ(connections[1].cookie, 2u);
  EXPECT_TRUE(same_object(connections[1].sink.get(), d.get()));
}

TEST_F(ConnectionPointTest, CookiesThatNameNoConnectionAreRefused) {
  auto a = sink("a");
  std::uint32_t cookie = 0;
  ASSERT_EQ(cp_->Advise(a.get(), &cookie), S_OK);
  EXPECT_EQ(cp_->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(cp_->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(cp_->Unadvise(cookie), S_OK);
  EXPECT_EQ(cp_->Unadvise(cookie), CONNECT_E_NOCONNECTION) << "a slot is freed once";
  fire(1);
  EXPECT_TRUE(heard_.empty());
}

TEST_F(ConnectionPointTest, RefusesSinksWithoutTheEventInterfaceAndBeyondTheLimit) {
  // A sink for another event interface does not answer this one.
  auto stranger = make_event_sink(kIidIWidget, nullptr);
  std::uint32_t cookie = 7;
  EXPECT_EQ(cp_->Advise(stranger.get(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(cp_->Advise(nullptr, &cookie), E_POINTER);

  IConnectionPointContainer* self = widget_.get();
  ConnectionPoint limited(widget_->controlling_unknown(), self, kDiidWidgetEvents, 2);
  auto a = sink("a"), b = sink("b"), c = sink("c");
  std::uint32_t k1 = 0, k2 = 0, k3 = 0;
  EXPECT_EQ(limited.Advise(a.get(), &k1), S_OK);
  EXPECT_EQ(limited.Advise(b.get(), &k2), S_OK);
  EXPECT_EQ(limited.Advise(c.get(), &k3), CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(limited.Unadvise(k1), S_OK);
  EXPECT_EQ(limited.Advise(c.get(), &k3), S_OK);
  EXPECT_EQ(k3, 1u);

  ComPtr<IConnectionPoint> none;
  EXPECT_EQ(widget_->FindConnectionPoint(kIidIWidget, none.put()), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPointTest, ASinkMayDisconnectWhileAnEventIsRaised) {
  std::uint32_t first_cookie = 0, second_cookie = 0;
  auto first = make_event_sink(kDiidWidgetEvents, [&](DispId id, std::span<const Variant>) {
    heard_.push_back({"first", id, {}});
    if (id == kFired) cp_->Unadvise(second_cookie);
  });
  auto second = sink("second");
  ASSERT_EQ(cp_->Advise(first.get(), &first_cookie), S_OK);
  ASSERT_EQ(cp_->Advise(second.get(), &second_cookie), S_OK);
  second.reset();  // the connection point now holds the only reference
  fire(1);
  // The event in flight still reaches the sink it had when it started; the next one does not.
  EXPECT_EQ(fired_order(), std::vector<std::string>({"first", "second"}));
  EXPECT_EQ(heard_.back().sink, "first");
  EXPECT_EQ(cp_->Unadvise(second_cookie), CONNECT_E_NOCONNECTION);
}

// A sink that speaks only IDispatch, as a late-binding container's does: it sees dispatch order.
class DispatchOnlySink final : public Object<IDispatch> {
 public:
  DispatchOnlySink(IUnknown* outer, std::vector<Variant>* seen) : Object(outer), seen_(seen) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, Lcid, std::shared_ptr<const InterfaceInfo>*) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const Guid&, std::span<const std::u16string>, Lcid, DispId*) override { return E_NOTIMPL; }
  HRESULT Invoke(DispId, const Guid&, Lcid, DispatchFlags, const DispParams& params, Variant*, ExcepInfo*,
                 std::uint32_t*) override {
    seen_->assign(params.args.begin(), params.args.end());
    return S_OK;
  }

 private:
  void* find_extra_interface(const Guid& iid) override {
    return iid == kDiidWidgetEvents ? static_cast<IDispatch*>(this) : nullptr;
  }
  std::vector<Variant>* seen_;
};

TEST_F(ConnectionPointTest, RaisingInDeclarationOrderReachesBothKindsOfSinkCorrectly) {
  std::vector<Variant> dispatch_order;
  auto plain = make_object<DispatchOnlySink>(&dispatch_order);
  auto in_order = sink("in order");
  std::uint32_t cookie = 0;
  ASSERT_EQ(cp_->Advise(plain.get(), &cookie), S_OK);
  ASSERT_EQ(cp_->Advise(in_order.get(), &cookie), S_OK);
  const Variant args[] = {Variant::i4(1), Variant::bstr(u"two"), Variant::i4(3)};
  raise_event_in_order(*static_cast<ConnectionPoint*>(cp_.get()), kFired, args);
  EXPECT_EQ(dispatch_order, (std::vector<Variant>{Variant::i4(3), Variant::bstr(u"two"), Variant::i4(1)}));
  ASSERT_EQ(heard_.size(), 1u);
  EXPECT_EQ(heard_[0].args, (std::vector<Variant>{Variant::i4(1), Variant::bstr(u"two"), Variant::i4(3)}));
}

TEST_F(ConnectionPointTest, AHeldConnectionPointKeepsItsObject) {
  ModuleUsage usage;
  ComPtr<IDispatch> d;
  ASSERT_EQ(create_object<Widget>(nullptr, IDispatch::kIid, d.put_void(), &usage), S_OK);
  ComPtr<IConnectionPoint> cp;
  ASSERT_EQ(d.as<IConnectionPointContainer>()->FindConnectionPoint(kDiidWidgetEvents, cp.put()), S_OK);
  d.reset();
  EXPECT_EQ(usage.objects(), 1);
  ComPtr<IConnectionPointContainer> back;
  ASSERT_EQ(cp->GetConnectionPointContainer(back.put()), S_OK);
  back.reset();
  cp.reset();
  EXPECT_EQ(usage.objects(), 0);
}

}  // namespace
}  // namespace tarvik::com::testing
