// A component module for the activation tests: serves Widget through the four entry points and offers
// its type information.
#include "platform/com/class_registration.h"
#include "platform/com/module_exports.h"
#include "platform/com/tests/test_widget.h"

using namespace tarvik::com;
using namespace tarvik::com::testing;

namespace {

ModuleUsage usage;
const ClassEntry kClasses[] = {{kClsidWidget, &create_object_for<Widget, &usage>}};

std::string this_module() {
  return module_path_of(reinterpret_cast<const void*>(&DllGetClassObject));
}

TypeLibRegistration typelib_registration() {
  return {kLibidWidget, 1, 0, "Test widget library", this_module()};
}

}  // namespace

HRESULT DllRegisterServer() {
  ClassRegistration c;
  c.clsid = kClsidWidget;
  c.description = "Widget Class";
  c.prog_id = kProgId;
  c.version_independent_prog_id = kVersionIndependentProgId;
  c.module_path = this_module();
  c.typelib = kLibidWidget;
  c.version = "1.0";
  c.extra_keys = {{"Programmable", std::nullopt},
                  {"Control", std::nullopt},
                  {"MiscStatus", "0"},
                  {"MiscStatus\\1", "132497"}};
  const TypeLibRegistration t = typelib_registration();
  return register_server({&c, 1}, &t);
}

HRESULT DllUnregisterServer() {
  const TypeLibRegistration t = typelib_registration();
  return unregister_server({&kClsidWidget, 1}, &t);
}

HRESULT DllGetClassObject(const Guid& clsid, const Guid& iid, void** out) {
  return get_class_object(kClasses, usage, clsid, iid, out);
}

// The type library is held by a static pointer; the module stays loaded while anyone else holds it.
HRESULT DllCanUnloadNow() {
  return usage.idle() && widget_type_library().use_count() <= 2 ? S_OK : S_FALSE;
}

HRESULT DllGetTypeLibrary(std::shared_ptr<const TypeLibrary>* out) {
  if (!out) return E_POINTER;
  *out = widget_type_library();
  return S_OK;
}
