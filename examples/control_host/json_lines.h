// The output of control_host: JSON lines gathered in one buffer and written with one write() per
// turn of the event loop, and event lines built straight from the variants (a busy host prints one
// line per event, so neither a JSON tree nor a write per line is affordable there).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/com/variant.h"

namespace control_host {

class JsonLines {
 public:
  // Appends `line` (one JSON value, no newline) and a newline.
  void add(std::string_view line);
  // {"object":N,"event":"NAME","args":[...]} with texts as JSON strings (null for a null text),
  // numbers as numbers and arrays as arrays.
  void add_event(std::size_t object, std::string_view event, std::span<const tarvik::com::Variant> args);
  // Writes what has gathered to `fd` (every byte, retrying short writes). False if the reader has gone.
  bool flush(int fd);
  bool empty() const { return buffer_.empty(); }

 private:
  std::string buffer_;
};

// Appends `v` as JSON to `out`.
void append_json(std::string& out, const tarvik::com::Variant& v);

}  // namespace control_host
