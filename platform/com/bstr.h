// BStr: a counted UTF-16 string, the text type of dispatch calls, events and persistence.
//
// Holds its length explicitly, so it may contain embedded zero characters. A null string (no string
// at all) is distinct from the empty string: operator== tells them apart; same_text() treats them as
// equal, which is how property setters compare texts. A plain value type: copying copies the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::com {

class BStr {
 public:
  BStr() = default;  // null
  BStr(std::u16string_view text) : text_(text), null_(false) {}
  BStr(const std::u16string& text) : text_(text), null_(false) {}
  BStr(std::u16string&& text) : text_(std::move(text)), null_(false) {}
  // A null pointer gives the null string; otherwise the text up to its first zero.
  BStr(const char16_t* text) : text_(text ? text : u""), null_(text == nullptr) {}
  static BStr null() { return BStr(); }
  static BStr from_utf8(std::string_view text);

  bool is_null() const { return null_; }
  // Characters (UTF-16 code units); 0 for null.
  std::size_t length() const { return text_.size(); }
  // Bytes of text without a terminator, the length a counted string carries in front of its text.
  std::uint32_t byte_length() const { return static_cast<std::uint32_t>(text_.size() * 2); }
  // The text; empty for the null string.
  const std::u16string& str() const { return text_; }
  std::u16string_view view() const { return text_; }
  std::string to_utf8() const;

  friend bool operator==(const BStr& a, const BStr& b) { return a.null_ == b.null_ && a.text_ == b.text_; }
  // Equal texts, with null and empty counting as equal.
  friend bool same_text(const BStr& a, const BStr& b) { return a.text_ == b.text_; }

 private:
  std::u16string text_;
  bool null_ = true;
};

}  // namespace tarvik::com
