// The class registry: a tree of keys, each with an optional default value and named string values,
// kept per user in a plain text file.
//
// Location: $TARVIK_REGISTRY when set and not empty (tests point it at a file of their own), else
// $XDG_CONFIG_HOME/tarvik/registry, else $HOME/.config/tarvik/registry.
//
// File format (UTF-8, one item per line; what to_text() writes and parse() reads):
//   # comment                          blank lines and lines starting with # or ; are ignored
//   [CLSID\{EDF199C1-...}]             a key: its full path, segments separated by backslashes
//   @="Machine Class"                  the key's default value
//   "ThreadingModel"="Apartment"       a named value
// Inside quotes, \\ stands for a backslash, \" for a quote and \n for a line feed. Key paths match
// without regard to ASCII case (keeping the case they were created with); keys are written sorted.
// A key may exist without values (a flag key such as "Programmable").
//
// Registry is a plain in-memory value; the file functions take an exclusive lock (a ".lock" file beside
// the registry) so that concurrent registrations in several processes do not lose each other's keys.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/hresult.h"

namespace tarvik::com {

class Registry {
 public:
  bool key_exists(std::string_view key) const;
  // Creates the key and its parents. False for an invalid path (empty, an empty segment, a line break).
  bool create_key(std::string_view key);
  // `name` "" sets the default value. Creates the key as needed.
  bool set_value(std::string_view key, std::string_view name, std::string_view value);
  std::optional<std::string> value(std::string_view key, std::string_view name = "") const;
  // Names (last segments) of the direct subkeys.
  std::vector<std::string> subkeys(std::string_view key) const;
  // Full paths of all keys, sorted.
  std::vector<std::string> keys() const;
  // Removes the key and everything below it; false when it did not exist.
  bool delete_tree(std::string_view key);
  bool empty() const { return keys_.empty(); }

  std::string to_text() const;
  // nullopt for malformed text; *error (if given) then says which line and why.
  static std::optional<Registry> parse(std::string_view text, std::string* error = nullptr);

 private:
  struct Key {
    std::string path;  // as created
    std::optional<std::string> default_value;
    std::vector<std::pair<std::string, std::string>> values;  // named, in the order set
  };
  std::map<std::string, Key> keys_;  // by lower-cased path
};

// The per-user registry file (see above).
std::string registry_path();

inline constexpr std::size_t kMaxRegistryFileSize = 8u << 20;  // bytes

// Reads the registry file; a missing file is an empty registry. REGDB_E_READREGDB when the file
// cannot be read, is larger than kMaxRegistryFileSize or is malformed.
HRESULT load_registry(const std::string& path, Registry* out);
// Loads, lets `change` modify, and writes back (to a temporary file renamed over the old one), all
// under the file lock. Nothing is written when `change` fails; its result is returned.
// REGDB_E_WRITEREGDB when the file or its directory cannot be written.
HRESULT update_registry(const std::string& path, const std::function<HRESULT(Registry&)>& change);

}  // namespace tarvik::com
