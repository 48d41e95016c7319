// Byte streams and a minimal structured storage (named streams), with in-memory implementations.
//
// MemoryStream and MemoryStorage are meant for one thread at a time, like the objects that persist
// into them. Sizes are bounded (kMaxMemoryStreamSize) so that a hostile length cannot exhaust memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/object.h"

namespace tarvik::com {

enum class SeekOrigin : std::uint32_t { set = 0, current = 1, end = 2 };

struct IStream : IUnknown {
  static constexpr Guid kIid = make_guid("{0000000C-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  // Reads up to `size` bytes; fewer (and S_OK) at the end of the stream. `read` may be null.
  virtual HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
  // Writes at the seek position, growing the stream as needed. `written` may be null.
  virtual HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* written) = 0;
  // STG_E_INVALIDFUNCTION when the new position would be negative. `position` may be null.
  virtual HRESULT Seek(std::int64_t move, SeekOrigin origin, std::uint64_t* position) = 0;
  virtual HRESULT SetSize(std::uint64_t size) = 0;
  virtual HRESULT GetSize(std::uint64_t* size) = 0;

 protected:
  ~IStream() = default;
};

struct IStorage : IUnknown {
  static constexpr Guid kIid = make_guid("{0000000B-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  // Creates the stream `name`, replacing one of that name; STG_E_INVALIDNAME for an empty name, one of
  // more than 31 characters, or one containing \ / : !
  virtual HRESULT CreateStream(std::u16string_view name, IStream** out) = 0;
  // Opens an existing stream at position 0 (STG_E_FILENOTFOUND when there is none).
  virtual HRESULT OpenStream(std::u16string_view name, IStream** out) = 0;
  virtual HRESULT DestroyElement(std::u16string_view name) = 0;
  // Names of the streams, in name order.
  virtual HRESULT EnumElements(std::vector<std::u16string>* names) = 0;

 protected:
  ~IStorage() = default;
};

inline constexpr std::uint64_t kMaxMemoryStreamSize = 64u << 20;  // bytes

class MemoryStream final : public Object<IStream> {
 public:
  using Buffer = std::shared_ptr<std::vector<std::uint8_t>>;
  // A stream over its own copy of `bytes`.
  MemoryStream(IUnknown* outer, std::vector<std::uint8_t> bytes = {});
  // A stream over a shared buffer (how MemoryStorage opens the same stream twice), position 0.
  MemoryStream(IUnknown* outer, Buffer shared);

  HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) override;
  HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* written) override;
  HRESULT Seek(std::int64_t move, SeekOrigin origin, std::uint64_t* position) override;
  HRESULT SetSize(std::uint64_t size) override;
  HRESULT GetSize(std::uint64_t* size) override;

  const std::vector<std::uint8_t>& bytes() const { return *buffer_; }
  std::uint64_t position() const { return position_; }

 private:
  Buffer buffer_;
  std::uint64_t position_ = 0;
};

class MemoryStorage final : public Object<IStorage> {
 public:
  explicit MemoryStorage(IUnknown* outer) : Object(outer) {}

  HRESULT CreateStream(std::u16string_view name, IStream** out) override;
  HRESULT OpenStream(std::u16string_view name, IStream** out) override;
  HRESULT DestroyElement(std::u16string_view name) override;
  HRESULT EnumElements(std::vector<std::u16string>* names) override;

 private:
  std::map<std::u16string, MemoryStream::Buffer> streams_;
};

// Reads exactly `size` bytes (STG_E_READFAULT when the stream ends first) / writes all of them.
HRESULT read_exact(IStream* stream, void* buffer, std::uint32_t size);
HRESULT write_all(IStream* stream, const void* data, std::uint32_t size);

}  // namespace tarvik::com
