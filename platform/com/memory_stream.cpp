#include <algorithm>
#include <cstring>

#include "platform/com/stream.h"

namespace tarvik::com {

MemoryStream::MemoryStream(IUnknown* outer, std::vector<std::uint8_t> bytes)
    : Object(outer), buffer_(std::make_shared<std::vector<std::uint8_t>>(std::move(bytes))) {}

MemoryStream::MemoryStream(IUnknown* outer, Buffer shared) : Object(outer), buffer_(std::move(shared)) {}

HRESULT MemoryStream::Read(void* buffer, std::uint32_t size, std::uint32_t* read) {
  if (read) *read = 0;
  if (!buffer && size) return STG_E_INVALIDPOINTER;
  const std::uint64_t available = position_ < buffer_->size() ? buffer_->size() - position_ : 0;
  const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
  if (n) std::memcpy(buffer, buffer_->data() + position_, n);
  position_ += n;
  if (read) *read = n;
  return S_OK;
}

HRESULT MemoryStream::Write(const void* data, std::uint32_t size, std::uint32_t* written) {
  if (written) *written = 0;
  if (!data && size) return STG_E_INVALIDPOINTER;
  const std::uint64_t end = position_ + size;
  if (end > kMaxMemoryStreamSize) return STG_E_MEDIUMFULL;
  if (end > buffer_->size()) buffer_->resize(end);
  if (size) std::memcpy(buffer_->data() + position_, data, size);
  position_ = end;
  if (written) *written = size;
  return S_OK;
}

HRESULT MemoryStream::Seek(std::int64_t move, SeekOrigin origin, std::uint64_t* position) {
  std::int64_t base = 0;
  switch (origin) {
    case SeekOrigin::set:
      base = 0;
      break;
    case SeekOrigin::current:
      base = static_cast<std::int64_t>(position_);
      break;
    case SeekOrigin::end:
      base = static_cast<std::int64_t>(buffer_->size());
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  constexpr auto kMax = static_cast<std::int64_t>(kMaxMemoryStreamSize);
  if (move < -kMax || move > kMax || base + move < 0) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<std::uint64_t>(base + move);
  if (position) *position = position_;
  return S_OK;
}

HRESULT MemoryStream::SetSize(std::uint64_t size) {
  if (size > kMaxMemoryStreamSize) return STG_E_MEDIUMFULL;
  buffer_->resize(size);
  return S_OK;
}

HRESULT MemoryStream::GetSize(std::uint64_t* size) {
  if (!size) return E_POINTER;
  *size = buffer_->size();
  return S_OK;
}

namespace {
bool valid_element_name(std::u16string_view name) {
  if (name.empty() || name.size() > 31) return false;
  return name.find_first_of(u"\\/:!") == std::u16string_view::npos;
}
}  // namespace

HRESULT MemoryStorage::CreateStream(std::u16string_view name, IStream** out) {
  if (!out) return STG_E_INVALIDPOINTER;
  *out = nullptr;
  if (!valid_element_name(name)) return STG_E_INVALIDNAME;
  auto buffer = std::make_shared<std::vector<std::uint8_t>>();
  streams_[std::u16string(name)] = buffer;
  *out = make_object<MemoryStream>(buffer).detach();
  return S_OK;
}

HRESULT MemoryStorage::OpenStream(std::u16string_view name, IStream** out) {
  if (!out) return STG_E_INVALIDPOINTER;
  *out = nullptr;
  if (!valid_element_name(name)) return STG_E_INVALIDNAME;
  const auto it = streams_.find(std::u16string(name));
  if (it == streams_.end()) return STG_E_FILENOTFOUND;
  *out = make_object<MemoryStream>(it->second).detach();
  return S_OK;
}

HRESULT MemoryStorage::DestroyElement(std::u16string_view name) {
  return streams_.erase(std::u16string(name)) ? S_OK : STG_E_FILENOTFOUND;
}

HRESULT MemoryStorage::EnumElements(std::vector<std::u16string>* names) {
  if (!names) return E_POINTER;
  names->clear();
  for (const auto& [name, buffer] : streams_) names->push_back(name);
  return S_OK;
}

HRESULT read_exact(IStream* stream, void* buffer, std::uint32_t size) {
  if (!stream) return E_POINTER;
  std::uint32_t got = 0;
  const HRESULT hr = stream->Read(buffer, size, &got);
  if (failed(hr)) return hr;
  return got == size ? S_OK : STG_E_READFAULT;
}

HRESULT write_all(IStream* stream, const void* data, std::uint32_t size) {
  if (!stream) return E_POINTER;
  std::uint32_t put = 0;
  const HRESULT hr = stream->Write(data, size, &put);
  if (failed(hr)) return hr;
  return put == size ? S_OK : STG_E_WRITEFAULT;
}

}  // namespace tarvik::com
