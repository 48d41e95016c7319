// tarvik: the command line for engineers and scripts. Sends and receives telegrams, simulates a
// machine, and reports in JSON lines (stdout) with messages on stderr.
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "platform/codepage/codepage.h"
#include "tools/command.h"
#include "tools/output.h"
#include "tools/unknown_command.h"

int main(int argc, char** argv) {
  using namespace tarvik;
  CLI::App app{"tarvik: telegrams between a host and its CNC machines (DCE RPC over TCP)"};
  app.footer("Run `tarvik COMMAND --help` for a command's options. Texts are 8-bit code-page text on the\n"
             "wire and UTF-8 in JSON and on the command line.");
  unsigned codepage = codepage::kDefaultCodePage;
  app.add_option("--codepage", codepage, "8-bit code page of the texts on the wire (1252, 1250, 932, ...)")
      ->capture_default_str();
  app.require_subcommand(1);

  const auto commands = cli::all_commands();
  std::vector<std::pair<CLI::App*, cli::Command*>> subcommands;
  for (const auto& c : commands) subcommands.emplace_back(c->add_to(app), c.get());

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (const auto message = cli::unknown_command_message(app, argc, argv)) {
      cli::print_error(*message);
      return cli::kExitUsage;
    }
    const int rc = app.exit(e);  // prints help or the mistake
    return rc == 0 ? cli::kExitOk : cli::kExitUsage;
  }
  if (!codepage::set_process_codepage(codepage)) {
    cli::print_error("code page " + std::to_string(codepage) + " is not supported here");
    return cli::kExitUsage;
  }
  for (const auto& [sub, command] : subcommands)
    if (sub->parsed()) return command->run();
  return cli::kExitUsage;
}
