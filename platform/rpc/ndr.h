// NDR 2.0 cursors over stub data: the only way our code reads or writes marshalled bytes.
//
// Alignment is counted from the first byte of the stub (not of the PDU). The reader honours the
// sender's integer byte order ("receiver makes it right") and never reads past its buffer: every
// read returns a status, and after a failed read the cursor stays where it was. The writer always
// writes little-endian with zero padding, which is what every peer we talk to sends.
//
//   NdrReader r(stub, ByteOrder::little);
//   std::string host;
//   std::int32_t order;
//   if (Status s = r.read_string(host); s != RPC_S_OK) return s;
//   if (!r.read_i32(order)) return RPC_X_BAD_STUB_DATA;
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rpc/status.h"

namespace tarvik::rpc {

enum class ByteOrder : std::uint8_t { little, big };

class NdrReader {
 public:
  NdrReader(std::span<const std::uint8_t> data, ByteOrder order) : data_(data), order_(order) {}

  // Skip padding up to a multiple of n (a power of two). False if the padding runs past the end.
  [[nodiscard]] bool align(std::size_t n);
  [[nodiscard]] bool read_u8(std::uint8_t& v);
  [[nodiscard]] bool read_u16(std::uint16_t& v);   // aligns to 2
  [[nodiscard]] bool read_u32(std::uint32_t& v);   // aligns to 4
  [[nodiscard]] bool read_i32(std::int32_t& v);    // aligns to 4
  // n raw bytes, no alignment; `out` views the reader's buffer.
  [[nodiscard]] bool read_bytes(std::size_t n, std::span<const std::uint8_t>& out);

  // A top-level [string] unsigned char* (conformant varying, terminator counted). Gives the text up
  // to the first zero byte. RPC_X_BAD_STUB_DATA when bytes are missing, RPC_S_INVALID_BOUND when the
  // counts are inconsistent (offset != 0, actual != max, actual == 0) or the last byte is not zero.
  [[nodiscard]] Status read_string(std::string& out);

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  ByteOrder byte_order() const { return order_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  ByteOrder order_;
};

class NdrWriter {
 public:
  explicit NdrWriter(std::vector<std::uint8_t>& out) : out_(out), base_(out.size()) {}

  void align(std::size_t n);  // zero bytes up to a multiple of n from where this writer started
  void write_u8(std::uint8_t v);
  void write_u16(std::uint16_t v);
  void write_u32(std::uint32_t v);
  void write_i32(std::int32_t v) { write_u32(static_cast<std::uint32_t>(v)); }
  void write_bytes(std::span<const std::uint8_t> bytes);
  // A top-level [string] unsigned char*: counts strlen+1 / 0 / strlen+1, the bytes, one zero.
  // `text` must not contain a zero byte (callers pass C strings).
  void write_string(std::string_view text);

  std::size_t size() const { return out_.size() - base_; }

 private:
  std::vector<std::uint8_t>& out_;
  std::size_t base_;
};

// Byte-order helpers shared by the PDU codec.
inline std::uint16_t load_u16(const std::uint8_t* p, ByteOrder o) {
  return o == ByteOrder::little ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                                : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t load_u32(const std::uint8_t* p, ByteOrder o) {
  return o == ByteOrder::little
             ? (std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                (std::uint32_t{p[3]} << 24))
             : ((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
                std::uint32_t{p[3]});
}
inline void store_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace tarvik::rpc
