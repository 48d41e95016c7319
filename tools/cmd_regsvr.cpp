// tarvik regsvr: registers a component module in the per-user class registry (or, with -u, removes
// it again) by calling its own DllRegisterServer / DllUnregisterServer.
#include <filesystem>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/registry.h"
#include "tools/command.h"
#include "tools/output.h"

namespace tarvik::cli {
namespace {

class RegsvrCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("regsvr", "Register (or with -u unregister) a component module");
    cmd->footer(
        "The registry is $TARVIK_REGISTRY, else $XDG_CONFIG_HOME/tarvik/registry, else\n"
        "~/.config/tarvik/registry. Prints {\"registered\":PATH,\"registry\":FILE} (or \"unregistered\").\n"
        "Example: tarvik regsvr build/control/libRpcTarvik.so");
    cmd->add_flag("-u,--unregister", unregister_, "Remove the module's classes and type library");
    cmd->add_option("MODULE", module_, "Path of the module (libRpcTarvik.so)")->required();
    return cmd;
  }

  int run() override {
    std::error_code ec;
    const std::string path = std::filesystem::absolute(module_, ec).string();
    const com::HRESULT hr = unregister_ ? com::unregister_module(path) : com::register_module(path);
    if (com::failed(hr)) {
      print_error(std::string(unregister_ ? "unregistering " : "registering ") + path +
                  " failed: " + com::hresult_name(hr));
      return kExitFailure;
    }
    print_line({{unregister_ ? "unregistered" : "registered", path}, {"registry", com::registry_path()}});
    return kExitOk;
  }

 private:
  bool unregister_ = false;
  std::string module_;
};

}  // namespace

std::unique_ptr<Command> make_regsvr_command() {
  return std::make_unique<RegsvrCommand>();
}

}  // namespace tarvik::cli
