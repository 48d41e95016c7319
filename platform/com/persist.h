// Persistence of an object's properties: into a stream, into a storage (the same bytes in a stream
// named "Contents"), or into a property bag (named values). The interfaces, the variant layout the
// stream form uses, and an in-memory property bag for containers and tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/stream.h"
#include "platform/com/variant.h"

namespace tarvik::com {

struct IPersist : IUnknown {
  static constexpr Guid kIid = make_guid("{0000010C-0000-0000-C000-000000000046}");
  using Base = IUnknown;
  virtual HRESULT GetClassID(Guid* clsid) = 0;

 protected:
  ~IPersist() = default;
};

struct IPersistStreamInit : IPersist {
  static constexpr Guid kIid = make_guid("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
  using Base = IPersist;
  // S_OK when changed since the last save, S_FALSE otherwise.
  virtual HRESULT IsDirty() = 0;
  // Reads the properties from the stream's current position.
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, bool clear_dirty) = 0;
  virtual HRESULT GetSizeMax(std::uint64_t* size) = 0;
  // Initialises a new object that has no persisted data.
  virtual HRESULT InitNew() = 0;

 protected:
  ~IPersistStreamInit() = default;
};

struct IPersistStorage : IPersist {
  static constexpr Guid kIid = make_guid("{0000010A-0000-0000-C000-000000000046}");
  using Base = IPersist;
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT InitNew(IStorage* storage) = 0;
  virtual HRESULT Load(IStorage* storage) = 0;
  virtual HRESULT Save(IStorage* storage, bool same_as_load) = 0;
  virtual HRESULT SaveCompleted(IStorage* storage) = 0;
  virtual HRESULT HandsOffStorage() = 0;

 protected:
  ~IPersistStorage() = default;
};

struct IPropertyBag : IUnknown {
  static constexpr Guid kIid = make_guid("{55272A00-42CB-11CE-8135-00AA004BB851}");
  using Base = IUnknown;
  // On entry value->type() is the wanted type (EMPTY: as stored); the bag converts to it.
  // E_INVALIDARG when the bag holds no such name; a conversion failure as change_type() reports it.
  virtual HRESULT Read(std::u16string_view name, Variant* value) = 0;
  virtual HRESULT Write(std::u16string_view name, const Variant& value) = 0;

 protected:
  ~IPropertyBag() = default;
};

struct IPersistPropertyBag : IPersist {
  static constexpr Guid kIid = make_guid("{37D84F60-42CB-11CE-8135-00AA004BB851}");
  using Base = IPersist;
  virtual HRESULT InitNew() = 0;
  virtual HRESULT Load(IPropertyBag* bag) = 0;
  virtual HRESULT Save(IPropertyBag* bag, bool clear_dirty, bool save_all) = 0;

 protected:
  ~IPersistPropertyBag() = default;
};

// The stream layout of one value: a 2-byte little-endian type, then the value little-endian: I2 and
// BOOL 2 bytes, I4 4 bytes, UI1 1 byte, EMPTY and NULL nothing; BSTR a 4-byte byte count followed by
// that many bytes of UTF-16 text including its terminating zero character (count 0 and no text for the
// null string). Arrays are not supported (DISP_E_BADVARTYPE).
HRESULT write_variant(IStream* stream, const Variant& value);
// Reads one value as write_variant() lays it out. Refuses what it cannot trust: an unknown type
// (DISP_E_BADVARTYPE), a string count that is odd, 1 or above kMaxPersistedStringBytes
// (STG_E_INVALIDHEADER), a stream that ends early (STG_E_READFAULT). A string without its terminating
// zero keeps all its characters.
HRESULT read_variant(IStream* stream, Variant* value);
inline constexpr std::uint32_t kMaxPersistedStringBytes = 1u << 20;

// The name of the stream in which IPersistStorage keeps the stream form.
inline constexpr char16_t kContentsStream[] = u"Contents";
// IPersistStorage in terms of IPersistStreamInit: Save writes the object's stream form into a new
// "Contents" stream of `storage`; Load reads it back (STG_E_FILENOTFOUND when there is none).
HRESULT save_to_storage(IPersistStreamInit* object, IStorage* storage, bool clear_dirty);
HRESULT load_from_storage(IPersistStreamInit* object, IStorage* storage);

// A property bag in memory. Names are matched without regard to ASCII case and kept in the order of
// their first write.
class MemoryPropertyBag final : public Object<IPropertyBag> {
 public:
  explicit MemoryPropertyBag(IUnknown* outer) : Object(outer) {}

  HRESULT Read(std::u16string_view name, Variant* value) override;
  HRESULT Write(std::u16string_view name, const Variant& value) override;

  const std::vector<std::pair<std::u16string, Variant>>& entries() const { return entries_; }
  const Variant* find(std::u16string_view name) const;

 private:
  std::vector<std::pair<std::u16string, Variant>> entries_;
};

}  // namespace tarvik::com
