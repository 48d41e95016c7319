// The registry's text form and key tree, class registration keys, and manifests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/com/class_registration.h"
#include "platform/com/manifest.h"

namespace tarvik::com {
namespace {

constexpr Guid kClsid = make_guid("{EDF199C1-4F2E-11D3-9DC3-00A0249B4877}");
constexpr Guid kLibid = make_guid("{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");

TEST(Registry, TextRoundTripKeepsKeysValuesAndEscapes) {
  Registry reg;
  ASSERT_TRUE(reg.set_value("A\\B", "", "quote \" back \\ line\nend"));
  ASSERT_TRUE(reg.set_value("A\\B", "Named", "x=y"));
  ASSERT_TRUE(reg.create_key("A\\Flag"));
  const auto back = Registry::parse(reg.to_text());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->to_text(), reg.to_text());
  EXPECT_EQ(back->value("a\\b"), "quote \" back \\ line\nend") << "keys match without regard to case";
  EXPECT_EQ(back->value("A\\B", "named"), "x=y");
  EXPECT_TRUE(back->key_exists("A\\FLAG"));
  EXPECT_FALSE(back->value("A\\Flag"));
  EXPECT_EQ(back->subkeys("A"), std::vector<std::string>({"B", "Flag"}));
}

TEST(Registry, RefusesMalformedTextAndPaths) {
  for (const char* bad :
       {"@=\"no key\"", "[A\n@=unquoted", "[A]\n\"\"=\"empty name\"", "[A\\\\B]", "[A]\n@=\"bad \\q escape\"",
        "[A]\n@=\"unterminated", "[A]\n@=\"x\" trailing", "[A"}) {
    std::string error;
    EXPECT_FALSE(Registry::parse(bad, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  Registry reg;
  EXPECT_FALSE(reg.create_key(""));
  EXPECT_FALSE(reg.create_key("A\\"));
  EXPECT_FALSE(reg.set_value("A\nB", "", "x"));
  EXPECT_TRUE(Registry::parse("# only a comment\r\n\n; another\n")->empty());
}

ClassRegistration machine_like() {
  ClassRegistration c;
  c.clsid = kClsid;
  c.description = "Machine Class";
  c.prog_id = "Mevrix.Machine.1";
  c.version_independent_prog_id = "Mevrix.Machine";
  c.module_path = "/opt/lib/libThing.so";
  c.typelib = kLibid;
  c.version = "1.0";
  c.extra_keys = {{"Programmable", std::nullopt}, {"MiscStatus", "0"}, {"MiscStatus\\1", "132497"}};
  return c;
}

TEST(ClassRegistration, WritesProgIdsClassKeyAndTypeLibrary) {
  Registry reg;
  reg.set_value("CLSID\\{EDF199C1-4F2E-11D3-9DC3-00A0249B4877}\\Stale", "", "from an older version");
  ASSERT_TRUE(register_class(reg, machine_like()));
  ASSERT_TRUE(register_type_library(reg, {kLibid, 1, 0, "help", "/opt/lib/libThing.so"}));
  const std::string key = "CLSID\\{EDF199C1-4F2E-11D3-9DC3-00A0249B4877}";
  EXPECT_EQ(reg.value("Mevrix.Machine.1"), "Machine Class");
  EXPECT_EQ(reg.value("Mevrix.Machine\\CurVer"), "Mevrix.Machine.1");
  EXPECT_EQ(reg.value(key + "\\InprocServer32"), "/opt/lib/libThing.so");
  EXPECT_EQ(reg.value(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(reg.value(key + "\\TypeLib"), "{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");
  EXPECT_EQ(reg.value(key + "\\MiscStatus\\1"), "132497");
  EXPECT_TRUE(reg.key_exists(key + "\\Programmable"));
  EXPECT_FALSE(reg.key_exists(key + "\\Stale")) << "the class key is replaced as a whole";

  EXPECT_EQ(clsid_from_prog_id(reg, "mevrix.machine"), kClsid);
  EXPECT_EQ(inproc_server(reg, kClsid), "/opt/lib/libThing.so");
  EXPECT_EQ(type_library_module(reg, kLibid, 1, 0), "/opt/lib/libThing.so");
  EXPECT_FALSE(clsid_from_prog_id(reg, "CLSID\\x"));
}

TEST(ClassRegistration, ProgIdResolvesThroughCurVer) {
  Registry reg;
  reg.set_value("Only.Indirect", "", "x");
  reg.set_value("Only.Indirect\\CurVer", "", "Only.Indirect.2");
  reg.set_value("Only.Indirect.2\\CLSID", "", kClsid.to_string());
  EXPECT_EQ(clsid_from_prog_id(reg, "Only.Indirect"), kClsid);
  reg.set_value("Loop\\CurVer", "", "Loop");
  EXPECT_FALSE(clsid_from_prog_id(reg, "Loop")) << "a CurVer cycle ends";
}

TEST(ClassRegistration, UnregistrationLeavesNoKeyButSparesOtherClasses) {
  Registry reg;
  reg.set_value("Other.Key", "", "untouched");
  const std::string before = reg.to_text();
  ASSERT_TRUE(register_class(reg, machine_like()));
  ASSERT_TRUE(register_type_library(reg, {kLibid, 1, 0, "help", "/opt/lib/libThing.so"}));
  unregister_class(reg, kClsid);
  unregister_type_library(reg, kLibid, 1, 0);
  reg.delete_tree("CLSID");  // as unregister_server() does once no class is left
  EXPECT_EQ(reg.to_text(), before);

  // A ProgID taken over by another class since stays.
  ASSERT_TRUE(register_class(reg, machine_like()));
  reg.set_value("Mevrix.Machine\\CLSID", "", "{00000000-0000-0000-0000-000000000001}");
  unregister_class(reg, kClsid);
  EXPECT_TRUE(reg.key_exists("Mevrix.Machine"));
  EXPECT_FALSE(reg.key_exists("Mevrix.Machine.1"));
}

TEST(RegistryFile, UpdatesUnderLockAndRefusesACorruptFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("tarvik-reg-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  const std::string path = (dir / "sub" / "registry").string();
  Registry reg;
  ASSERT_EQ(load_registry(path, &reg), S_OK) << "a missing file is an empty registry";
  EXPECT_TRUE(reg.empty());
  ASSERT_EQ(update_registry(path, [](Registry& r) { return r.set_value("K", "", "v") ? S_OK : E_FAIL; }),
            S_OK);
  ASSERT_EQ(update_registry(path,
                            [](Registry& r) {
                              r.set_value("K", "", "lost");
                              return E_ABORT;
                            }),
            E_ABORT);
  ASSERT_EQ(load_registry(path, &reg), S_OK);
  EXPECT_EQ(reg.value("K"), "v") << "a failed change writes nothing";

  std::ofstream(path) << "[K]\nnonsense\n";
  EXPECT_EQ(load_registry(path, &reg), REGDB_E_READREGDB);
  EXPECT_EQ(update_registry(path, [](Registry&) { return S_OK; }), REGDB_E_READREGDB);
  std::filesystem::remove_all(dir);

  ::setenv("TARVIK_REGISTRY", "/x/reg", 1);
  EXPECT_EQ(registry_path(), "/x/reg");
  ::setenv("TARVIK_REGISTRY", "", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(registry_path(), "/cfg/tarvik/registry");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(registry_path(), "/home/u/.config/tarvik/registry");
}

TEST(Manifest, ParsesModulesClassesAndTypeLibraries) {
  const auto m = Manifest::parse(
      "# beside the program\n"
      "module libA.so\n"
      "class {EDF199C1-4F2E-11D3-9DC3-00A0249B4877} Mevrix.Machine.1 Mevrix.Machine\n"
      "typelib {03B415E0-4F2E-11D3-9DC3-00A0249B4877} 1.0\n"
      "module /abs/libB.so\n"
      "  class   {00000000-0000-0000-0000-000000000001}\r\n",
      "/opt/app");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->modules.size(), 2u);
  EXPECT_EQ(m->modules[0].path, "/opt/app/libA.so");
  EXPECT_EQ(m->clsid_of("MEVRIX.MACHINE"), kClsid);
  EXPECT_EQ(m->module_of(kClsid), &m->modules[0]);
  EXPECT_EQ(m->module_of_typelib(kLibid, 1, 0), &m->modules[0]);
  EXPECT_EQ(m->module_of_typelib(kLibid, 2, 0), nullptr);
  EXPECT_EQ(m->module_of(*Guid::parse("{00000000-0000-0000-0000-000000000001}"))->path, "/abs/libB.so");

  for (const char* bad :
       {"class {EDF199C1-4F2E-11D3-9DC3-00A0249B4877}", "module", "module a b", "module a\nclass nonsense",
        "module a\ntypelib {03B415E0-4F2E-11D3-9DC3-00A0249B4877} 1", "module a\nfrobnicate"}) {
    std::string error;
    EXPECT_FALSE(Manifest::parse(bad, "/", &error)) << bad;
    EXPECT_NE(error.find("line"), std::string::npos);
  }
  Manifest none;
  EXPECT_EQ(load_manifest("/nonexistent/program.manifest", &none), S_FALSE);
}

}  // namespace
}  // namespace tarvik::com
