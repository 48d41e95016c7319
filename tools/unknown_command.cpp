#include "tools/unknown_command.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace tarvik::cli {
namespace {

// Edits (insert, delete, replace, swap of neighbours) from a to b; short words only.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> unknown_command_message(const CLI::App& app, int argc, const char* const* argv) {
  // The first word that is neither an option nor the value of a global option.
  std::string word;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("-")) {
      const auto* option = app.get_option_no_throw(std::string(arg.substr(0, arg.find('='))));
      if (option != nullptr && option->get_type_size() != 0 && arg.find('=') == std::string_view::npos) ++i;
      continue;
    }
    word = arg;
    break;
  }
  if (word.empty()) return std::nullopt;
  std::string names;
  std::string nearest;
  std::size_t best = 3;  // at most two edits away
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (sub->get_name() == word) return std::nullopt;
    names += (names.empty() ? "" : ", ") + sub->get_name();
    const std::size_t d = edit_distance(word.substr(0, 32), sub->get_name());
    if (d < best) best = d, nearest = sub->get_name();
  }
  std::string out = "unknown command \"" + word + "\"";
  if (!nearest.empty()) out += " (did you mean " + nearest + "?)";
  return out + "; commands: " + names + ". Run `tarvik --help` for more.";
}

}  // namespace tarvik::cli
