#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include "platform/com/guid.h"
#include "platform/com/persist.h"

namespace tarvik::com {
namespace {

Variant text(const char16_t* s) {
  return Variant::bstr(BStr(s));
}

struct ConversionRow {
  Variant from;
  VarType to;
  HRESULT hr;
  Variant expected;  // when hr is S_OK
};

TEST(VariantConversion, FollowsTheDispatchRules) {
  const ConversionRow rows[] = {
      // EMPTY becomes zero values; NULL converts to nothing but NULL and EMPTY.
      {Variant(), VT_I4, S_OK, Variant::i4(0)},
      {Variant(), VT_BSTR, S_OK, text(u"")},
      {Variant(), VT_BOOL, S_OK, Variant::boolean(false)},
      {Variant::null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {Variant::null(), VT_EMPTY, S_OK, Variant()},
      // Numbers between each other, with range checks at both ends.
      {Variant::i4(32767), VT_I2, S_OK, Variant::i2(32767)},
      {Variant::i4(32768), VT_I2, DISP_E_OVERFLOW, {}},
      {Variant::i4(-32769), VT_I2, DISP_E_OVERFLOW, {}},
      {Variant::i4(255), VT_UI1, S_OK, Variant::ui1(255)},
      {Variant::i4(256), VT_UI1, DISP_E_OVERFLOW, {}},
      {Variant::i2(-1), VT_UI1, DISP_E_OVERFLOW, {}},
      {Variant::ui1(200), VT_I4, S_OK, Variant::i4(200)},
      {Variant::i2(-5), VT_I4, S_OK, Variant::i4(-5)},
      // BOOL: true is -1, or 255 as an unsigned byte; any non-zero number is true.
      {Variant::boolean(true), VT_I4, S_OK, Variant::i4(-1)},
      {Variant::boolean(true), VT_UI1, S_OK, Variant::ui1(255)},
      {Variant::i4(7), VT_BOOL, S_OK, Variant::boolean(true)},
      {Variant::i4(0), VT_BOOL, S_OK, Variant::boolean(false)},
      // Numbers and BOOL to text.
      {Variant::i4(-2147483647 - 1), VT_BSTR, S_OK, text(u"-2147483648")},
      {Variant::ui1(7), VT_BSTR, S_OK, text(u"7")},
      {Variant::boolean(false), VT_BSTR, S_OK, text(u"False")},
      // Text to numbers: signed decimal integers with blanks around, nothing else.
      {text(u" -42 "), VT_I4, S_OK, Variant::i4(-42)},
      {text(u"+7"), VT_I2, S_OK, Variant::i2(7)},
      {text(u"2147483648"), VT_I4, DISP_E_OVERFLOW, {}},
      {text(u"99999999999999999999999"), VT_I4, DISP_E_OVERFLOW, {}},
      {text(u"12abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {text(u"1.5"), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {text(u""), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {text(u"-"), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {Variant::bstr(BStr::null()), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {text(u"tRUE"), VT_BOOL, S_OK, Variant::boolean(true)},
      {text(u"0"), VT_BOOL, S_OK, Variant::boolean(false)},
      {text(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
      // Arrays convert only to themselves, and anything to VARIANT is a copy.
      {Variant::array({Variant::i4(1)}), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {Variant::array({Variant::i4(1)}), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
      {Variant::i4(1), VT_ARRAY | VT_VARIANT, DISP_E_TYPEMISMATCH, {}},
      {Variant::array({Variant::ui1(1)}), VT_ARRAY | VT_VARIANT, S_OK, Variant::array({Variant::ui1(1)})},
      {Variant::bstr(BStr::null()), VT_VARIANT, S_OK, Variant::bstr(BStr::null())},
      {Variant::i4(1), 64 /* VT_FILETIME: not supported */, DISP_E_BADVARTYPE, {}},
  };
  for (const auto& row : rows) {
    Variant out = Variant::i4(12345);
    const HRESULT hr = change_type(row.from, row.to, &out);
    SCOPED_TRACE(row.from.debug_string() + " -> " + std::to_string(row.to));
    EXPECT_EQ(hr, row.hr) << hresult_name(hr);
    if (row.hr == S_OK)
      EXPECT_EQ(out, row.expected) << out.debug_string();
    else
      EXPECT_EQ(out, Variant::i4(12345)) << "failure must leave the target alone";
  }
}

TEST(VariantConversion, ConvertsInPlace) {
  Variant v = text(u"17");
  ASSERT_EQ(change_type(v, VT_I4, &v), S_OK);
  EXPECT_EQ(v, Variant::i4(17));
}

TEST(BStr, NullIsDistinctFromEmptyAndEmbeddedZerosCount) {
  EXPECT_TRUE(BStr().is_null());
  EXPECT_FALSE(BStr(u"").is_null());
  EXPECT_FALSE(BStr() == BStr(u""));
  EXPECT_TRUE(same_text(BStr(), BStr(u"")));
  EXPECT_TRUE(BStr(static_cast<const char16_t*>(nullptr)).is_null());
  const BStr embedded(std::u16string_view(u"a\0b", 3));
  EXPECT_EQ(embedded.length(), 3u);
  EXPECT_EQ(embedded.byte_length(), 6u);
  EXPECT_FALSE(embedded == BStr(u"a"));
  EXPECT_EQ(BStr::from_utf8("Grüße €").to_utf8(), "Grüße €");
}

TEST(Guid, ParsesAndPrintsTheBracedForm) {
  constexpr Guid g = make_guid("{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");
  static_assert(g.data1 == 0x03B415E0 && g.data2 == 0x4F2E && g.data3 == 0x11D3 && g.data4[0] == 0x9D);
  EXPECT_EQ(g.to_string(), "{03B415E0-4F2E-11D3-9DC3-00A0249B4877}");
  EXPECT_EQ(Guid::parse("03b415e0-4f2e-11d3-9dc3-00a0249b4877"), g);
  for (const char* bad :
       {"", "{03B415E0-4F2E-11D3-9DC3-00A0249B4877", "{03B415E0-4F2E-11D3-9DC3-00A0249B487G}",
        "03B415E0+4F2E-11D3-9DC3-00A0249B4877", "{03B415E0-4F2E-11D3-9DC3-00A0249B48}"})
    EXPECT_FALSE(Guid::parse(bad)) << bad;
  EXPECT_EQ(hresult_name(DISP_E_TYPEMISMATCH), "DISP_E_TYPEMISMATCH");
  EXPECT_EQ(hresult_name(static_cast<HRESULT>(0x800106BAu)), "0x800106BA");
}

// The stream layout of a value, byte for byte: 2-byte type, then the value; strings with a 4-byte byte
// count that includes the terminating zero character.
TEST(VariantStream, WritesTheDocumentedLayout) {
  const Variant values[] = {text(u"AB"),    Variant::bstr(BStr::null()), Variant::i4(3011),
                            Variant::i2(-2), Variant::ui1(200),           Variant::boolean(true)};
  auto stream = make_object<MemoryStream>();
  for (const Variant& v : values) ASSERT_EQ(write_variant(stream.get(), v), S_OK);
  // clang-format off
  const std::vector<std::uint8_t> expected = {
      8, 0, 6, 0, 0, 0, 'A', 0, 'B', 0, 0, 0,  // BSTR "AB"
      8, 0, 0, 0, 0, 0,                        // null BSTR
      3, 0, 0xC3, 0x0B, 0, 0,                  // I4 3011
      2, 0, 0xFE, 0xFF,                        // I2 -2
      17, 0, 200,                              // UI1 200
      11, 0, 0xFF, 0xFF,                       // BOOL true
  };
  // clang-format on
  EXPECT_EQ(stream->bytes(), expected);
  EXPECT_EQ(write_variant(stream.get(), Variant::array({})), DISP_E_BADVARTYPE);

  stream->Seek(0, SeekOrigin::set, nullptr);
  for (const Variant& want : values) {
    Variant got;
    ASSERT_EQ(read_variant(stream.get(), &got), S_OK);
    EXPECT_EQ(got, want) << got.debug_string();
  }
}

TEST(VariantStream, RefusesMalformedInput) {
  struct Row {
    std::vector<std::uint8_t> bytes;
    HRESULT hr;
  } rows[] = {
      {{}, STG_E_READFAULT},
      {{3, 0, 1, 2}, STG_E_READFAULT},                               // I4 cut short
      {{8, 0, 5, 0, 0, 0, 'A', 0, 'B', 0, 0}, STG_E_INVALIDHEADER},  // odd byte count
      {{8, 0, 0, 0, 0, 0x40}, STG_E_INVALIDHEADER},                  // 1 GiB string
      {{8, 0, 8, 0, 0, 0, 'A', 0}, STG_E_READFAULT},                 // count beyond the data
      {{0x0C, 0x20}, DISP_E_BADVARTYPE},                             // an array tag
  };
  for (const auto& row : rows) {
    auto stream = make_object<MemoryStream>(row.bytes);
    Variant v;
    EXPECT_EQ(read_variant(stream.get(), &v), row.hr) << row.bytes.size();
  }
  // A string without its terminating zero keeps all its characters.
  auto stream = make_object<MemoryStream>(std::vector<std::uint8_t>{8, 0, 4, 0, 0, 0, 'O', 0, 'K', 0});
  Variant v;
  ASSERT_EQ(read_variant(stream.get(), &v), S_OK);
  EXPECT_EQ(v, text(u"OK"));
}

}  // namespace
}  // namespace tarvik::com
