// Persistence round trips: stream, storage ("Contents"), property bag; and the memory stream itself.
#include <gtest/gtest.h>

#include "platform/com/tests/test_widget.h"

namespace tarvik::com::testing {
namespace {

ComPtr<Widget> widget(const char16_t* name, std::int32_t count) {
  auto w = make_object<Widget>(nullptr);
  EXPECT_EQ(put_property(w.get(), kName, Variant::bstr(name)), S_OK);
  EXPECT_EQ(put_property(w.get(), kCount, Variant::i4(count)), S_OK);
  return w;
}

TEST(StreamPersistence, SavesTheLayoutAndLoadsItBack) {
  auto w = widget(u"Mx", 3011);
  EXPECT_EQ(w->IsDirty(), S_OK);
  auto stream = make_object<MemoryStream>();
  ASSERT_EQ(w->Save(stream.get(), true), S_OK);
  EXPECT_EQ(w->IsDirty(), S_FALSE);
  // clang-format off
  const std::vector<std::uint8_t> expected = {0x00, 0x01, 0, 0,                            // version 0x100
                                              8, 0, 6, 0, 0, 0, 'M', 0, 'x', 0, 0, 0,  // "Mx"
                                              3, 0, 0xC3, 0x0B, 0, 0};                 // 3011
  // clang-format on
  EXPECT_EQ(stream->bytes(), expected);
  std::uint64_t max = 0;
  ASSERT_EQ(w->GetSizeMax(&max), S_OK);
  EXPECT_GE(max, expected.size());

  auto copy = make_object<Widget>(nullptr);
  stream->Seek(0, SeekOrigin::set, nullptr);
  ASSERT_EQ(copy->Load(stream.get()), S_OK);
  EXPECT_EQ(copy->name(), BStr(u"Mx"));
  EXPECT_EQ(copy->count(), 3011);
}

TEST(StreamPersistence, ANewerVersionOrATruncatedStreamFails) {
  auto w = widget(u"Old", 1);
  auto newer = make_object<MemoryStream>(std::vector<std::uint8_t>{0x01, 0x01, 0, 0, 3, 0, 5, 0, 0, 0});
  EXPECT_EQ(w->Load(newer.get()), E_FAIL);
  EXPECT_EQ(w->name(), BStr(u"Old"));
  // Values read before the failure keep their new values.
  auto cut = make_object<MemoryStream>(
      std::vector<std::uint8_t>{0, 1, 0, 0, 8, 0, 4, 0, 0, 0, 'N', 0, 0, 0, 3, 0, 5});
  EXPECT_EQ(w->Load(cut.get()), STG_E_READFAULT);
  EXPECT_EQ(w->name(), BStr(u"N"));
  EXPECT_EQ(w->count(), 1);
}

TEST(StoragePersistence, KeepsTheStreamBytesInContents) {
  auto w = widget(u"S", 7);
  auto storage = make_object<MemoryStorage>();
  ComPtr<IPersistStorage> ps = w.as<IPersistStorage>();
  ASSERT_EQ(ps->Save(storage.get(), false), S_OK);

  std::vector<std::u16string> names;
  ASSERT_EQ(storage->EnumElements(&names), S_OK);
  EXPECT_EQ(names, std::vector<std::u16string>({u"Contents"}));
  ComPtr<IStream> contents;
  ASSERT_EQ(storage->OpenStream(u"Contents", contents.put()), S_OK);
  auto direct = make_object<MemoryStream>();
  ASSERT_EQ(w->Save(direct.get(), false), S_OK);
  EXPECT_EQ(static_cast<MemoryStream*>(contents.get())->bytes(), direct->bytes());

  auto copy = make_object<Widget>(nullptr);
  ASSERT_EQ(copy.as<IPersistStorage>()->Load(storage.get()), S_OK);
  EXPECT_EQ(copy->count(), 7);
  auto empty = make_object<MemoryStorage>();
  EXPECT_EQ(copy.as<IPersistStorage>()->Load(empty.get()), STG_E_FILENOTFOUND);
  ComPtr<IStream> s;
  EXPECT_EQ(storage->CreateStream(u"a/b", s.put()), STG_E_INVALIDNAME);
}

TEST(PropertyBagPersistence, RoundTripsAndSkipsWhatTheBagLacks) {
  auto w = widget(u"Bag", 12);
  auto bag = make_object<MemoryPropertyBag>();
  ASSERT_EQ(w.as<IPersistPropertyBag>()->Save(bag.get(), true, true), S_OK);
  ASSERT_EQ(bag->entries().size(), 2u);
  EXPECT_EQ(bag->entries()[0].first, u"Name");
  EXPECT_EQ(bag->entries()[1].second, Variant::i4(12));

  // A bag with only "count" (names match without regard to case), held as text: converted on read.
  auto partial = make_object<MemoryPropertyBag>();
  partial->Write(u"count", Variant::bstr(u"99"));
  auto target = widget(u"Keep", 1);
  ASSERT_EQ(target.as<IPersistPropertyBag>()->Load(partial.get()), S_OK);
  EXPECT_EQ(target->name(), BStr(u"Keep"));
  EXPECT_EQ(target->count(), 99);

  Variant v;
  EXPECT_EQ(partial->Read(u"Missing", &v), E_INVALIDARG);
  v = Variant::i2(0);
  partial->Write(u"COUNT", Variant::bstr(u"x"));
  EXPECT_EQ(partial->Read(u"Count", &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(partial->entries().size(), 1u) << "a write under another case replaces the value";
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
