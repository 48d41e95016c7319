#include "tools/output.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace tarvik::cli {
namespace {
std::mutex& output_mutex() {
  static std::mutex mu;
  return mu;
}
}  // namespace

void print_line(const nlohmann::ordered_json& line) {
  // Texts come from 8-bit code pages; anything that is not valid UTF-8 is replaced, never fatal.
  const std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::lock_guard lock(output_mutex());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void print_error(std::string_view message) {
  std::lock_guard lock(output_mutex());
  std::fprintf(stderr, "tarvik: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
}

}  // namespace tarvik::cli
