#include "platform/profile/ini_document.h"

#include <cstddef>

namespace tarvik::profile {
namespace {

// Every function works on 8-bit and on UTF-16 text alike: only ASCII characters mean anything.
template <typename Char>
using View = std::basic_string_view<Char>;

template <typename Char>
bool is_blank(Char c) {
  return c == Char(' ') || c == Char('\t');
}

template <typename Char>
bool is_line_break(Char c) {
  return c == Char('\n') || c == Char('\r');
}

template <typename Char>
View<Char> trim_blanks(View<Char> s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

template <typename Char>
Char ascii_lower(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
bool same_name(View<Char> a, View<Char> b) {
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

// Walks the lines of a content; a line ends at LF, CR LF or CR; the last line may lack a line ending.
template <typename Char>
class LineCursor {
 public:
  explicit LineCursor(View<Char> content) : content_(content) {}
  bool next(Line& line) {
    if (pos_ >= content_.size()) return false;
    std::size_t end = pos_;
    while (end < content_.size() && !is_line_break(content_[end])) ++end;
    std::size_t next = end;
    if (next < content_.size()) {
      const bool crlf = content_[next] == Char('\r') && next + 1 < content_.size() && content_[next + 1] == Char('\n');
      next += crlf ? 2 : 1;
    }
    line = {pos_, end, next};
    pos_ = next;
    return true;
  }

 private:
  View<Char> content_;
  std::size_t pos_ = 0;
};

enum class LineKind { section, key, other };

template <typename Char>
struct ParsedLine {
  LineKind kind = LineKind::other;
  View<Char> name;         // section name or key, trimmed
  bool has_value = false;  // key lines: whether the line holds '='
  View<Char> value;        // raw text after '=' (key lines only)
};

template <typename Char>
ParsedLine<Char> parse_line(View<Char> text) {
  ParsedLine<Char> parsed;
  View<Char> body = trim_blanks(text);
  if (body.empty() || body.front() == Char(';')) return parsed;
  if (body.front() == Char('[')) {
    const std::size_t close = body.find(Char(']'));
    if (close != View<Char>::npos) {
      parsed.kind = LineKind::section;
      parsed.name = trim_blanks(body.substr(1, close - 1));
      return parsed;
    }
  }
  parsed.kind = LineKind::key;
  const std::size_t eq = text.find(Char('='));
  if (eq == View<Char>::npos) {
    parsed.name = body;
    return parsed;
  }
  parsed.name = trim_blanks(text.substr(0, eq));
  parsed.has_value = true;
  parsed.value = text.substr(eq + 1);
  return parsed;
}

template <typename Char>
View<Char> unquoted(View<Char> raw) {
  View<Char> v = trim_blanks(raw);
  if (v.size() >= 2 && (v.front() == Char('"') || v.front() == Char('\'')) && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return v;
}

// Where a section and a key stand in a content.
template <typename Char>
struct Location {
  bool section_found = false;
  std::size_t insert_at = 0;           // just after the section's last non-blank line
  bool insert_needs_line_end = false;  // that line is the content's last and has no line ending
  bool key_found = false;
  Line key_line{};
  ParsedLine<Char> key;
};

template <typename Char>
Location<Char> locate(View<Char> content, View<Char> section, View<Char> key) {
  Location<Char> loc;
  section = trim_blanks(section);
  key = trim_blanks(key);
  LineCursor<Char> cursor(content);
  Line line{};
  bool inside = false;
  while (cursor.next(line)) {
    const View<Char> text = content.substr(line.begin, line.end - line.begin);
    const ParsedLine<Char> parsed = parse_line(text);
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
      loc.key = parsed;
      return loc;
    }
  }
  return loc;
}

template <typename Char>
View<Char> line_ending_of(View<Char> content) {
  static constexpr Char kCrLf[] = {Char('\r'), Char('\n')};
  const View<Char> crlf(kCrLf, 2);
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == Char('\n')) return crlf.substr(1);
    if (content[i] == Char('\r')) return (i + 1 < content.size() && content[i + 1] == Char('\n')) ? crlf : crlf.substr(0, 1);
  }
  return crlf;
}

bool has_line_break_or_nul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

template <typename Char>
std::optional<std::basic_string<Char>> find_value_in(View<Char> content, View<Char> section, View<Char> key) {
  const Location<Char> loc = locate(content, section, key);
  if (!loc.key_found || !loc.key.has_value) return std::nullopt;
  return std::basic_string<Char>(unquoted(loc.key.value));
}

template <typename Char>
std::basic_string<Char> with_value_in(View<Char> content, View<Char> section, View<Char> key, View<Char> value) {
  static constexpr Char kPunctuation[] = {Char('='), Char('['), Char(']')};
  const View<Char> equals(kPunctuation, 1), open(kPunctuation + 1, 1), close(kPunctuation + 2, 1);
  const View<Char> eol = line_ending_of(content);
  const Location<Char> loc = locate(content, section, key);
  std::basic_string<Char> out;
  if (loc.key_found && loc.key.has_value && unquoted(loc.key.value) == unquoted(value))
    return std::basic_string<Char>(content);
  out.reserve(content.size() + section.size() + key.size() + value.size() + 8);
  if (loc.key_found) {
    out.append(content.substr(0, loc.key_line.begin));
    out.append(loc.key.name).append(equals).append(value);
    out.append(content.substr(loc.key_line.end));
    return out;
  }
  const View<Char> new_key = trim_blanks(key);
  if (loc.section_found) {
    out.append(content.substr(0, loc.insert_at));
    if (loc.insert_needs_line_end) out.append(eol);
    out.append(new_key).append(equals).append(value).append(eol);
    out.append(content.substr(loc.insert_at));
    return out;
  }
  out.append(content);
  if (!content.empty()) {
    if (!is_line_break(content.back())) out.append(eol);
    out.append(eol);
  }
  out.append(open).append(trim_blanks(section)).append(close).append(eol);
  out.append(new_key).append(equals).append(value).append(eol);
  return out;
}

}  // namespace

std::optional<std::string> find_value(std::string_view content, std::string_view section,
                                      std::string_view key) {
  return find_value_in(content, section, key);
}

std::optional<std::u16string> find_value(std::u16string_view content, std::u16string_view section,
                                         std::u16string_view key) {
  return find_value_in(content, section, key);
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
  return with_value_in(content, section, key, value);
}

std::u16string with_value(std::u16string_view content, std::u16string_view section, std::u16string_view key,
                          std::u16string_view value) {
  return with_value_in(content, section, key, value);
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
