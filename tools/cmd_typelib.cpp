// tarvik typelib: prints the type library of the RpcTarvik control (or of any component module) in
// interface definition notation. The control is found as a host finds it, through the component layer.
#include <iostream>
#include <memory>
#include <string>

#include "platform/com/typeinfo.h"
#include "tools/control_type_library.h"
#include "tools/command.h"
#include "tools/output.h"

namespace tarvik::cli {
namespace {

class TypelibCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("typelib", "Print the type library MEVRIX of the RpcTarvik control");
    cmd->footer(
        "The library is what the module's DllGetTypeLibrary hands out. Without MODULE the module is the one\n"
        "that serves " TARVIK_CONTROL_PROGID ", found through tarvik.manifest beside this program or the class\n"
        "registry.\n"
        "Example: tarvik typelib build/control/libRpcTarvik.so");
    cmd->add_option("MODULE", module_, "Path of a component module");
    return cmd;
  }

  int run() override {
    std::string why;
    const std::shared_ptr<const com::TypeLibrary> lib = load_type_library(module_, &why);
    if (!lib) {
      print_error(why);
      return kExitFailure;
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
