// What a module writes into the class registry, and how activation reads it back.
//
// Keys written for a class (under the registry's root; {CLSID} is the class identifier's text form):
//   <ProgID>                                   = description; subkey CLSID = {CLSID}
//   <VersionIndependentProgID>                 = description; subkeys CLSID = {CLSID}, CurVer = <ProgID>
//   CLSID\{CLSID}                              = description (replaced as a whole on registration)
//   CLSID\{CLSID}\ProgID                       = <ProgID>
//   CLSID\{CLSID}\VersionIndependentProgID     = <VersionIndependentProgID>
//   CLSID\{CLSID}\InprocServer32               = module path; "ThreadingModel" = threading model
//   CLSID\{CLSID}\TypeLib                      = {LIBID}           (when a type library is given)
//   CLSID\{CLSID}\Version                      = "major.minor"     (when given)
//   CLSID\{CLSID}\<extra key>                  = the class's own further subkeys (Control, MiscStatus ...)
// Keys written for a type library:
//   TypeLib\{LIBID}\<major.minor>              = help string
//   TypeLib\{LIBID}\<major.minor>\0\module     = module path
//   TypeLib\{LIBID}\<major.minor>\FLAGS        = "0"
//   TypeLib\{LIBID}\<major.minor>\HELPDIR      = the module's directory
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/registry.h"

namespace tarvik::com {

struct ClassRegistration {
  Guid clsid;
  std::string description;
  std::string prog_id;                      // versioned, e.g. "Vendor.Thing.1"; may be empty
  std::string version_independent_prog_id;  // e.g. "Vendor.Thing"; may be empty
  std::string module_path;
  std::string threading_model = "Apartment";
  Guid typelib;         // null: no TypeLib subkey
  std::string version;  // empty: no Version subkey
  // Further subkeys, relative to the class key, with their default value (nullopt: a key without value).
  std::vector<std::pair<std::string, std::optional<std::string>>> extra_keys;
};

struct TypeLibRegistration {
  Guid libid;
  std::uint16_t major = 1;
  std::uint16_t minor = 0;
  std::string help;
  std::string module_path;
};

// False only for names that make invalid key paths.
bool register_class(Registry& reg, const ClassRegistration& c);
// Removes the class key and the ProgID keys it names. A ProgID key that now names another class
// (registered later by another module) is left alone.
void unregister_class(Registry& reg, const Guid& clsid);
bool register_type_library(Registry& reg, const TypeLibRegistration& t);
void unregister_type_library(Registry& reg, const Guid& libid, std::uint16_t major, std::uint16_t minor);

// The class of a ProgID: its CLSID subkey, else the CLSID of its CurVer (followed at most 4 times).
std::optional<Guid> clsid_from_prog_id(const Registry& reg, std::string_view prog_id);
// The module path registered for a class (InprocServer32).
std::optional<std::string> inproc_server(const Registry& reg, const Guid& clsid);
// The module registered for a type library version.
std::optional<std::string> type_library_module(const Registry& reg, const Guid& libid, std::uint16_t major,
                                               std::uint16_t minor);

// The helpers DllRegisterServer / DllUnregisterServer are made of: update registry_path() under its
// lock. Failures: SELFREG_E_CLASS (class keys), SELFREG_E_TYPELIB, or the registry file's error.
HRESULT register_server(std::span<const ClassRegistration> classes, const TypeLibRegistration* typelib);
HRESULT unregister_server(std::span<const Guid> clsids, const TypeLibRegistration* typelib);

// The absolute path of the loaded module (shared library or program) that contains `address`; empty
// when unknown. A module passes the address of one of its own functions.
std::string module_path_of(const void* address);

}  // namespace tarvik::com
