#include "platform/com/class_registration.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>

namespace tarvik::com {
namespace {

std::string clsid_key(const Guid& clsid) {
  return "CLSID\\" + clsid.to_string();
}

std::string version_text(std::uint16_t major, std::uint16_t minor) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x.%x", major, minor);
  return buf;
}

std::string typelib_key(const Guid& libid, std::uint16_t major, std::uint16_t minor) {
  return "TypeLib\\" + libid.to_string() + "\\" + version_text(major, minor);
}

}  // namespace

bool register_class(Registry& reg, const ClassRegistration& c) {
  const std::string clsid = c.clsid.to_string();
  const std::string key = clsid_key(c.clsid);
  bool ok = true;
  if (!c.prog_id.empty()) {
    ok &= reg.set_value(c.prog_id, "", c.description);
    ok &= reg.set_value(c.prog_id + "\\CLSID", "", clsid);
  }
  if (!c.version_independent_prog_id.empty()) {
    const std::string& vi = c.version_independent_prog_id;
    ok &= reg.set_value(vi, "", c.description);
    ok &= reg.set_value(vi + "\\CLSID", "", clsid);
    if (!c.prog_id.empty()) ok &= reg.set_value(vi + "\\CurVer", "", c.prog_id);
  }
  reg.delete_tree(key);  // replaced as a whole: no subkey of an older registration survives
  ok &= reg.set_value(key, "", c.description);
  if (!c.prog_id.empty()) ok &= reg.set_value(key + "\\ProgID", "", c.prog_id);
  if (!c.version_independent_prog_id.empty())
    ok &= reg.set_value(key + "\\VersionIndependentProgID", "", c.version_independent_prog_id);
  ok &= reg.set_value(key + "\\InprocServer32", "", c.module_path);
  if (!c.threading_model.empty())
    ok &= reg.set_value(key + "\\InprocServer32", "ThreadingModel", c.threading_model);
  if (!c.typelib.is_null()) ok &= reg.set_value(key + "\\TypeLib", "", c.typelib.to_string());
  if (!c.version.empty()) ok &= reg.set_value(key + "\\Version", "", c.version);
  for (const auto& [sub, value] : c.extra_keys) {
    ok &= value ? reg.set_value(key + "\\" + sub, "", *value) : reg.create_key(key + "\\" + sub);
  }
  return ok;
}

void unregister_class(Registry& reg, const Guid& clsid) {
  const std::string key = clsid_key(clsid);
  for (const char* name : {"ProgID", "VersionIndependentProgID"}) {
    const auto prog_id = reg.value(key + "\\" + name);
    if (!prog_id || prog_id->empty()) continue;
    const auto owner = reg.value(*prog_id + "\\CLSID");
    if (!owner || Guid::parse(*owner) == clsid) reg.delete_tree(*prog_id);
  }
  reg.delete_tree(key);
}

bool register_type_library(Registry& reg, const TypeLibRegistration& t) {
  const std::string key = typelib_key(t.libid, t.major, t.minor);
  reg.delete_tree(key);
  bool ok = reg.set_value(key, "", t.help);
  ok &= reg.set_value(key + "\\0\\module", "", t.module_path);
  ok &= reg.set_value(key + "\\FLAGS", "", "0");
  ok &= reg.set_value(key + "\\HELPDIR", "", std::filesystem::path(t.module_path).parent_path().string());
  return ok;
}

void unregister_type_library(Registry& reg, const Guid& libid, std::uint16_t major, std::uint16_t minor) {
  reg.delete_tree(typelib_key(libid, major, minor));
  const std::string lib_key = "TypeLib\\" + libid.to_string();
  if (reg.subkeys(lib_key).empty()) reg.delete_tree(lib_key);
  if (reg.subkeys("TypeLib").empty()) reg.delete_tree("TypeLib");
}

std::optional<Guid> clsid_from_prog_id(const Registry& reg, std::string_view prog_id) {
  std::string current(prog_id);
  for (int hop = 0; hop < 5; ++hop) {
    if (current.empty() || current.find('\\') != std::string::npos) return std::nullopt;
    if (const auto text = reg.value(current + "\\CLSID")) return Guid::parse(*text);
    const auto next = reg.value(current + "\\CurVer");
    if (!next) return std::nullopt;
    current = *next;
  }
  return std::nullopt;
}

std::optional<std::string> inproc_server(const Registry& reg, const Guid& clsid) {
  return reg.value(clsid_key(clsid) + "\\InprocServer32");
}

std::optional<std::string> type_library_module(const Registry& reg, const Guid& libid, std::uint16_t major,
                                               std::uint16_t minor) {
  return reg.value(typelib_key(libid, major, minor) + "\\0\\module");
}

HRESULT register_server(std::span<const ClassRegistration> classes, const TypeLibRegistration* typelib) {
  return update_registry(registry_path(), [&](Registry& reg) {
    for (const auto& c : classes)
      if (!register_class(reg, c)) return SELFREG_E_CLASS;
    if (typelib && !register_type_library(reg, *typelib)) return SELFREG_E_TYPELIB;
    return S_OK;
  });
}

HRESULT unregister_server(std::span<const Guid> clsids, const TypeLibRegistration* typelib) {
  return update_registry(registry_path(), [&](Registry& reg) {
    for (const auto& c : clsids) unregister_class(reg, c);
    if (typelib) unregister_type_library(reg, typelib->libid, typelib->major, typelib->minor);
    // A registry left with nothing but an empty CLSID parent keeps no trace of the class either.
    if (reg.subkeys("CLSID").empty()) reg.delete_tree("CLSID");
    return S_OK;
  });
}

std::string module_path_of(const void* address) {
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return {};
  std::error_code ec;
  auto p = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : p.string();
}

}  // namespace tarvik::com
