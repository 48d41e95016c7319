// Output of the command line: one JSON object per line on stdout, flushed at once so that scripts
// and tests see each line as it happens; messages for people on stderr. Safe from any thread.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace tarvik::cli {

void print_line(const nlohmann::ordered_json& line);
void print_error(std::string_view message);

}  // namespace tarvik::cli
