#include "platform/rpc/ndr.h"

namespace tarvik::rpc {

bool NdrReader::align(std::size_t n) {
  const std::size_t pad = (n - pos_ % n) % n;
  if (pad > remaining()) return false;
  pos_ += pad;
  return true;
}

bool NdrReader::read_u8(std::uint8_t& v) {
  if (remaining() < 1) return false;
  v = data_[pos_++];
  return true;
}

bool NdrReader::read_u16(std::uint16_t& v) {
  const std::size_t start = pos_;
  if (!align(2) || remaining() < 2) {
    pos_ = start;
    return false;
  }
  v = load_u16(data_.data() + pos_, order_);
  pos_ += 2;
  return true;
}

bool NdrReader::read_u32(std::uint32_t& v) {
  const std::size_t start = pos_;
  if (!align(4) || remaining() < 4) {
    pos_ = start;
    return false;
  }
  v = load_u32(data_.data() + pos_, order_);
  pos_ += 4;
  return true;
}

bool NdrReader::read_i32(std::int32_t& v) {
  std::uint32_t u;
  if (!read_u32(u)) return false;
  v = static_cast<std::int32_t>(u);
  return true;
}

bool NdrReader::read_bytes(std::size_t n, std::span<const std::uint8_t>& out) {
  if (n > remaining()) return false;
  out = data_.subspan(pos_, n);
  pos_ += n;
  return true;
}

Status NdrReader::read_string(std::string& out) {
  const std::size_t start = pos_;
  std::uint32_t max_count, offset, actual_count;
  if (!read_u32(max_count) || !read_u32(offset) || !read_u32(actual_count)) {
    pos_ = start;
    return RPC_X_BAD_STUB_DATA;
  }
  if (offset != 0 || actual_count != max_count || actual_count == 0) {
    pos_ = start;
    return RPC_S_INVALID_BOUND;
  }
  std::span<const std::uint8_t> bytes;
  if (!read_bytes(actual_count, bytes)) {  // never allocates from the count
    pos_ = start;
    return RPC_X_BAD_STUB_DATA;
  }
  if (bytes.back() != 0) {
    pos_ = start;
    return RPC_S_INVALID_BOUND;
  }
  std::size_t len = 0;
  while (bytes[len] != 0) ++len;  // a routine sees the text up to its first zero byte
  out.assign(reinterpret_cast<const char*>(bytes.data()), len);
  return RPC_S_OK;
}

void NdrWriter::align(std::size_t n) {
  while (size() % n != 0) out_.push_back(0);
}

void NdrWriter::write_u8(std::uint8_t v) { out_.push_back(v); }

void NdrWriter::write_u16(std::uint16_t v) {
  align(2);
  out_.push_back(static_cast<std::uint8_t>(v));
  out_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void NdrWriter::write_u32(std::uint32_t v) {
  align(4);
  for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void NdrWriter::write_bytes(std::span<const std::uint8_t> bytes) {
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

void NdrWriter::write_string(std::string_view text) {
  const auto count = static_cast<std::uint32_t>(text.size() + 1);
  write_u32(count);
  write_u32(0);
  write_u32(count);
  out_.insert(out_.end(), text.begin(), text.end());
  out_.push_back(0);
}

}  // namespace tarvik::rpc
