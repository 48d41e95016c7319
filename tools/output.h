// Output of the command line: one JSON object per line on stdout, messages for people on stderr.
// Safe from any thread.
//
// Lines are written by one writer thread: at once when it is idle (so a person or script watching
// sees each line immediately), and lines that arrive during a write are gathered and written
// together right after it (so heavy traffic costs one write per batch, not one per line).
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace tarvik::cli {

// Prints `line` and returns once it is written.
void print_line(const nlohmann::ordered_json& line);
// Prints an already formatted JSON text as one line (no newline inside). Returns at once.
void print_text_line(std::string_view text);
// Returns once every line printed so far is written (before a program ends).
void flush_output();
void print_error(std::string_view message);

}  // namespace tarvik::cli
