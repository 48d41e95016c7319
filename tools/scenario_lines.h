// JSON with the line on which every value starts, so that a mistake in a hand-written file can be
// reported where it is ("scenario.json:12: ..."). Lines are kept by JSON pointer ("/answers/0/status").
#pragma once

#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace tarvik::cli {

struct LocatedJson {
  nlohmann::json value;
  std::map<std::string, int> lines;  // JSON pointer -> 1-based line where its value starts

  // The line of `pointer`, else of the nearest enclosing value that has one (1 at worst).
  int line_of(const std::string& pointer) const;
};

// Parses `text`; false with "line N: ..." in `error` when it is not JSON.
bool parse_located_json(const std::string& text, LocatedJson& out, std::string& error);

// "/a/b" + "c" -> "/a/b/c", with ~ and / escaped in the key.
std::string pointer_child(const std::string& pointer, const std::string& key);
std::string pointer_child(const std::string& pointer, std::size_t index);

}  // namespace tarvik::cli
