// Registration, unregistration and creation through the class registry, with the test module loaded
// from its build location. This program has no manifest, so every lookup goes to the registry.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/com/activation.h"
#include "platform/com/class_info.h"
#include "platform/com/class_registration.h"
#include "platform/com/event_sink.h"
#include "platform/com/tests/activation_test_support.h"
#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

class RegistryActivation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(register_module(TEST_COMPONENT_PATH), S_OK); }
  Registry registry() const {
    Registry reg;
    EXPECT_EQ(load_registry(registry_.path(), &reg), S_OK);
    return reg;
  }
  PrivateRegistry registry_;
};

// The keys themselves are the unit tests' business; here: the module names its own file, and
// unregistration through the module leaves nothing behind.
TEST_F(RegistryActivation, RegistrationWritesTheKeysAndUnregistrationLeavesNone) {
  const Registry reg = registry();
  const std::string key = "CLSID\\" + kClsidWidget.to_string();
  EXPECT_EQ(reg.value(key + "\\InprocServer32"), std::filesystem::canonical(TEST_COMPONENT_PATH).string());
  EXPECT_TRUE(reg.key_exists("TypeLib\\" + kLibidWidget.to_string() + "\\1.0"));

  ASSERT_EQ(unregister_module(TEST_COMPONENT_PATH), S_OK);
  EXPECT_EQ(registry().keys(), std::vector<std::string>());
  ComPtr<IDispatch> d;
  EXPECT_EQ(create_instance("Tarvik.TestWidget", &d), CO_E_CLASSSTRING);
  EXPECT_EQ(create_instance(kClsidWidget.to_string(), &d), REGDB_E_CLASSNOTREG);
}

TEST_F(RegistryActivation, CreatesTheSameClassByEitherProgIdAndByClsid) {
  for (const char* name :
       {"Tarvik.TestWidget", "tarvik.testwidget.1", "{6B1D3F20-9C4E-4A51-8D2E-3F6A7B8C9D01}"}) {
    ComPtr<IPersistStreamInit> object;
    ASSERT_EQ(create_instance(name, &object), S_OK) << name;
    Guid clsid;
    ASSERT_EQ(object->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, kClsidWidget) << name;
  }
}

TEST_F(RegistryActivation, AnObjectFromTheModuleWorksThroughDispatchAndEvents) {
  ComPtr<IDispatch> d;
  ASSERT_EQ(create_instance("Tarvik.TestWidget", &d), S_OK);
  // The container learns the event interface from the object itself.
  const auto events = default_source_interface(d.get());
  ASSERT_TRUE(events);
  ASSERT_EQ(events->name, "_IWidgetEvents");
  std::vector<Variant> heard;
  auto sink = make_event_sink(events->iid, [&](DispId id, std::span<const Variant> args) {
    if (events->find(id)->name == "Fired") heard.assign(args.begin(), args.end());
  });
  std::uint32_t cookie = 0;
  ASSERT_EQ(connect_events(d.get(), kDiidWidgetEvents, sink.get(), &cookie), S_OK);
  const Variant args[] = {Variant::bstr(u"9"), Variant::bstr(u"text")};  // "9" converts to the declared long
  ASSERT_EQ(invoke(d.get(), dispid_of(d.get(), u"Fire"), DISPATCH_METHOD, args), S_OK);
  EXPECT_EQ(heard, std::vector<Variant>({Variant::i4(9), Variant::bstr(u"text")}));
  EXPECT_EQ(disconnect_events(d.get(), kDiidWidgetEvents, cookie), S_OK);
}

TEST_F(RegistryActivation, TypeInformationComesFromTheRegisteredModule) {
  std::shared_ptr<const TypeLibrary> lib;
  ASSERT_EQ(load_registered_type_library(kLibidWidget, 1, 0, &lib), S_OK);
  EXPECT_NE(print_type_library(*lib).find("library WIDGETLIB"), std::string::npos);
  EXPECT_EQ(load_registered_type_library(kLibidWidget, 2, 0, &lib), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(RegistryActivation, FailuresOfTheModuleAreReported) {
  ComPtr<IDispatch> d;
  EXPECT_EQ(create_instance("No.Such.Class", &d), CO_E_CLASSSTRING);
  EXPECT_EQ(create_instance("{6B1D3F20-9C4E-4A51-8D2E-3F6A7B8C9D0}", &d), CO_E_CLASSSTRING);
  EXPECT_EQ(create_instance(kIidIWidget.to_string(), &d), REGDB_E_CLASSNOTREG);
  // The module refuses a class it does not serve.
  ASSERT_EQ(
      update_registry(
          registry_path(),
          [](Registry& r) {
            r.set_value("CLSID\\" + kIidIWidget.to_string() + "\\InprocServer32", "", TEST_COMPONENT_PATH);
            r.set_value("CLSID\\" + kLibidWidget.to_string() + "\\InprocServer32", "", "/nonexistent/lib.so");
            r.set_value("CLSID\\" + kDiidWidgetEvents.to_string() + "\\InprocServer32", "",
                        module_path_of(reinterpret_cast<const void*>(&::getpid)));  // the C library
            return S_OK;
          }),
      S_OK);
  EXPECT_EQ(create_instance(kIidIWidget.to_string(), &d), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(create_instance(kLibidWidget.to_string(), &d), E_MOD_NOT_FOUND);
  EXPECT_EQ(create_instance(kDiidWidgetEvents.to_string(), &d), CO_E_ERRORINDLL);
  // An aggregating caller may ask for IUnknown only.
  ComPtr<IUnknown> outer = make_object<MemoryStream>().as<IUnknown>();
  EXPECT_EQ(create_instance(kClsidWidget, outer.get(), IDispatch::kIid, d.put_void()), CLASS_E_NOAGGREGATION);
  // A corrupt registry is an error, not an empty one.
  std::ofstream(registry_.path()) << "garbage\n";
  EXPECT_EQ(create_instance("Tarvik.TestWidget", &d), REGDB_E_READREGDB);
}

TEST_F(RegistryActivation, AnIdleModuleIsUnloadedAndABusyOneKept) {
  ComPtr<IDispatch> d;
  ASSERT_EQ(create_instance("Tarvik.TestWidget", &d), S_OK);
  ASSERT_TRUE(module_loaded(TEST_COMPONENT_PATH));
  EXPECT_EQ(free_unused_modules(), 0u);
  EXPECT_TRUE(module_loaded(TEST_COMPONENT_PATH));
  d.reset();
  EXPECT_EQ(free_unused_modules(), 1u);
  EXPECT_FALSE(module_loaded(TEST_COMPONENT_PATH));
  ASSERT_EQ(create_instance("Tarvik.TestWidget", &d), S_OK) << "loaded again on demand";
}

}  // namespace
}  // namespace tarvik::com::testing
