// A subcommand of the `tarvik` command line. Each lives in its own file (cmd_NAME.cpp) and is listed
// once in commands.cpp; main() parses the whole line first, then runs the one that was chosen.
#pragma once

#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

namespace tarvik::cli {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;           // done; for calls: a status was obtained, whatever its value
inline constexpr int kExitUsage = 2;        // bad command line or field value
inline constexpr int kExitFailure = 3;      // could not listen, or a call could not be made at all

class Command {
 public:
  virtual ~Command() = default;
  // Defines the subcommand, its options and help text on `app`; options are bound to members.
  virtual CLI::App* add_to(CLI::App& app) = 0;
  // Runs it after parsing. Output: JSON lines on stdout; messages on stderr.
  virtual int run() = 0;
};

std::unique_ptr<Command> make_send_command();
std::unique_ptr<Command> make_listen_command();
std::unique_ptr<Command> make_machine_command();
std::unique_ptr<Command> make_notify_command();
std::unique_ptr<Command> make_replay_command();
std::unique_ptr<Command> make_wireshark_dissector_command();
std::unique_ptr<Command> make_typelib_command();
std::unique_ptr<Command> make_regsvr_command();
std::unique_ptr<Command> make_list_command();

// Every subcommand, in the order `tarvik --help` lists them.
std::vector<std::unique_ptr<Command>> all_commands();

}  // namespace tarvik::cli
