// The message for a command line that names no known subcommand ("tarvik sned ..."): the word that
// was not understood, the nearest subcommand when it is a likely typo, and the list of subcommands.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace tarvik::cli {

// Empty when the first word after the global options is a subcommand of `app` (or there is none).
std::optional<std::string> unknown_command_message(const CLI::App& app, int argc, const char* const* argv);

}  // namespace tarvik::cli
