// Persistence: an object's stream form kept in a storage's "Contents", the property bag, and the memory
// stream itself.
#include <gtest/gtest.h>

#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

TEST(StoragePersistence, KeepsTheStreamFormInContentsAndLoadsItBack) {
  auto w = make_object<Widget>(nullptr);
  ASSERT_EQ(put_property(w.get(), kName, Variant::bstr(u"S")), S_OK);
  ASSERT_EQ(put_property(w.get(), kCount, Variant::i4(7)), S_OK);
  EXPECT_EQ(w->IsDirty(), S_OK);
  auto storage = make_object<MemoryStorage>();
  ASSERT_EQ(save_to_storage(w.get(), storage.get(), true), S_OK);
  EXPECT_EQ(w->IsDirty(), S_FALSE);

  std::vector<std::u16string> names;
  ASSERT_EQ(storage->EnumElements(&names), S_OK);
  EXPECT_EQ(names, std::vector<std::u16string>({u"Contents"}));
  ComPtr<IStream> contents;
  ASSERT_EQ(storage->OpenStream(u"Contents", contents.put()), S_OK);
  auto direct = make_object<MemoryStream>();
  ASSERT_EQ(w->Save(direct.get(), false), S_OK);
  EXPECT_EQ(static_cast<MemoryStream*>(contents.get())->bytes(), direct->bytes());

  auto copy = make_object<Widget>(nullptr);
  ASSERT_EQ(load_from_storage(copy.get(), storage.get()), S_OK);
  EXPECT_EQ(copy->name(), BStr(u"S"));
  EXPECT_EQ(copy->count(), 7);
  auto empty = make_object<MemoryStorage>();
  EXPECT_EQ(load_from_storage(copy.get(), empty.get()), STG_E_FILENOTFOUND);
  ComPtr<IStream> s;
  EXPECT_EQ(storage->CreateStream(u"a/b", s.put()), STG_E_INVALIDNAME);
}

TEST(PropertyBag, NamesIgnoreCaseAndValuesConvertOnRead) {
  auto bag = make_object<MemoryPropertyBag>();
  ASSERT_EQ(bag->Write(u"count", Variant::bstr(u"99")), S_OK);
  Variant v = Variant::i4(0);  // the type the reader asks for
  ASSERT_EQ(bag->Read(u"Count", &v), S_OK);
  EXPECT_EQ(v, Variant::i4(99));
  EXPECT_EQ(bag->Read(u"Missing", &v), E_INVALIDARG);
  v = Variant::i2(0);
  bag->Write(u"COUNT", Variant::bstr(u"x"));
  EXPECT_EQ(bag->Read(u"Count", &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bag->entries().size(), 1u) << "a write under another case replaces the value";
}

TEST(MemoryStream, SeeksReadsAndGrowsWithinBounds) {
  auto s = make_object<MemoryStream>(std::vector<std::uint8_t>{1, 2, 3});
  std::uint8_t buf[8] = {};
  std::uint32_t got = 0;
  std::uint64_t pos = 0;
  ASSERT_EQ(s->Seek(-1, SeekOrigin::end, &pos), S_OK);
  EXPECT_EQ(pos, 2u);
  ASSERT_EQ(s->Read(buf, 8, &got), S_OK);
  EXPECT_EQ(got, 1u) << "a read at the end returns what is there";
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(s->Seek(-4, SeekOrigin::current, &pos), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(read_exact(s.get(), buf, 1), STG_E_READFAULT);
  // Writing past the end fills the gap with zeros.
  ASSERT_EQ(s->Seek(5, SeekOrigin::set, nullptr), S_OK);
  ASSERT_EQ(write_all(s.get(), "\x09", 1), S_OK);
  EXPECT_EQ(s->bytes(), std::vector<std::uint8_t>({1, 2, 3, 0, 0, 9}));
  EXPECT_EQ(s->SetSize(kMaxMemoryStreamSize + 1), STG_E_MEDIUMFULL);
  ASSERT_EQ(s->Seek(static_cast<std::int64_t>(kMaxMemoryStreamSize), SeekOrigin::set, nullptr), S_OK);
  EXPECT_EQ(s->Write("x", 1, &got), STG_E_MEDIUMFULL);
}

}  // namespace
}  // namespace tarvik::com::testing
