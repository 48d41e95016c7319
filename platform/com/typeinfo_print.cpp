// print_type_library(): the text form of type information, for people and for golden files.
#include <cstdio>

#include "platform/com/typeinfo.h"

namespace tarvik::com {
namespace {

std::string uuid_text(const Guid& g) {
  const std::string s = g.to_string();
  return s.substr(1, s.size() - 2);
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string attributes(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& p : parts) {
    if (p.empty()) continue;
    out += out.empty() ? "[" : ", ";
    out += p;
  }
  return out.empty() ? "" : out + "]";
}

std::string helpstring(const std::string& help) {
  return help.empty() ? "" : "helpstring(" + quoted(help) + ")";
}

std::string param_text(const ParamInfo& p, InterfaceKind kind) {
  std::string type = type_name(p.type);
  if (p.by_ref || p.retval) type += "*";
  std::string text;
  if (kind == InterfaceKind::dual) text = p.retval ? "[out, retval] " : "[in] ";
  text += type;
  if (!p.name.empty()) text += " " + p.name;
  return text;
}

std::string function_text(const FunctionInfo& f, InterfaceKind kind) {
  const char* kind_attr = f.kind == FuncKind::property_get   ? "propget"
                          : f.kind == FuncKind::property_put ? "propput"
                                                             : "";
  std::string line =
      "        " + attributes({kind_attr, "id(" + std::to_string(f.id) + ")", helpstring(f.help)}) + " ";
  line += kind == InterfaceKind::dual ? "HRESULT " : "void ";
  line += f.name + "(";
  for (std::size_t i = 0; i < f.params.size(); ++i) line += (i ? ", " : "") + param_text(f.params[i], kind);
  return line + ");\n";
}

std::string interface_text(const InterfaceInfo& i) {
  std::string out = "    " +
                    attributes({"uuid(" + uuid_text(i.iid) + ")", i.kind == InterfaceKind::dual ? "dual" : "",
                                helpstring(i.help)}) +
                    "\n";
  out += i.kind == InterfaceKind::dual ? "    interface " + i.name + " : IDispatch\n"
                                       : "    dispinterface " + i.name + "\n";
  out += "    {\n";
  for (const auto& f : i.functions) out += function_text(f, i.kind);
  return out + "    };\n";
}

std::string class_text(const TypeLibrary& lib, const ClassInfo& c) {
  std::string out = "    " +
                    attributes({"uuid(" + uuid_text(c.clsid) + ")", helpstring(c.help),
                                c.creatable ? "" : "noncreatable"}) +
                    "\n";
  out += "    coclass " + c.name + "\n    {\n";
  auto member = [&](const Guid& iid, const char* attrs) {
    if (iid.is_null()) return;
    const InterfaceInfo* i = lib.find_interface(iid);
    const std::string name = i ? i->name : uuid_text(iid);
    const bool dispatch_only = i && i->kind == InterfaceKind::dispatch_only;
    out += std::string("        ") + attrs + (dispatch_only ? "dispinterface " : "interface ") + name + ";\n";
  };
  member(c.default_interface, "[default] ");
  member(c.default_source, "[default, source] ");
  return out + "    };\n";
}

}  // namespace

std::string type_name(VarType t) {
  switch (t) {
    case VT_EMPTY:
      return "void";
    case VT_I2:
      return "short";
    case VT_I4:
      return "long";
    case VT_UI1:
      return "unsigned char";
    case VT_BOOL:
      return "VARIANT_BOOL";
    case VT_BSTR:
      return "BSTR";
    case VT_VARIANT:
      return "VARIANT";
    case VT_ARRAY | VT_VARIANT:
      return "SAFEARRAY(VARIANT)";
    default:
      return "VT" + std::to_string(t);
  }
}

std::string print_type_library(const TypeLibrary& lib) {
  std::string out =
      attributes({"uuid(" + uuid_text(lib.libid) + ")",
                  "version(" + std::to_string(lib.major) + "." + std::to_string(lib.minor) + ")",
                  helpstring(lib.help)}) +
      "\n";
  out += "library " + lib.name + "\n{\n";
  for (const auto& item : lib.items) {
    if (const auto* i = std::get_if<InterfaceInfo>(&item)) out += interface_text(*i);
    if (const auto* c = std::get_if<ClassInfo>(&item)) out += class_text(lib, *c);
  }
  return out + "};\n";
}

}  // namespace tarvik::com
