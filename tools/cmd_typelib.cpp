// tarvik typelib: prints the type library of the RpcTarvik control (or of any component module) in
// interface definition notation.
#include <iostream>
#include <memory>
#include <string>

#include "control/type_library.h"
#include "platform/com/activation.h"
#include "platform/com/hresult.h"
#include "tools/command.h"
#include "tools/output.h"

namespace tarvik::cli {
namespace {

class TypelibCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("typelib", "Print the type library MEVRIX of the RpcTarvik control");
    cmd->footer(
        "Without MODULE the library is the one this tool was built with (generated from the telegram\n"
        "table); with MODULE it is what that module's DllGetTypeLibrary hands out.\n"
        "Example: tarvik typelib build/control/libRpcTarvik.so");
    cmd->add_option("MODULE", module_, "Path of a component module");
    return cmd;
  }

  int run() override {
    std::shared_ptr<const com::TypeLibrary> lib = control::mevrix_type_library();
    if (!module_.empty()) {
      if (const com::HRESULT hr = com::load_module_type_library(module_, &lib); com::failed(hr)) {
        print_error("cannot read the type library of " + module_ + ": " + com::hresult_name(hr));
        return kExitFailure;
      }
    }
    std::cout << com::print_type_library(*lib) << std::flush;
    return kExitOk;
  }

 private:
  std::string module_;
};

}  // namespace

std::unique_ptr<Command> make_typelib_command() {
  return std::make_unique<TypelibCommand>();
}

}  // namespace tarvik::cli
