// change_type(): the argument conversions of dispatch calls.
#include <cstdint>
#include <limits>
#include <optional>

#include "platform/com/variant.h"

namespace tarvik::com {
namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// An optionally signed decimal integer with optional blanks around it. nullopt when the text is not
// one; values beyond 64 bits are clamped (they overflow every target anyway).
std::optional<std::int64_t> parse_integer(std::u16string_view t) {
  while (!t.empty() && is_blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && is_blank(t.back())) t.remove_suffix(1);
  bool negative = false;
  if (!t.empty() && (t.front() == u'+' || t.front() == u'-')) {
    negative = t.front() == u'-';
    t.remove_prefix(1);
  }
  if (t.empty()) return std::nullopt;
  std::int64_t value = 0;
  constexpr std::int64_t kCap = std::int64_t{1} << 40;
  for (char16_t c : t) {
    if (c < u'0' || c > u'9') return std::nullopt;
    if (value < kCap) value = value * 10 + (c - u'0');
  }
  return negative ? -value : value;
}

bool equals_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The source as a 64-bit number, or an error for sources that have none.
HRESULT numeric_value(const Variant& src, VarType target, std::int64_t& out) {
  switch (src.type()) {
    case VT_EMPTY:
      out = 0;
      return S_OK;
    case VT_I2:
      out = src.as_i2();
      return S_OK;
    case VT_I4:
      out = src.as_i4();
      return S_OK;
    case VT_UI1:
      out = src.as_ui1();
      return S_OK;
    case VT_BOOL:
      out = !src.as_bool() ? 0 : (target == VT_UI1 ? 255 : -1);
      return S_OK;
    case VT_BSTR: {
      const auto v = parse_integer(src.as_bstr().view());
      if (!v) return DISP_E_TYPEMISMATCH;
      out = *v;
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

template <class T>
bool fits(std::int64_t v) {
  return v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max();
}

HRESULT to_bool(const Variant& src, Variant* out) {
  if (src.type() == VT_BSTR) {
    const std::u16string_view t = src.as_bstr().view();
    if (equals_ignoring_ascii_case(t, u"true")) return *out = Variant::boolean(true), S_OK;
    if (equals_ignoring_ascii_case(t, u"false")) return *out = Variant::boolean(false), S_OK;
  }
  std::int64_t v = 0;
  const HRESULT hr = numeric_value(src, VT_BOOL, v);
  if (failed(hr)) return hr;
  *out = Variant::boolean(v != 0);
  return S_OK;
}

HRESULT to_bstr(const Variant& src, Variant* out) {
  switch (src.type()) {
    case VT_BSTR:
      *out = src;
      return S_OK;
    case VT_EMPTY:
      *out = Variant::bstr(BStr(u""));
      return S_OK;
    case VT_BOOL:
      *out = Variant::bstr(BStr(src.as_bool() ? u"True" : u"False"));
      return S_OK;
    case VT_I2:
    case VT_I4:
    case VT_UI1: {
      std::int64_t v = 0;
      numeric_value(src, VT_BSTR, v);
      const std::string digits = std::to_string(v);
      *out = Variant::bstr(BStr(std::u16string(digits.begin(), digits.end())));
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT change_type(const Variant& src, VarType target, Variant* out) {
  if (!out) return E_POINTER;
  switch (target) {
    case VT_EMPTY:
      *out = Variant();
      return S_OK;
    case VT_VARIANT:
      *out = src;
      return S_OK;
    case VT_NULL:
      if (src.type() != VT_NULL) return DISP_E_TYPEMISMATCH;
      *out = src;
      return S_OK;
    case VT_ARRAY | VT_VARIANT:
      if (!src.is_array()) return DISP_E_TYPEMISMATCH;
      *out = src;
      return S_OK;
    case VT_BOOL:
      return to_bool(src, out);
    case VT_BSTR:
      return to_bstr(src, out);
    case VT_I2:
    case VT_I4:
    case VT_UI1: {
      std::int64_t v = 0;
      const HRESULT hr = numeric_value(src, target, v);
      if (failed(hr)) return hr;
      if (target == VT_I2) {
        if (!fits<std::int16_t>(v)) return DISP_E_OVERFLOW;
        *out = Variant::i2(static_cast<std::int16_t>(v));
      } else if (target == VT_I4) {
        if (!fits<std::int32_t>(v)) return DISP_E_OVERFLOW;
        *out = Variant::i4(static_cast<std::int32_t>(v));
      } else {
        if (!fits<std::uint8_t>(v)) return DISP_E_OVERFLOW;
        *out = Variant::ui1(static_cast<std::uint8_t>(v));
      }
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace tarvik::com
