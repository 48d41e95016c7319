// Checks shared by the options of every subcommand, so that the same option takes the same range,
// and says so in the same words, wherever it appears.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace tarvik::cli {

// A TCP port; 0 means any free port where a subcommand listens.
inline const CLI::Range kPortRange(0, 65535, "PORT");

// The communication time-out level of a binding: 0 shortest to 9 longest.
inline const CLI::Range kTimeoutLevelRange(0, 9, "LEVEL");
inline constexpr const char* kTimeoutHelp = "Communication time-out level 0 (shortest) to 9 (longest)";

// A count of calls: at least one, with a message in words for 0 or a negative count.
inline CLI::Validator call_count_check() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        long n = 0;
        if (!CLI::detail::lexical_cast(value, n)) return "wants a number of calls, not " + value;
        if (n < 1)
          return value + " would make no call: give the number of calls, 1 or more";
        return {};
      },
      "N>=1");
}

}  // namespace tarvik::cli
