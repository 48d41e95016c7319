// libRpcTarvik.so as containers load it: self-registration and unregistration, creation by ProgID
// and by class identifier through the registry and through a manifest, the class factory's rules and
// the type library the registration points to.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/com/activation.h"
#include "platform/com/class_factory.h"
#include "platform/com/dispatch.h"
#include "platform/com/module_exports.h"
#include "platform/com/persist.h"

namespace tarvik::com {
namespace {

constexpr std::string_view kClsid = "{EDF199C1-4F2E-11D3-9DC3-00A0249B4877}";
constexpr Guid kMachine = make_guid(kClsid);
constexpr Guid kLibid = make_guid("{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string base = "/tmp/tarvik-control-module-" + std::to_string(getpid());
    paths_.registry = base + ".registry";
    paths_.manifest = base + ".manifest";  // absent unless a test writes it
    std::remove(paths_.registry.c_str());
    std::remove(paths_.manifest.c_str());
    setenv("TARVIK_REGISTRY", paths_.registry.c_str(), 1);
  }
  void TearDown() override {
    std::remove(paths_.registry.c_str());
    std::remove(paths_.manifest.c_str());
    unsetenv("TARVIK_REGISTRY");
  }
  Registry registry() const {
    Registry r;
    EXPECT_EQ(load_registry(paths_.registry, &r), S_OK);
    return r;
  }
  Guid class_of(std::string_view name) {
    ComPtr<IPersistStreamInit> p;
    EXPECT_EQ(create_instance(name, nullptr, IPersistStreamInit::kIid, p.put_void(), paths_), S_OK) << name;
    Guid g;
    if (p) p->GetClassID(&g);
    return g;
  }
  ActivationPaths paths_;
};

TEST_F(ModuleTest, RegistrationWritesTheClassKeysAndUnregistrationLeavesNone) {
  ASSERT_EQ(register_module(RPCTARVIK_MODULE), S_OK);
  const Registry r = registry();
  const std::string cls = "CLSID\\" + std::string(kClsid);
  EXPECT_EQ(r.value("Mevrix.Machine.1"), "Machine Class");
  EXPECT_EQ(r.value("Mevrix.Machine.1\\CLSID"), std::string(kClsid));
  EXPECT_EQ(r.value("Mevrix.Machine\\CLSID"), std::string(kClsid));
  EXPECT_EQ(r.value("Mevrix.Machine\\CurVer"), "Mevrix.Machine.1");
  EXPECT_EQ(r.value(cls), "Machine Class");
  EXPECT_EQ(r.value(cls + "\\ProgID"), "Mevrix.Machine.1");
  EXPECT_EQ(r.value(cls + "\\VersionIndependentProgID"), "Mevrix.Machine");
  EXPECT_EQ(r.value(cls + "\\InprocServer32"), RPCTARVIK_MODULE);
  EXPECT_EQ(r.value(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(r.value(cls + "\\ToolboxBitmap32"), std::string(RPCTARVIK_MODULE) + ", 101");
  EXPECT_EQ(r.value(cls + "\\MiscStatus"), "0");
  EXPECT_EQ(r.value(cls + "\\MiscStatus\\1"), "132497");
  EXPECT_EQ(r.value(cls + "\\TypeLib"), "{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");
  EXPECT_EQ(r.value(cls + "\\Version"), "1.0");
  for (const char* flag : {"Programmable", "Control", "Insertable"})
    EXPECT_TRUE(r.key_exists(cls + "\\" + flag)) << flag;

  // Both ProgIDs and the class identifier name the same class.
  EXPECT_EQ(class_of("Mevrix.Machine"), kMachine);
  EXPECT_EQ(class_of("Mevrix.Machine.1"), kMachine);
  EXPECT_EQ(class_of(kClsid), kMachine);

  std::shared_ptr<const TypeLibrary> lib;
  ASSERT_EQ(load_registered_type_library(kLibid, 1, 0, &lib, paths_), S_OK);
  EXPECT_NE(lib->find_interface("IMachine"), nullptr);  // the registration points at our library

  ASSERT_EQ(unregister_module(RPCTARVIK_MODULE), S_OK);
  const Registry after = registry();
  EXPECT_FALSE(after.key_exists(cls));
  EXPECT_FALSE(after.key_exists("Mevrix.Machine"));
  EXPECT_FALSE(after.key_exists("Mevrix.Machine.1"));
  EXPECT_FALSE(after.key_exists("TypeLib\\{03B415E0-4F2E-11D3-9DC3-00A0249B4877}"));
  ComPtr<IDispatch> none;
  EXPECT_TRUE(failed(create_instance("Mevrix.Machine", nullptr, IDispatch::kIid, none.put_void(), paths_)));
}

TEST_F(ModuleTest, AManifestBesideTheProgramNeedsNoRegistration) {
  std::ofstream(paths_.manifest)
      << "module " << RPCTARVIK_MODULE << "\nclass " << kClsid
      << " Mevrix.Machine.1 Mevrix.Machine\ntypelib {03B415E0-4F2E-11D3-9DC3-00A0249B4877} 1.0\n";
  ComPtr<IDispatch> m;
  ASSERT_EQ(create_instance("Mevrix.Machine", nullptr, IDispatch::kIid, m.put_void(), paths_), S_OK);
  Variant port;
  ASSERT_EQ(get_property(m.get(), dispid_of(m.get(), u"MachinePort"), &port), S_OK);
  EXPECT_EQ(port, Variant::i4(3011));
  EXPECT_TRUE(registry().empty());
}

TEST_F(ModuleTest, FactoryRefusesOtherClassesAndKeepsTheModuleWhileInUse) {
  void* handle = dlopen(RPCTARVIK_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto get = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  auto can_unload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
  ASSERT_TRUE(get && can_unload);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(get(kLibid, IClassFactory::kIid, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(get(kMachine, IClassFactory::kIid, factory.put_void()), S_OK);
  EXPECT_EQ(can_unload(), S_FALSE);  // the factory itself keeps the module

  ComPtr<IDispatch> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IDispatch::kIid, object.put_void()), S_OK);
  factory.reset();
  EXPECT_EQ(can_unload(), S_FALSE);  // and so does a live object
  object.reset();
  EXPECT_EQ(can_unload(), S_OK);
  dlclose(handle);
}

}  // namespace
}  // namespace tarvik::com
