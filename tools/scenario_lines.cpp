#include "tools/scenario_lines.h"

#include <algorithm>
#include <vector>

namespace tarvik::cli {
namespace {

using nlohmann::json;

// Walks the text token by token alongside the parser's events (one token per event, in order) to
// learn where each event's token starts.
class TokenCursor {
 public:
  explicit TokenCursor(const std::string& text) : text_(text) {}

  // Line of the next token, and moves past it.
  int next() {
    while (pos_ < text_.size() && is_filler(text_[pos_])) advance();
    const int line = line_;
    if (pos_ >= text_.size()) return line;
    const char c = text_[pos_];
    if (c == '"') {
      advance();
      while (pos_ < text_.size() && text_[pos_] != '"') {
        if (text_[pos_] == '\\') advance();
        advance();
      }
      advance();
    } else if (c == '{' || c == '}' || c == '[' || c == ']') {
      advance();
    } else {
      while (pos_ < text_.size() && !is_filler(text_[pos_]) && std::string_view("{}[]\"").find(text_[pos_]) ==
                                                                      std::string_view::npos)
        advance();
    }
    return line;
  }

 private:
  static bool is_filler(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ':'; }
  void advance() {
    if (pos_ < text_.size() && text_[pos_] == '\n') ++line_;
    ++pos_;
  }
  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

class LocatingSax : public nlohmann::detail::json_sax_dom_parser<json> {
  using Base = nlohmann::detail::json_sax_dom_parser<json>;

 public:
  LocatingSax(const std::string& text, LocatedJson& out) : Base(out.value, false), text_(text), cursor_(text), out_(out) {}

  bool null() { return value(), Base::null(); }
  bool boolean(bool v) { return value(), Base::boolean(v); }
  bool number_integer(number_integer_t v) { return value(), Base::number_integer(v); }
  bool number_unsigned(number_unsigned_t v) { return value(), Base::number_unsigned(v); }
  bool number_float(number_float_t v, const string_t& s) { return value(), Base::number_float(v, s); }
  bool string(string_t& v) { return value(), Base::string(v); }
  bool binary(binary_t& v) { return value(), Base::binary(v); }
  bool start_object(std::size_t n) {
    open(false);
    return Base::start_object(n);
  }
  bool key(string_t& k) {
    cursor_.next();
    frames_.back().key = k;
    return Base::key(k);
  }
  bool end_object() { return close(), Base::end_object(); }
  bool start_array(std::size_t n) {
    open(true);
    return Base::start_array(n);
  }
  bool end_array() { return close(), Base::end_array(); }
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& ex) {
    const auto end = text_.begin() + static_cast<std::ptrdiff_t>(std::min(position, text_.size()));
    const int line = 1 + static_cast<int>(std::count(text_.begin(), end, '\n'));
    // The library's message names the byte; people want the line and what was found.
    std::string what = ex.what();
    if (const auto colon = what.rfind(": "); colon != std::string::npos) what = what.substr(colon + 2);
    error = "line " + std::to_string(line) + ": not valid JSON near '" + token + "' (" + what + ")";
    return false;
  }
  std::string error;

 private:
  struct Frame {
    bool array = false;
    std::size_t index = 0;
    std::string key;
    std::string pointer;
  };
  std::string child() const {
    if (frames_.empty()) return "";
    const Frame& f = frames_.back();
    return f.array ? pointer_child(f.pointer, f.index) : pointer_child(f.pointer, f.key);
  }
  void value() {
    out_.lines[child()] = cursor_.next();
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }
  void open(bool array) {
    const std::string pointer = child();
    out_.lines[pointer] = cursor_.next();
    frames_.push_back(Frame{array, 0, {}, pointer});
  }
  void close() {
    cursor_.next();
    frames_.pop_back();
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }

  const std::string& text_;
  TokenCursor cursor_;
  LocatedJson& out_;
  std::vector<Frame> frames_;
};

}  // namespace

std::string pointer_child(const std::string& pointer, const std::string& key) {
  std::string escaped;
  for (char c : key) escaped += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
  return pointer + "/" + escaped;
}
std::string pointer_child(const std::string& pointer, std::size_t index) {
  return pointer + "/" + std::to_string(index);
}

int LocatedJson::line_of(const std::string& pointer) const {
  std::string p = pointer;
  for (;;) {
    if (const auto it = lines.find(p); it != lines.end()) return it->second;
    if (p.empty()) return 1;
    p.erase(p.rfind('/'));
  }
}

bool parse_located_json(const std::string& text, LocatedJson& out, std::string& error) {
  out = LocatedJson{};
  LocatingSax sax(text, out);
  if (!json::sax_parse(text, &sax, nlohmann::detail::input_format_t::json, /*strict=*/true)) {
    error = sax.error.empty() ? "not valid JSON" : sax.error;
    return false;
  }
  return true;
}

}  // namespace tarvik::cli
