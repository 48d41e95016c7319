#include "protocol/stub_codec.h"

#include <algorithm>
#include <string_view>

namespace tarvik::protocol {
namespace {

using rpc::NdrReader;
using rpc::NdrWriter;
using rpc::Status;

// A C caller hands the stub a zero-terminated string: whatever follows an embedded zero is not sent.
std::string_view up_to_zero(const std::string& s) { return std::string_view(s.c_str()); }

Status check_sendable(const Param& p, const WireValue& v) {
  if (v.index() != alternative_of(p.kind)) return rpc::ERROR_INVALID_PARAMETER;
  if (p.kind == Kind::text && !std::get<WireText>(v)) return rpc::RPC_X_NULL_REF_POINTER;
  if (!fits(p, v)) return rpc::RPC_S_INVALID_BOUND;
  if (p.kind == Kind::name_table) {
    for (const std::string& name : std::get<NameTable>(v))
      if (up_to_zero(name).size() > kNameSlotBytes) return rpc::RPC_S_INVALID_BOUND;
  }
  return rpc::RPC_S_OK;
}

void write_value(NdrWriter& w, const Param& p, const WireValue& v) {
  switch (p.kind) {
    case Kind::text:
      w.write_string(up_to_zero(*std::get<WireText>(v)));
      break;
    case Kind::number:
      w.write_i32(std::get<std::int32_t>(v));
      break;
    case Kind::number_table:
      for (std::int32_t n : std::get<std::vector<std::int32_t>>(v)) w.write_i32(n);
      break;
    case Kind::name_table:
      for (const std::string& name : std::get<NameTable>(v)) {
        std::uint8_t slot[kNameSlotBytes] = {};
        const std::string_view text = up_to_zero(name);
        std::copy(text.begin(), text.end(), slot);
        w.write_bytes(slot);
      }
      break;
    case Kind::byte_table:
      w.write_bytes(std::get<std::vector<std::uint8_t>>(v));
      break;
  }
}

// Reads one value; false on any defect (the caller reports RPC_X_BAD_STUB_DATA).
bool read_value(NdrReader& r, const Param& p, WireValue& out) {
  switch (p.kind) {
    case Kind::text: {
      std::string text;
      if (r.read_string(text) != rpc::RPC_S_OK) return false;
      out = WireText{std::move(text)};
      return true;
    }
    case Kind::number: {
      std::int32_t n;
      if (!r.read_i32(n)) return false;
      out = n;
      return true;
    }
    case Kind::number_table: {
      std::vector<std::int32_t> numbers(p.count);
      for (std::int32_t& n : numbers)
        if (!r.read_i32(n)) return false;
      out = std::move(numbers);
      return true;
    }
    case Kind::name_table: {
      std::span<const std::uint8_t> raw;
      if (!r.read_bytes(p.count * kNameSlotBytes, raw)) return false;
      NameTable names(p.count);
      for (std::size_t i = 0; i < p.count; ++i) {
        // A slot ends at its zero byte or at its sixth byte, never later.
        const auto slot = raw.subspan(i * kNameSlotBytes, kNameSlotBytes);
        const auto end = std::find(slot.begin(), slot.end(), std::uint8_t{0});
        names[i].assign(slot.begin(), end);
      }
      out = std::move(names);
      return true;
    }
    case Kind::byte_table: {
      std::span<const std::uint8_t> raw;
      if (!r.read_bytes(p.count, raw)) return false;
      out = std::vector<std::uint8_t>(raw.begin(), raw.end());
      return true;
    }
  }
  return false;
}

}  // namespace

Status marshal_request(const TelegramInfo& t, std::span<const WireValue> values, std::vector<std::uint8_t>& stub) {
  if (values.size() != t.params.size()) return rpc::ERROR_INVALID_PARAMETER;
  // Every value is checked before the first byte is written: a refused call leaves `stub` as it was.
  for (std::size_t i = 0; i < values.size(); ++i)
    if (Status s = check_sendable(t.params[i], values[i]); s != rpc::RPC_S_OK) return s;
  NdrWriter w(stub);
  for (std::size_t i = 0; i < values.size(); ++i) write_value(w, t.params[i], values[i]);
  return rpc::RPC_S_OK;
}

Status unmarshal_request(const TelegramInfo& t, std::span<const std::uint8_t> stub, rpc::ByteOrder order,
                         std::vector<WireValue>& values) {
  values.clear();
  values.resize(t.params.size());
  NdrReader r(stub, order);
  for (std::size_t i = 0; i < t.params.size(); ++i) {
    if (!read_value(r, t.params[i], values[i])) {
      values.clear();
      return rpc::RPC_X_BAD_STUB_DATA;
    }
  }
  return rpc::RPC_S_OK;
}

void marshal_response(const TelegramInfo& t, std::int32_t result, std::vector<std::uint8_t>& stub) {
  if (!t.has_result) return;
  NdrWriter w(stub);
  w.write_i32(result);
}

Status unmarshal_response(const TelegramInfo& t, std::span<const std::uint8_t> stub, rpc::ByteOrder order,
                          std::int32_t& result) {
  result = 0;
  if (!t.has_result) return rpc::RPC_S_OK;
  NdrReader r(stub, order);
  return r.read_i32(result) ? rpc::RPC_S_OK : rpc::RPC_X_BAD_STUB_DATA;
}

}  // namespace tarvik::protocol
