// Persistence of CMachine: the six persisted properties, read and written through the object's own
// accessors, as a stream (version word 0x900, then one serialized value per property), as the same
// bytes in a storage's "Contents" stream, or as named values of a property bag.
#include <array>

#include "control/machine.h"

namespace tarvik::control {
namespace {

template <class F>
com::HRESULT for_each_persisted(F&& f) {
  for (const PropertyInfo& p : kProperties) {
    if (!p.persisted) continue;
    if (const com::HRESULT hr = f(p); com::failed(hr)) return hr;
  }
  return com::S_OK;
}

}  // namespace

com::HRESULT CMachine::GetClassID(com::Guid* clsid) {
  if (!clsid) return com::E_POINTER;
  *clsid = kClsidMachine;
  return com::S_OK;
}

com::HRESULT CMachine::IsDirty() {
  return dirty_ ? com::S_OK : com::S_FALSE;
}

com::HRESULT CMachine::InitNew() {
  return com::S_OK;
}  // the initial values are already in place

com::HRESULT CMachine::Load(com::IStream* stream) {
  if (!stream) return com::E_POINTER;
  std::array<std::uint8_t, 4> word{};
  if (const com::HRESULT hr = com::read_exact(stream, word.data(), 4); com::failed(hr)) return hr;
  const std::uint32_t version = word[0] | (word[1] << 8) | (word[2] << 16) | (std::uint32_t{word[3]} << 24);
  if (version > kStreamVersion) return com::E_FAIL;
  // Each value is read with the type stored in front of it and given to the setter, which converts
  // it; a failure ends the load, and what was loaded before it stays.
  return for_each_persisted([&](const PropertyInfo& p) {
    com::Variant v;
    if (const com::HRESULT hr = com::read_variant(stream, &v); com::failed(hr)) return hr;
    return put_property(p.id, v);
  });
}

com::HRESULT CMachine::Save(com::IStream* stream, bool clear_dirty) {
  if (!stream) return com::E_POINTER;
  const std::uint8_t word[4] = {kStreamVersion & 0xFF, (kStreamVersion >> 8) & 0xFF, 0, 0};
  if (const com::HRESULT hr = com::write_all(stream, word, 4); com::failed(hr)) return hr;
  const com::HRESULT hr = for_each_persisted([&](const PropertyInfo& p) {
    com::Variant v;
    if (const com::HRESULT get = get_property(p.id, &v); com::failed(get)) return get;
    return com::write_variant(stream, v);
  });
  if (com::succeeded(hr) && clear_dirty) dirty_ = false;
  return hr;
}

com::HRESULT CMachine::GetSizeMax(std::uint64_t* size) {
  if (!size) return com::E_POINTER;
  std::uint64_t n = 4;
  (void)for_each_persisted([&](const PropertyInfo& p) {
    com::Variant v;
    (void)get_property(p.id, &v);
    n += 2;
    switch (v.type()) {
      case com::VT_BSTR:
        n += 4 + (v.as_bstr().is_null() ? 0 : v.as_bstr().byte_length() + 2);
        break;
      case com::VT_I4:
        n += 4;
        break;
      default:
        n += 2;
        break;
    }
    return com::S_OK;
  });
  *size = n;
  return com::S_OK;
}

com::HRESULT CMachine::InitNew(com::IStorage* storage) {
  return storage ? com::S_OK : com::E_POINTER;
}

com::HRESULT CMachine::Load(com::IStorage* storage) {
  return com::load_from_storage(static_cast<com::IPersistStreamInit*>(this), storage);
}

com::HRESULT CMachine::Save(com::IStorage* storage, bool) {
  return com::save_to_storage(static_cast<com::IPersistStreamInit*>(this), storage, true);
}

com::HRESULT CMachine::SaveCompleted(com::IStorage*) {
  return com::S_OK;
}
com::HRESULT CMachine::HandsOffStorage() {
  return com::S_OK;
}

com::HRESULT CMachine::Load(com::IPropertyBag* bag) {
  if (!bag) return com::E_POINTER;
  return for_each_persisted([&](const PropertyInfo& p) {
    com::Variant v;  // EMPTY: as the bag holds it; the setter converts
    const std::u16string name(p.name.begin(), p.name.end());
    if (com::failed(bag->Read(name, &v))) return com::S_OK;  // not in the bag: keeps its value
    return put_property(p.id, v);
  });
}

com::HRESULT CMachine::Save(com::IPropertyBag* bag, bool clear_dirty, bool) {
  if (!bag) return com::E_POINTER;
  const com::HRESULT hr = for_each_persisted([&](const PropertyInfo& p) {
    com::Variant v;
    if (const com::HRESULT get = get_property(p.id, &v); com::failed(get)) return get;
    const std::u16string name(p.name.begin(), p.name.end());
    return bag->Write(name, v);
  });
  if (com::succeeded(hr) && clear_dirty) dirty_ = false;
  return hr;
}

}  // namespace tarvik::control
