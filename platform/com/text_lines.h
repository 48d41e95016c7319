// Line-by-line reading of the component layer's small text files (registry, manifest).
#pragma once

#include <string_view>

namespace tarvik::com {

// Takes the next line off the front of `text` (without its LF or CR LF ending).
inline std::string_view take_line(std::string_view& text) {
  const std::size_t eol = text.find('\n');
  std::string_view line = text.substr(0, eol);
  text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace tarvik::com
