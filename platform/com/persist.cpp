#include "platform/com/persist.h"

#include <array>

namespace tarvik::com {
namespace {

template <std::size_t N>
HRESULT write_le(IStream* s, std::uint64_t v) {
  std::array<std::uint8_t, N> b;
  for (std::size_t i = 0; i < N; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
  return write_all(s, b.data(), N);
}

template <std::size_t N>
HRESULT read_le(IStream* s, std::uint64_t& v) {
  std::array<std::uint8_t, N> b;
  const HRESULT hr = read_exact(s, b.data(), N);
  if (failed(hr)) return hr;
  v = 0;
  for (std::size_t i = 0; i < N; ++i) v |= std::uint64_t{b[i]} << (8 * i);
  return S_OK;
}

bool same_name(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

HRESULT write_variant(IStream* stream, const Variant& value) {
  if (!stream) return E_POINTER;
  const VarType t = value.type();
  switch (t) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_BOOL:
    case VT_BSTR:
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  HRESULT hr = write_le<2>(stream, t);
  if (failed(hr)) return hr;
  switch (t) {
    case VT_I2:
      return write_le<2>(stream, static_cast<std::uint16_t>(value.as_i2()));
    case VT_BOOL:
      return write_le<2>(stream, static_cast<std::uint16_t>(value.as_bool() ? kVariantTrue : kVariantFalse));
    case VT_I4:
      return write_le<4>(stream, static_cast<std::uint32_t>(value.as_i4()));
    case VT_UI1:
      return write_le<1>(stream, value.as_ui1());
    case VT_BSTR: {
      const BStr& s = value.as_bstr();
      if (s.is_null()) return write_le<4>(stream, 0);
      if (s.byte_length() + 2 > kMaxPersistedStringBytes) return STG_E_MEDIUMFULL;
      hr = write_le<4>(stream, s.byte_length() + 2);
      for (std::size_t i = 0; succeeded(hr) && i <= s.length(); ++i)
        hr = write_le<2>(stream, i < s.length() ? s.view()[i] : 0);
      return hr;
    }
    default:
      return S_OK;
  }
}

HRESULT read_variant(IStream* stream, Variant* value) {
  if (!stream || !value) return E_POINTER;
  std::uint64_t t = 0, v = 0;
  HRESULT hr = read_le<2>(stream, t);
  if (failed(hr)) return hr;
  switch (t) {
    case VT_EMPTY:
      *value = Variant();
      return S_OK;
    case VT_NULL:
      *value = Variant::null();
      return S_OK;
    case VT_I2:
      if (failed(hr = read_le<2>(stream, v))) return hr;
      *value = Variant::i2(static_cast<std::int16_t>(v));
      return S_OK;
    case VT_BOOL:
      if (failed(hr = read_le<2>(stream, v))) return hr;
      *value = Variant::boolean(v != 0);
      return S_OK;
    case VT_I4:
      if (failed(hr = read_le<4>(stream, v))) return hr;
      *value = Variant::i4(static_cast<std::int32_t>(v));
      return S_OK;
    case VT_UI1:
      if (failed(hr = read_le<1>(stream, v))) return hr;
      *value = Variant::ui1(static_cast<std::uint8_t>(v));
      return S_OK;
    case VT_BSTR: {
      if (failed(hr = read_le<4>(stream, v))) return hr;
      if (v == 0) {
        *value = Variant::bstr(BStr::null());
        return S_OK;
      }
      if (v % 2 != 0 || v > kMaxPersistedStringBytes) return STG_E_INVALIDHEADER;
      std::vector<std::uint8_t> bytes(v);
      if (failed(hr = read_exact(stream, bytes.data(), static_cast<std::uint32_t>(v)))) return hr;
      std::u16string text(v / 2, u'\0');
      for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      if (text.back() == u'\0') text.pop_back();
      *value = Variant::bstr(BStr(std::move(text)));
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

HRESULT save_to_storage(IPersistStreamInit* object, IStorage* storage, bool clear_dirty) {
  if (!object || !storage) return E_POINTER;
  ComPtr<IStream> stream;
  const HRESULT hr = storage->CreateStream(kContentsStream, stream.put());
  if (failed(hr)) return hr;
  return object->Save(stream.get(), clear_dirty);
}

HRESULT load_from_storage(IPersistStreamInit* object, IStorage* storage) {
  if (!object || !storage) return E_POINTER;
  ComPtr<IStream> stream;
  const HRESULT hr = storage->OpenStream(kContentsStream, stream.put());
  if (failed(hr)) return hr;
  return object->Load(stream.get());
}

const Variant* MemoryPropertyBag::find(std::u16string_view name) const {
  for (const auto& [n, v] : entries_)
    if (same_name(n, name)) return &v;
  return nullptr;
}

HRESULT MemoryPropertyBag::Read(std::u16string_view name, Variant* value) {
  if (!value) return E_POINTER;
  const Variant* stored = find(name);
  if (!stored) return E_INVALIDARG;
  if (value->type() == VT_EMPTY) {
    *value = *stored;
    return S_OK;
  }
  return change_type(*stored, value->type(), value);
}

HRESULT MemoryPropertyBag::Write(std::u16string_view name, const Variant& value) {
  for (auto& [n, v] : entries_) {
    if (same_name(n, name)) {
      v = value;
      return S_OK;
    }
  }
  entries_.emplace_back(std::u16string(name), value);
  return S_OK;
}

}  // namespace tarvik::com
