// Variant: the self-describing value of dispatch calls, events, property bags and persisted data.
//
// Types held: EMPTY, NULL, I2 (signed 16-bit), I4 (signed 32-bit), UI1 (unsigned 8-bit), BOOL (16-bit,
// true = -1), BSTR (counted UTF-16 string, may be null) and one-dimensional arrays of variants with
// lower bound 0 (type ARRAY|VARIANT). A plain value type: copying copies deeply, like VariantCopy.
// Not thread-safe; one thread uses a given Variant at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

namespace tarvik::com {

using VarType = std::uint16_t;
inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_NULL = 1;
inline constexpr VarType VT_I2 = 2;
inline constexpr VarType VT_I4 = 3;
inline constexpr VarType VT_BSTR = 8;
inline constexpr VarType VT_BOOL = 11;
inline constexpr VarType VT_VARIANT = 12;  // "any variant": a parameter type, never a held type
inline constexpr VarType VT_UI1 = 17;
inline constexpr VarType VT_ARRAY = 0x2000;  // flag; only VT_ARRAY | VT_VARIANT is supported

using VariantBool = std::int16_t;
inline constexpr VariantBool kVariantTrue = -1;
inline constexpr VariantBool kVariantFalse = 0;

class Variant {
 public:
  Variant() = default;  // EMPTY
  static Variant null();
  static Variant i2(std::int16_t v);
  static Variant i4(std::int32_t v);
  static Variant ui1(std::uint8_t v);
  static Variant boolean(bool v);
  static Variant bstr(BStr v);
  static Variant array(std::vector<Variant> elements);

  VarType type() const { return type_; }
  bool is_empty() const { return type_ == VT_EMPTY; }
  bool is_array() const { return type_ == (VT_ARRAY | VT_VARIANT); }

  // Typed reads. Each returns the held value when the type matches and 0 / false / the null string /
  // an empty array otherwise; use change_type() to convert.
  std::int16_t as_i2() const { return type_ == VT_I2 ? static_cast<std::int16_t>(num_) : 0; }
  std::int32_t as_i4() const { return type_ == VT_I4 ? num_ : 0; }
  std::uint8_t as_ui1() const { return type_ == VT_UI1 ? static_cast<std::uint8_t>(num_) : 0; }
  bool as_bool() const { return type_ == VT_BOOL && num_ != 0; }
  const BStr& as_bstr() const;
  const std::vector<Variant>& as_array() const { return elements_; }

  void clear() { *this = Variant(); }

  friend bool operator==(const Variant& a, const Variant& b);
  // "I4(5)", "BSTR(\"x\")", "BSTR(null)", "ARRAY[UI1(1), ...]": for test failures and logs.
  std::string debug_string() const;

 private:
  VarType type_ = VT_EMPTY;
  std::int32_t num_ = 0;  // I2, I4, UI1 and BOOL (-1 / 0)
  BStr str_;
  std::vector<Variant> elements_;
};

// Converts `src` to `target`, as a dispatch call converts its arguments; `out` may alias `src`.
// Supported targets: EMPTY, NULL, I2, I4, UI1, BOOL, BSTR, VARIANT (a plain copy) and
// ARRAY|VARIANT (from an array only). Rules:
//  - EMPTY becomes 0, false or the empty string; NULL converts only to NULL and EMPTY.
//  - Numbers convert between each other when the value fits, else DISP_E_OVERFLOW.
//  - BOOL true is -1 as a signed number and 255 as UI1 (the 8-bit pattern of -1); any non-zero number
//    is true.
//  - Numbers become decimal text; BOOL becomes "True" or "False".
//  - Text becomes a number when it is an optionally signed decimal integer with optional surrounding
//    blanks (DISP_E_OVERFLOW when it does not fit); a BOOL from "True"/"False" in any case or from such
//    a number. Anything else, including the null string, is DISP_E_TYPEMISMATCH.
//  - Arrays convert to nothing but themselves (and EMPTY): DISP_E_TYPEMISMATCH.
// An unknown target is DISP_E_BADVARTYPE. On failure `out` is left unchanged.
HRESULT change_type(const Variant& src, VarType target, Variant* out);

}  // namespace tarvik::com
