// Appends a text as a JSON string, for programs that print JSON lines by hand (faster than
// building a document for every line). Header-only: the telegram printer and the example hosts
// use it without sharing a library.
#pragma once

#include <string>
#include <string_view>

namespace tarvik::text {

// A JSON string as nlohmann's dump writes it: UTF-8 kept, quote, backslash and control characters
// escaped (the short forms where JSON has them, else \u00xx in lower-case hex).
inline void append_json_string(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto plain = [](char c) { return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20; };
  out.push_back('"');
  std::size_t at = 0;
  while (at < utf8.size()) {
    std::size_t run = at;
    while (run < utf8.size() && plain(utf8[run])) ++run;
    out.append(utf8.data() + at, run - at);  // characters that need no escape, in one piece
    if (run == utf8.size()) break;
    const char c = utf8[run];
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
        out.push_back(kHex[c & 15]);
    }
    at = run + 1;
  }
  out.push_back('"');
}

}  // namespace tarvik::text
