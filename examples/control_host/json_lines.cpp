#include "json_lines.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "platform/com/utf8.h"
#include "platform/text/json_string.h"

namespace control_host {
namespace com = tarvik::com;
namespace {

void append_number(std::string& out, std::int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}


}  // namespace

void append_json(std::string& out, const com::Variant& v) {
  switch (v.type()) {
    case com::VT_I2: append_number(out, v.as_i2()); return;
    case com::VT_I4: append_number(out, v.as_i4()); return;
    case com::VT_UI1: append_number(out, v.as_ui1()); return;
    case com::VT_BOOL: out += v.as_bool() ? "true" : "false"; return;
    case com::VT_BSTR:
      if (v.as_bstr().is_null())
        out += "null";
      else
        tarvik::text::append_json_string(out, com::to_utf8(v.as_bstr().view()));
      return;
    default:
      break;
  }
  if (!v.is_array()) {
    out += "null";
    return;
  }
  out += '[';
  bool first = true;
  for (const com::Variant& e : v.as_array()) {
    if (!first) out += ',';
    first = false;
    append_json(out, e);
  }
  out += ']';
}

void JsonLines::add(std::string_view line) {
  buffer_.append(line);
  buffer_ += '\n';
}

void JsonLines::add_event(std::size_t object, std::string_view event, std::span<const com::Variant> args) {
  buffer_ += "{\"object\":";
  append_number(buffer_, static_cast<std::int64_t>(object));
  buffer_ += ",\"event\":";
  tarvik::text::append_json_string(buffer_, event);
  buffer_ += ",\"args\":[";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i != 0) buffer_ += ',';
    append_json(buffer_, args[i]);
  }
  buffer_ += "]}\n";
}

bool JsonLines::flush(int fd) {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      buffer_.clear();
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

}  // namespace control_host
