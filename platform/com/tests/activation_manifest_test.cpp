// Registration-free activation: this program's build places a manifest beside it naming the test
// module, and the private registry stays empty (or points elsewhere).
#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/class_registration.h"
#include "platform/com/tests/activation_test_support.h"
#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

class ManifestActivation : public ::testing::Test {
 protected:
  PrivateRegistry registry_;
};

TEST_F(ManifestActivation, CreatesByProgIdAndByClsidWithoutAnyRegistration) {
  for (const char* name :
       {"Tarvik.TestWidget", "Tarvik.TestWidget.1", "{6B1D3F20-9C4E-4A51-8D2E-3F6A7B8C9D01}"}) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(create_instance(name, &d), S_OK) << name;
  }
  Registry reg;
  ASSERT_EQ(load_registry(registry_.path(), &reg), S_OK);
  EXPECT_TRUE(reg.empty());
}

TEST_F(ManifestActivation, TheManifestComesBeforeTheRegistry) {
  ASSERT_EQ(update_registry(registry_.path(),
                            [](Registry& r) {
                              ClassRegistration c;
                              c.clsid = kClsidWidget;
                              c.prog_id = "Tarvik.TestWidget.1";
                              c.module_path = "/nonexistent/elsewhere.so";
                              register_class(r, c);
                              return S_OK;
                            }),
            S_OK);
  ComPtr<IDispatch> d;
  EXPECT_EQ(create_instance("Tarvik.TestWidget.1", &d), S_OK);
  std::string module;
  ASSERT_EQ(module_of_class(kClsidWidget, &module), S_OK);
  EXPECT_EQ(std::filesystem::canonical(module), std::filesystem::canonical(TEST_COMPONENT_PATH));
  // The registry still serves what the manifest does not name.
  EXPECT_EQ(create_instance(kIidIWidget.to_string(), &d), REGDB_E_CLASSNOTREG);
}

TEST_F(ManifestActivation, TypeInformationComesFromTheManifestsModule) {
  std::shared_ptr<const TypeLibrary> lib;
  ASSERT_EQ(load_registered_type_library(kLibidWidget, 1, 0, &lib), S_OK);
  ASSERT_NE(lib->find_interface(kIidIWidget), nullptr);
  EXPECT_EQ(lib->find_interface(kIidIWidget)->find("Subtract")->id, kSubtract);
}

}  // namespace
}  // namespace tarvik::com::testing
