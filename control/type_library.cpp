#include "control/type_library.h"

#include <algorithm>
#include <string>

#include "control/identities.h"
#include "control/machine_properties.h"
#include "protocol/telegram_table.h"

namespace tarvik::control {
namespace {

using protocol::Kind;

com::ParamInfo param(std::string_view name, com::VarType type, bool by_ref = false, bool retval = false) {
  return com::ParamInfo{std::string(name), type, by_ref, retval};
}

// A telegram method: OrderNum and the telegram's own fields (texts as references to strings), then
// `ret` as the result. Shutdown_M takes nothing and returns nothing.
com::FunctionInfo method_of(const protocol::TelegramInfo& t) {
  com::FunctionInfo f;
  f.name = std::string(t.name);
  f.id = t.method_dispid;
  f.kind = com::FuncKind::method;
  f.help = "method " + f.name;
  for (const protocol::Param& p : t.own_params()) {
    const bool text = p.kind == Kind::text;
    f.params.push_back(param(p.field, text ? com::VT_BSTR : com::VT_I4, text));
  }
  if (t.has_result) f.params.push_back(param("ret", com::VT_I4, false, true));
  return f;
}

// An event: its arguments in event order; tables are either whole (a variant holding an array) or
// flattened into numbered arguments (DockPos1..DockPos3, WPC1..WPC3).
com::FunctionInfo event_of(const protocol::TelegramInfo& t, const protocol::Event& e) {
  com::FunctionInfo f;
  f.name = std::string(e.name);
  f.id = e.dispid;
  f.kind = com::FuncKind::method;
  for (const protocol::Param& p : t.own_params()) {
    const com::VarType element =
        (p.kind == Kind::text || p.kind == Kind::name_table) ? com::VT_BSTR : com::VT_I4;
    if (!p.is_table()) {
      f.params.push_back(param(p.field, element));
    } else if (e.whole_tables && p.kind != Kind::name_table) {
      f.params.push_back(param(p.field, com::VT_VARIANT));
    } else {
      for (unsigned k = 1; k <= p.count; ++k)
        f.params.push_back(param(std::string(p.field) + std::to_string(k), element));
    }
  }
  return f;
}

com::InterfaceInfo build_events() {
  com::InterfaceInfo info;
  info.iid = kDiidIMachineEvents;
  info.name = std::string(kIMachineEventsName);
  info.help = std::string(kIMachineEventsHelp);
  info.kind = com::InterfaceKind::dispatch_only;
  for (const protocol::TelegramInfo& t : protocol::telegrams(protocol::Interface::host))
    for (const protocol::Event& e : t.events) info.functions.push_back(event_of(t, e));
  std::stable_sort(info.functions.begin(), info.functions.end(),
                   [](const com::FunctionInfo& a, const com::FunctionInfo& b) { return a.id < b.id; });
  return info;
}

com::InterfaceInfo build_imachine() {
  com::InterfaceInfo info;
  info.iid = kIidIMachine;
  info.name = std::string(kIMachineName);
  info.help = std::string(kIMachineHelp);
  info.kind = com::InterfaceKind::dual;
  for (const PropertyInfo& p : kProperties) {
    com::FunctionInfo get{std::string(p.name),
                          dispid(p.id),
                          com::FuncKind::property_get,
                          {param("pVal", p.type, false, true)},
                          std::string(p.help)};
    com::FunctionInfo put{std::string(p.name),
                          dispid(p.id),
                          com::FuncKind::property_put,
                          {param("", p.type)},
                          std::string(p.help)};
    info.functions.push_back(std::move(get));
    info.functions.push_back(std::move(put));
  }
  std::vector<com::FunctionInfo> methods;
  for (const protocol::TelegramInfo& t : protocol::telegrams(protocol::Interface::machine))
    methods.push_back(method_of(t));
  std::stable_sort(methods.begin(), methods.end(),
                   [](const com::FunctionInfo& a, const com::FunctionInfo& b) { return a.id < b.id; });
  for (auto& m : methods) info.functions.push_back(std::move(m));
  return info;
}

std::shared_ptr<const com::TypeLibrary> build_library() {
  auto lib = std::make_shared<com::TypeLibrary>();
  lib->libid = kLibidMevrix;
  lib->name = std::string(kLibraryName);
  lib->major = kLibraryMajor;
  lib->minor = kLibraryMinor;
  lib->help = std::string(kLibraryHelp);
  lib->add(build_events());
  lib->add(com::ClassInfo{kClsidMachine, std::string(kMachineClassName),
                          std::string(kMachineClassDescription), true, kIidIMachine, kDiidIMachineEvents});
  lib->add(build_imachine());
  return lib;
}

}  // namespace

const std::shared_ptr<const com::TypeLibrary>& mevrix_type_library() {
  static const std::shared_ptr<const com::TypeLibrary> lib = build_library();
  return lib;
}

std::shared_ptr<const com::InterfaceInfo> imachine_info() {
  return com::interface_of(mevrix_type_library(), kIidIMachine);
}

std::shared_ptr<const com::InterfaceInfo> imachine_events_info() {
  return com::interface_of(mevrix_type_library(), kDiidIMachineEvents);
}

}  // namespace tarvik::control
