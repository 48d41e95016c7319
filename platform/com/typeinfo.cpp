#include "platform/com/typeinfo.h"

#include "platform/com/utf8.h"

namespace tarvik::com {

std::size_t FunctionInfo::argument_count() const {
  std::size_t n = 0;
  for (const auto& p : params) n += p.retval ? 0 : 1;
  return n;
}

const ParamInfo* FunctionInfo::retval() const {
  for (const auto& p : params)
    if (p.retval) return &p;
  return nullptr;
}

const FunctionInfo* InterfaceInfo::find(DispId id, FuncKind k) const {
  for (const auto& f : functions)
    if (f.id == id && f.kind == k) return &f;
  return nullptr;
}

const FunctionInfo* InterfaceInfo::find(DispId id) const {
  for (const auto& f : functions)
    if (f.id == id) return &f;
  return nullptr;
}

const FunctionInfo* InterfaceInfo::find(std::string_view n) const {
  for (const auto& f : functions)
    if (equal_names(f.name, n)) return &f;
  return nullptr;
}

std::size_t InterfaceInfo::count(FuncKind k) const {
  std::size_t n = 0;
  for (const auto& f : functions) n += f.kind == k ? 1 : 0;
  return n;
}

InterfaceInfo& TypeLibrary::add(InterfaceInfo i) {
  return std::get<InterfaceInfo>(items.emplace_back(std::move(i)));
}

ClassInfo& TypeLibrary::add(ClassInfo c) {
  return std::get<ClassInfo>(items.emplace_back(std::move(c)));
}

std::vector<const InterfaceInfo*> TypeLibrary::interfaces() const {
  std::vector<const InterfaceInfo*> out;
  for (const auto& item : items)
    if (const auto* i = std::get_if<InterfaceInfo>(&item)) out.push_back(i);
  return out;
}

std::vector<const ClassInfo*> TypeLibrary::classes() const {
  std::vector<const ClassInfo*> out;
  for (const auto& item : items)
    if (const auto* c = std::get_if<ClassInfo>(&item)) out.push_back(c);
  return out;
}

const InterfaceInfo* TypeLibrary::find_interface(const Guid& iid) const {
  for (const auto* i : interfaces())
    if (i->iid == iid) return i;
  return nullptr;
}

const InterfaceInfo* TypeLibrary::find_interface(std::string_view n) const {
  for (const auto* i : interfaces())
    if (equal_names(i->name, n)) return i;
  return nullptr;
}

const ClassInfo* TypeLibrary::find_class(const Guid& clsid) const {
  for (const auto* c : classes())
    if (c->clsid == clsid) return c;
  return nullptr;
}

const ClassInfo* TypeLibrary::find_class(std::string_view n) const {
  for (const auto* c : classes())
    if (equal_names(c->name, n)) return c;
  return nullptr;
}

std::shared_ptr<const InterfaceInfo> interface_of(const std::shared_ptr<const TypeLibrary>& lib,
                                                  const Guid& iid) {
  if (!lib) return nullptr;
  const InterfaceInfo* i = lib->find_interface(iid);
  if (!i) return nullptr;
  return std::shared_ptr<const InterfaceInfo>(lib, i);
}

bool equal_names(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

HRESULT ids_of_names(const InterfaceInfo& info, std::span<const std::u16string> names, DispId* ids) {
  if (names.empty()) return S_OK;
  if (!ids) return E_POINTER;
  for (std::size_t i = 0; i < names.size(); ++i) ids[i] = DISPID_UNKNOWN;
  const std::string member = to_utf8(names[0]);
  const FunctionInfo* first = info.find(member);
  if (!first) return DISP_E_UNKNOWNNAME;
  ids[0] = first->id;
  HRESULT hr = S_OK;
  for (std::size_t n = 1; n < names.size(); ++n) {
    const std::string param = to_utf8(names[n]);
    // A parameter belongs to any function of the member (its get, put or method form).
    for (const auto& f : info.functions) {
      if (f.id != first->id) continue;
      for (std::size_t p = 0; p < f.params.size() && ids[n] == DISPID_UNKNOWN; ++p)
        if (!f.params[p].name.empty() && equal_names(f.params[p].name, param))
          ids[n] = static_cast<DispId>(p);
    }
    if (ids[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

}  // namespace tarvik::com
