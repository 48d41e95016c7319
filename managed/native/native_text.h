// UTF-16 texts as the managed side hands them over: zero-terminated char16_t pointers, null allowed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::managed {

inline std::optional<std::u16string> text_from(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  return std::u16string(text);
}

inline std::optional<std::u16string_view> view_from(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  return std::u16string_view(text);
}

}  // namespace tarvik::managed
