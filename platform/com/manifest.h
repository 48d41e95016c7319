// Registration-free activation: a manifest file beside a program names the modules it uses and the
// classes they serve, so the program creates them without anything in the class registry (for example
// straight from a build tree). Activation reads the manifest first and the registry only for classes
// the manifest does not name.
//
// Location: the program's own path with ".manifest" appended (/opt/app/bin/host -> host.manifest in
// the same directory).
//
// Format (UTF-8, one item per line):
//   # comment                         blank lines and lines starting with # are ignored
//   module libRpcTarvik.so            a module; a relative path is relative to the manifest's directory
//   class {EDF199C1-...} Mevrix.Machine.1 Mevrix.Machine
//                                     a class of the module above, with any number of ProgIDs
//   typelib {03B415E0-...} 1.0        the type library of the module above (optional)
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace tarvik::com {

struct ManifestClass {
  Guid clsid;
  std::vector<std::string> prog_ids;
};

struct ManifestModule {
  std::string path;  // absolute after load_manifest()
  std::vector<ManifestClass> classes;
  std::optional<Guid> typelib;
  std::uint16_t typelib_major = 0;
  std::uint16_t typelib_minor = 0;
};

struct Manifest {
  std::vector<ManifestModule> modules;

  // The module serving a class / a ProgID (matched without regard to ASCII case), or nullptr.
  const ManifestModule* module_of(const Guid& clsid) const;
  std::optional<Guid> clsid_of(std::string_view prog_id) const;
  const ManifestModule* module_of_typelib(const Guid& libid, std::uint16_t major, std::uint16_t minor) const;

  // nullopt for malformed text; *error says which line and why. Relative module paths are resolved
  // against `base_dir`.
  static std::optional<Manifest> parse(std::string_view text, const std::string& base_dir,
                                       std::string* error = nullptr);
};

// The manifest path of the running program ("" when the program's path is unknown).
std::string default_manifest_path();
// S_OK with the manifest; S_FALSE with an empty manifest when there is no file; REGDB_E_INVALIDVALUE
// when the file is malformed or larger than 1 MiB; REGDB_E_READREGDB when it cannot be read.
HRESULT load_manifest(const std::string& path, Manifest* out);

}  // namespace tarvik::com
