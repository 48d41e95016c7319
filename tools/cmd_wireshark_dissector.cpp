// tarvik wireshark-dissector: prints the Lua dissector for the telegram interfaces.
#include <iostream>
#include <memory>

#include "platform/codepage/codepage.h"
#include "tools/command.h"
#include "tools/wireshark_dissector.h"

namespace tarvik::cli {
namespace {

class WiresharkDissectorCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("wireshark-dissector", "Print a Wireshark Lua dissector for the telegrams");
    cmd->footer(
        "Texts are shown through the code page given with --codepage (default 1252).\n"
        "Example: tarvik --codepage 1250 wireshark-dissector > mevrix.lua\n"
        "         tshark -X lua_script:mevrix.lua -r capture.pcap -V\n"
        "or copy mevrix.lua to ~/.local/lib/wireshark/plugins/ for Wireshark to load it at start.");
    return cmd;
  }

  int run() override {
    std::cout << wireshark_dissector_lua(codepage::thread_codepage()) << std::flush;
    return kExitOk;
  }
};

}  // namespace

std::unique_ptr<Command> make_wireshark_dissector_command() { return std::make_unique<WiresharkDissectorCommand>(); }

}  // namespace tarvik::cli
