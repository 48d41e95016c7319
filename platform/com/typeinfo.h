// Type information: the description of a type library, its interfaces (with their functions and
// parameters) and its creatable classes. A control builds one TypeLibrary at start-up (from its own
// tables) and shares it, immutable, through std::shared_ptr<const TypeLibrary>; containers use it to
// find dispatch identifiers by name, to check argument counts and types, and to print it.
// Names are matched without regard to ASCII case, as dispatch name lookup does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"

namespace tarvik::com {

using DispId = std::int32_t;
inline constexpr DispId DISPID_UNKNOWN = -1;
inline constexpr DispId DISPID_VALUE = 0;
inline constexpr DispId DISPID_PROPERTYPUT = -3;  // the named argument of a property put

enum class FuncKind { method, property_get, property_put };

struct ParamInfo {
  std::string name;      // empty for an unnamed parameter (the value of a property put)
  VarType type = VT_I4;  // VT_VARIANT accepts any variant
  bool by_ref = false;   // declared as a reference (a string passed as BSTR*); callers pass the value
  bool retval = false;   // the result: not passed by callers, returned as the call's result
};

struct FunctionInfo {
  std::string name;
  DispId id = DISPID_UNKNOWN;
  FuncKind kind = FuncKind::method;
  std::vector<ParamInfo> params;  // declaration order; a retval parameter comes last
  std::string help;

  // The parameters a caller passes (all but a retval).
  std::size_t argument_count() const;
  const ParamInfo* retval() const;
};

enum class InterfaceKind {
  dual,           // dispatch and direct calls; functions return a result code
  dispatch_only,  // dispinterface (event interfaces); functions return nothing
};

struct InterfaceInfo {
  Guid iid;
  std::string name;
  std::string help;
  InterfaceKind kind = InterfaceKind::dual;
  std::vector<FunctionInfo> functions;  // declaration order (the slot order of a dual interface)

  // The function with this identifier and kind, or nullptr.
  const FunctionInfo* find(DispId id, FuncKind kind) const;
  // The first function with this identifier, whatever its kind, or nullptr.
  const FunctionInfo* find(DispId id) const;
  // The first function with this name (ASCII case ignored), or nullptr.
  const FunctionInfo* find(std::string_view name) const;
  std::size_t count(FuncKind kind) const;
};

struct ClassInfo {
  Guid clsid;
  std::string name;
  std::string help;
  bool creatable = true;
  Guid default_interface;  // the interface a container talks to
  Guid default_source;     // the event interface; null when the class raises no events
};

struct TypeLibrary {
  Guid libid;
  std::string name;
  std::uint16_t major = 1;
  std::uint16_t minor = 0;
  std::string help;
  // Interfaces and classes in declaration order (the order the printer keeps).
  std::vector<std::variant<InterfaceInfo, ClassInfo>> items;

  InterfaceInfo& add(InterfaceInfo i);
  ClassInfo& add(ClassInfo c);

  std::vector<const InterfaceInfo*> interfaces() const;
  std::vector<const ClassInfo*> classes() const;
  const InterfaceInfo* find_interface(const Guid& iid) const;
  const InterfaceInfo* find_interface(std::string_view name) const;
  const ClassInfo* find_class(const Guid& clsid) const;
  const ClassInfo* find_class(std::string_view name) const;
};

// An interface of a shared library, kept alive by that library's shared pointer. nullptr when absent.
std::shared_ptr<const InterfaceInfo> interface_of(const std::shared_ptr<const TypeLibrary>& lib,
                                                  const Guid& iid);

// Dispatch name lookup: names[0] is a member, further names are parameters of that member. Fills
// ids[i] for every name (DISPID_UNKNOWN when unknown; a parameter's id is its position) and returns
// DISP_E_UNKNOWNNAME when any name was unknown. `ids` must hold names.size() entries.
HRESULT ids_of_names(const InterfaceInfo& info, std::span<const std::u16string> names, DispId* ids);

// Case-insensitive comparison of ASCII letters; other characters must be equal.
bool equal_names(std::string_view a, std::string_view b);

// The library as text, in an interface definition notation:
//   [uuid(03B415E0-...), version(1.0), helpstring("...")]
//   library NAME
//   {
//       [uuid(...), helpstring("...")]
//       dispinterface _Events
//       {
//           [id(10)] void Fired(long OrderNum, BSTR Name);
//       };
//       ...
//   };
std::string print_type_library(const TypeLibrary& lib);
// A parameter or return type as printed ("long", "BSTR", "VARIANT", "void").
std::string type_name(VarType t);

}  // namespace tarvik::com
