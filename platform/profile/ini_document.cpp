#include "platform/profile/ini_document.h"

#include <cstddef>

namespace tarvik::profile {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// One line of the content: [begin, end) is its text without the line ending, next the start of the
// following line (content.size() after the last line).
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

// Walks the lines of a content; the last line may lack a line ending.
class LineCursor {
 public:
  explicit LineCursor(std::string_view content) : content_(content) {}
  bool next(Line& line) {
    if (pos_ >= content_.size()) return false;
    std::size_t nl = content_.find('\n', pos_);
    std::size_t end = (nl == std::string_view::npos) ? content_.size() : nl;
    line.begin = pos_;
    line.next = (nl == std::string_view::npos) ? content_.size() : nl + 1;
    if (end > pos_ && content_[end - 1] == '\r') --end;
    line.end = end;
    pos_ = line.next;
    return true;
  }

 private:
  std::string_view content_;
  std::size_t pos_ = 0;
};

enum class LineKind { section, key, other };

struct ParsedLine {
  LineKind kind = LineKind::other;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // raw text after '=' (key lines only)
};

ParsedLine parse_line(std::string_view text) {
  ParsedLine parsed;
  std::string_view body = trim_blanks(text);
  if (body.empty() || body.front() == ';') return parsed;
  if (body.front() == '[') {
    std::size_t close = body.find(']');
    if (close != std::string_view::npos) {
      parsed.kind = LineKind::section;
      parsed.name = trim_blanks(body.substr(1, close - 1));
    }
    return parsed;
  }
  std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return parsed;
  parsed.kind = LineKind::key;
  parsed.name = trim_blanks(text.substr(0, eq));
  parsed.value = text.substr(eq + 1);
  return parsed;
}

std::string_view unquoted(std::string_view raw) {
  std::string_view v = trim_blanks(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return v;
}

// Where a section and a key stand in a content.
struct Location {
  bool section_found = false;
  std::size_t insert_at = 0;           // just after the section's last non-blank line
  bool insert_needs_line_end = false;  // that line is the content's last and has no line ending
  bool key_found = false;
  Line key_line{};
  std::string_view key_as_written;
};

Location locate(std::string_view content, std::string_view section, std::string_view key) {
  Location loc;
  section = trim_blanks(section);
  key = trim_blanks(key);
  LineCursor cursor(content);
  Line line{};
  bool inside = false;
  while (cursor.next(line)) {
    std::string_view text = content.substr(line.begin, line.end - line.begin);
    ParsedLine parsed = parse_line(text);
    if (parsed.kind == LineKind::section) {
      if (inside) break;  // the first matching section ends here
      if (same_name(parsed.name, section)) {
        inside = true;
        loc.section_found = true;
        loc.insert_at = line.next;
        loc.insert_needs_line_end = (line.next == line.end);
      }
      continue;
    }
    if (!inside) continue;
    if (!trim_blanks(text).empty()) {
      loc.insert_at = line.next;
      loc.insert_needs_line_end = (line.next == line.end);
    }
    if (parsed.kind == LineKind::key && same_name(parsed.name, key)) {
      loc.key_found = true;
      loc.key_line = line;
      loc.key_as_written = parsed.name;
      return loc;
    }
  }
  return loc;
}

std::string_view line_ending_of(std::string_view content) {
  std::size_t nl = content.find('\n');
  if (nl == std::string_view::npos) return "\r\n";
  return (nl > 0 && content[nl - 1] == '\r') ? "\r\n" : "\n";
}

bool has_line_break_or_nul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> find_value(std::string_view content, std::string_view section,
                                      std::string_view key) {
  Location loc = locate(content, section, key);
  if (!loc.key_found) return std::nullopt;
  std::string_view text = content.substr(loc.key_line.begin, loc.key_line.end - loc.key_line.begin);
  return std::string(unquoted(parse_line(text).value));
}

bool is_writable_section_name(std::string_view section) {
  return !has_line_break_or_nul(section) && section.find(']') == std::string_view::npos &&
         !trim_blanks(section).empty();
}

bool is_writable_key_name(std::string_view key) {
  std::string_view k = trim_blanks(key);
  return !has_line_break_or_nul(key) && key.find('=') == std::string_view::npos && !k.empty() &&
         k.front() != '[' && k.front() != ';';
}

bool is_writable_value(std::string_view value) {
  return !has_line_break_or_nul(value);
}

std::string with_value(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value) {
  const std::string_view eol = line_ending_of(content);
  Location loc = locate(content, section, key);
  std::string out;
  out.reserve(content.size() + section.size() + key.size() + value.size() + 8);
  if (loc.key_found) {
    out.append(content.substr(0, loc.key_line.begin));
    out.append(loc.key_as_written).append("=").append(value);
    out.append(content.substr(loc.key_line.end));
    return out;
  }
  const std::string_view new_key = trim_blanks(key);
  if (loc.section_found) {
    out.append(content.substr(0, loc.insert_at));
    if (loc.insert_needs_line_end) out.append(eol);
    out.append(new_key).append("=").append(value).append(eol);
    out.append(content.substr(loc.insert_at));
    return out;
  }
  out.append(content);
  if (!content.empty()) {
    if (content.back() != '\n') out.append(eol);
    out.append(eol);
  }
  out.append("[").append(trim_blanks(section)).append("]").append(eol);
  out.append(new_key).append("=").append(value).append(eol);
  return out;
}

std::string quoted_for_reading_back(std::string_view value) {
  bool blank_at_end = !value.empty() && (is_blank(value.front()) || is_blank(value.back()));
  bool enclosed =
      value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  if (!blank_at_end && !enclosed) return std::string(value);
  std::string out;
  out.reserve(value.size() + 2);
  out.append("\"").append(value).append("\"");
  return out;
}

}  // namespace tarvik::profile
