// Reference counting, QueryInterface, aggregation and class factories.
#include <gtest/gtest.h>

#include <thread>

#include "platform/com/class_factory.h"
#include "platform/com/drawing.h"
#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

TEST(Object, QueryInterfaceKeepsOneIdentityAndCountsReferences) {
  ModuleUsage usage;
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(create_object<Widget>(nullptr, IDispatch::kIid, dispatch.put_void(), &usage), S_OK);
  EXPECT_EQ(usage.objects(), 1);

  ComPtr<IPersist> persist = dispatch.as<IPersist>();  // through IPersistStreamInit's chain
  ComPtr<IProvideClassInfo> info = dispatch.as<IProvideClassInfo>();
  ASSERT_TRUE(persist && info);
  EXPECT_TRUE(same_object(dispatch.get(), info.get()));
  EXPECT_TRUE(same_object(persist.get(), info.get()));

  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(dispatch->QueryInterface(IClassFactory::kIid, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(dispatch->QueryInterface(IDispatch::kIid, nullptr), E_POINTER);

  dispatch.reset();
  persist.reset();
  EXPECT_EQ(usage.objects(), 1) << "the class information pointer still holds the object";
  info.reset();
  EXPECT_EQ(usage.objects(), 0);
}

TEST(Object, CountsAreThreadSafe) {
  ModuleUsage usage;
  ComPtr<IDispatch> d;
  ASSERT_EQ(create_object<Widget>(nullptr, IDispatch::kIid, d.put_void(), &usage), S_OK);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([raw = d.get()] {
      for (int i = 0; i < 10000; ++i) {
        ComPtr<IDispatch> copy(raw);
        ComPtr<IPersist> p = copy.as<IPersist>();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(d->AddRef(), 2u);
  EXPECT_EQ(d->Release(), 1u);
  d.reset();
  EXPECT_EQ(usage.objects(), 0);
}

// An outer object that aggregates a Widget: it exposes the widget's interfaces as its own.
class Outer final : public Object<IViewObject> {
 public:
  Outer(IUnknown* outer, ModuleUsage* usage, HRESULT* created) : Object(outer) {
    *created = create_object<Widget>(controlling_unknown(), IUnknown::kIid, inner_.put_void(), usage);
  }
  HRESULT Draw(DrawTarget*, const Rect&) override { return E_NOTIMPL; }
  HRESULT GetExtent(Size*) override { return E_NOTIMPL; }
  IUnknown* inner() const { return inner_.get(); }

 private:
  void* find_extra_interface(const Guid& iid) override {
    // Everything but the outer's own IViewObject comes from the inner object.
    void* p = nullptr;
    if (inner_ && succeeded(inner_->QueryInterface(iid, &p))) {
      static_cast<IUnknown*>(p)->Release();  // the reference is taken again by our caller
      return p;
    }
    return nullptr;
  }
  ComPtr<IUnknown> inner_;
};

TEST(Aggregation, InnerInterfacesDelegateToTheOuterObject) {
  ModuleUsage usage;
  HRESULT created = E_FAIL;
  auto outer = make_object<Outer>(&usage, &created);
  ASSERT_EQ(created, S_OK);

  ComPtr<IDispatch> dispatch = outer.as<IDispatch>();  // the inner's interface, reached through the outer
  ASSERT_TRUE(dispatch);
  EXPECT_TRUE(same_object(dispatch.get(), static_cast<IViewObject*>(outer.get())));
  // QueryInterface on the inner's interface delegates: it finds the outer's own IViewObject.
  ComPtr<IViewObject> view = dispatch.as<IViewObject>();
  EXPECT_EQ(view.get(), static_cast<IViewObject*>(outer.get()));

  // References taken through inner interfaces keep the outer alive.
  outer.reset();
  view.reset();
  EXPECT_EQ(usage.objects(), 1);
  Variant v;
  EXPECT_EQ(get_property(dispatch.get(), kName, &v), S_OK);
  dispatch.reset();
  EXPECT_EQ(usage.objects(), 0) << "releasing the outer releases the inner";
}

TEST(ClassFactory, CreatesCountsAndLocks) {
  ModuleUsage usage;
  const ClassEntry classes[] = {{kClsidWidget, &create_object_for<Widget>}};
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(get_class_object(classes, usage, kIidIWidget, IClassFactory::kIid, factory.put_void()),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(get_class_object(classes, usage, kClsidWidget, IClassFactory::kIid, factory.put_void()), S_OK);
  EXPECT_FALSE(usage.idle()) << "a held factory keeps the module";

  ComPtr<IDispatch> d;
  EXPECT_EQ(factory->CreateInstance(nullptr, IDispatch::kIid, d.put_void()), S_OK);
  ComPtr<IDispatch> aggregated;
  EXPECT_EQ(factory->CreateInstance(d.get(), IDispatch::kIid, aggregated.put_void()), CLASS_E_NOAGGREGATION);
  factory->LockServer(true);
  factory.reset();
  EXPECT_FALSE(usage.idle());
  usage.unlock();
  EXPECT_TRUE(usage.idle());
}

}  // namespace
}  // namespace tarvik::com::testing
