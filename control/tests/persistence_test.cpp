// The persisted forms of a Machine object. The golden bytes are written out by hand from the layout
// (version word, then per property a 2-byte type and the value; strings as a byte count that includes
// the terminating zero character, then UTF-16LE), never produced by our own encoder.
#include "control/tests/machine_fixture.h"
#include "platform/com/persist.h"
#include "platform/com/stream.h"

namespace tarvik::control::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// MachineID "AB", MachineIP null, MachinePort 3011 (0x0BC3), MachineTimeout 5, HostID "?",
// HostPort 3010 (0x0BC2).
const Bytes kGolden = {
    0x00, 0x09, 0x00, 0x00,                                                 // version 0x900
    0x08, 0x00, 0x06, 0x00, 0x00, 0x00, 'A', 0x00, 'B',  0x00, 0x00, 0x00,  // BSTR "AB"
    0x08, 0x00, 0x00, 0x00, 0x00, 0x00,                                     // BSTR null
    0x03, 0x00, 0xC3, 0x0B, 0x00, 0x00,                                     // I4 3011
    0x02, 0x00, 0x05, 0x00,                                                 // I2 5
    0x08, 0x00, 0x04, 0x00, 0x00, 0x00, '?', 0x00, 0x00, 0x00,              // BSTR "?"
    0x03, 0x00, 0xC2, 0x0B, 0x00, 0x00,                                     // I4 3010
};

Bytes save(const com::ComPtr<IMachine>& m) {
  auto stream = com::make_object<com::MemoryStream>();
  EXPECT_EQ(m.as<com::IPersistStreamInit>()->Save(stream.get(), true), com::S_OK);
  return stream->bytes();
}

com::HRESULT load(const com::ComPtr<IMachine>& m, const Bytes& bytes) {
  auto stream = com::make_object<com::MemoryStream>(bytes);
  return m.as<com::IPersistStreamInit>()->Load(stream.get());
}

TEST(Persistence, StreamFormIsByteExact) {
  auto m = new_machine();
  put(m, Property::MachineID, text(u"ab"));
  m->put_MachineIP(com::BStr::null());
  EXPECT_EQ(save(m), kGolden);
  std::uint64_t size = 0;
  ASSERT_EQ(m.as<com::IPersistStreamInit>()->GetSizeMax(&size), com::S_OK);
  EXPECT_EQ(size, kGolden.size());
}

TEST(Persistence, LoadingCallsTheSettersWithTheirRules) {
  // MachineID "m1" (upper-cased on load), MachineIP "h", an I4 timeout of 12 (converted to the
  // property's type and clamped), HostID "x", HostPort 0.
  const Bytes bytes = {0x00, 0x09, 0x00, 0x00,                                                 //
                       0x08, 0x00, 0x06, 0x00, 0x00, 0x00, 'm', 0x00, '1',  0x00, 0x00, 0x00,  //
                       0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 'h', 0x00, 0x00, 0x00,              //
                       0x03, 0x00, 0x39, 0x30, 0x00, 0x00,                                     // 12345
                       0x03, 0x00, 0x0C, 0x00, 0x00, 0x00,                                     // I4 12
                       0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 'x', 0x00, 0x00, 0x00,              //
                       0x03, 0x00, 0x00, 0x00, 0x00, 0x00};
  auto m = new_machine();
  ASSERT_EQ(load(m, bytes), com::S_OK);
  EXPECT_EQ(get(m, Property::MachineID), text(u"M1"));
  EXPECT_EQ(get(m, Property::MachineIP), text(u"h"));
  EXPECT_EQ(get(m, Property::MachinePort), com::Variant::i4(12345));
  EXPECT_EQ(get(m, Property::MachineTimeout), com::Variant::i2(9));
  EXPECT_EQ(get(m, Property::HostID), text(u"x"));
  EXPECT_EQ(get(m, Property::HostPort), com::Variant::i4(0));
}

TEST(Persistence, NewerVersionFailsAndChangesNothingWhileATruncatedStreamKeepsWhatWasLoaded) {
  auto m = new_machine();
  Bytes newer = kGolden;
  newer[1] = 0x0A;  // 0xA00
  EXPECT_EQ(load(m, newer), com::E_FAIL);
  EXPECT_EQ(get(m, Property::MachineID), text(u"?"));

  const Bytes truncated(kGolden.begin(), kGolden.begin() + 26);  // version, MachineID, MachineIP, half a port
  EXPECT_TRUE(com::failed(load(m, truncated)));
  EXPECT_EQ(get(m, Property::MachineID), text(u"AB"));
  com::BStr ip(u"x");
  m->get_MachineIP(&ip);
  EXPECT_TRUE(ip.is_null());
  EXPECT_EQ(get(m, Property::MachinePort), com::Variant::i4(3011));

  Bytes huge = kGolden;  // a string count no stream should be trusted with
  huge[6] = 0xFF, huge[7] = 0xFF, huge[8] = 0xFF, huge[9] = 0x7F;
  EXPECT_TRUE(com::failed(load(m, huge)));
}

TEST(Persistence, StorageKeepsTheStreamBytesInContents) {
  auto m = new_machine();
  put(m, Property::MachineID, text(u"ab"));
  m->put_MachineIP(com::BStr::null());
  auto storage = com::make_object<com::MemoryStorage>();
  ASSERT_EQ(m.as<com::IPersistStorage>()->Save(storage.get(), false), com::S_OK);
  com::ComPtr<com::IStream> contents;
  ASSERT_EQ(storage->OpenStream(u"Contents", contents.put()), com::S_OK);
  Bytes read(kGolden.size() + 1);
  std::uint32_t got = 0;
  contents->Read(read.data(), static_cast<std::uint32_t>(read.size()), &got);
  read.resize(got);
  EXPECT_EQ(read, kGolden);
}

TEST(Persistence, PropertyBagWritesEveryPropertyByNameAndLoadsOnlyWhatItHolds) {
  auto m = new_machine();
  put(m, Property::MachineID, text(u"m7"));
  auto bag = com::make_object<com::MemoryPropertyBag>();
  ASSERT_EQ(m.as<com::IPersistPropertyBag>()->Save(bag.get(), true, true), com::S_OK);
  std::vector<std::u16string> names;
  for (const auto& [name, value] : bag->entries()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"MachineID", u"MachineIP", u"MachinePort", u"MachineTimeout",
                                                u"HostID", u"HostPort"}));
  EXPECT_EQ(*bag->find(u"MachineTimeout"), com::Variant::i2(5));

  auto only_port = com::make_object<com::MemoryPropertyBag>();
  only_port->Write(u"MachinePort", com::Variant::i4(4000));
  auto fresh = new_machine();
  put(fresh, Property::MachineID, text(u"keep"));
  ASSERT_EQ(fresh.as<com::IPersistPropertyBag>()->Load(only_port.get()), com::S_OK);
  EXPECT_EQ(get(fresh, Property::MachinePort), com::Variant::i4(4000));
  EXPECT_EQ(get(fresh, Property::MachineID), text(u"KEEP"));
  EXPECT_EQ(get(fresh, Property::MachineIP), text(u"?"));
  EXPECT_EQ(get(fresh, Property::MachineTimeout), com::Variant::i2(5));
  EXPECT_EQ(get(fresh, Property::HostPort), com::Variant::i4(3010));
}

}  // namespace
}  // namespace tarvik::control::test
