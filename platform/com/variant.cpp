#include "platform/com/variant.h"

#include "platform/com/utf8.h"

namespace tarvik::com {

BStr BStr::from_utf8(std::string_view text) {
  return BStr(com::from_utf8(text));
}
std::string BStr::to_utf8() const {
  return com::to_utf8(text_);
}

Variant Variant::null() {
  Variant v;
  v.type_ = VT_NULL;
  return v;
}

Variant Variant::i2(std::int16_t x) {
  Variant v;
  v.type_ = VT_I2;
  v.num_ = x;
  return v;
}

Variant Variant::i4(std::int32_t x) {
  Variant v;
  v.type_ = VT_I4;
  v.num_ = x;
  return v;
}

Variant Variant::ui1(std::uint8_t x) {
  Variant v;
  v.type_ = VT_UI1;
  v.num_ = x;
  return v;
}

Variant Variant::boolean(bool x) {
  Variant v;
  v.type_ = VT_BOOL;
  v.num_ = x ? kVariantTrue : kVariantFalse;
  return v;
}

Variant Variant::bstr(BStr x) {
  Variant v;
  v.type_ = VT_BSTR;
  v.str_ = std::move(x);
  return v;
}

Variant Variant::array(std::vector<Variant> elements) {
  Variant v;
  v.type_ = VT_ARRAY | VT_VARIANT;
  v.elements_ = std::move(elements);
  return v;
}

const BStr& Variant::as_bstr() const {
  static const BStr kNull;
  return type_ == VT_BSTR ? str_ : kNull;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  switch (a.type_) {
    case VT_BSTR:
      return a.str_ == b.str_;
    case VT_ARRAY | VT_VARIANT:
      return a.elements_ == b.elements_;
    default:
      return a.num_ == b.num_;
  }
}

std::string Variant::debug_string() const {
  switch (type_) {
    case VT_EMPTY:
      return "EMPTY";
    case VT_NULL:
      return "NULL";
    case VT_I2:
      return "I2(" + std::to_string(num_) + ")";
    case VT_I4:
      return "I4(" + std::to_string(num_) + ")";
    case VT_UI1:
      return "UI1(" + std::to_string(num_) + ")";
    case VT_BOOL:
      return num_ ? "BOOL(true)" : "BOOL(false)";
    case VT_BSTR:
      return str_.is_null() ? "BSTR(null)" : "BSTR(\"" + str_.to_utf8() + "\")";
    case VT_ARRAY | VT_VARIANT: {
      std::string s = "ARRAY[";
      for (std::size_t i = 0; i < elements_.size(); ++i) s += (i ? ", " : "") + elements_[i].debug_string();
      return s + "]";
    }
    default:
      return "VT(" + std::to_string(type_) + ")";
  }
}

}  // namespace tarvik::com
