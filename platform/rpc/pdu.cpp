#include "platform/rpc/pdu.h"

#include <algorithm>

namespace tarvik::rpc {
namespace {

// Bounds-checked reads at absolute offsets of one PDU, in the sender's byte order.
class PduReader {
 public:
  PduReader(std::span<const std::uint8_t> pdu, ByteOrder order) : pdu_(pdu), order_(order) {}

  bool has(std::size_t offset, std::size_t n) const {
    return offset <= pdu_.size() && n <= pdu_.size() - offset;
  }
  std::uint8_t u8(std::size_t at) const { return pdu_[at]; }
  std::uint16_t u16(std::size_t at) const { return load_u16(pdu_.data() + at, order_); }
  std::uint32_t u32(std::size_t at) const { return load_u32(pdu_.data() + at, order_); }

  // A 20-byte syntax identifier: UUID fields in sender order, last 8 bytes as they are, then the
  // version as one u32 (major low half, minor high half).
  SyntaxId syntax(std::size_t at) const {
    SyntaxId s;
    s.uuid = uuid(at);
    const std::uint32_t version = u32(at + 16);
    s.major = static_cast<std::uint16_t>(version & 0xFFFF);
    s.minor = static_cast<std::uint16_t>(version >> 16);
    return s;
  }
  Uuid uuid(std::size_t at) const {
    Uuid u;
    u.time_low = u32(at);
    u.time_mid = u16(at + 4);
    u.time_hi_and_version = u16(at + 6);
    std::copy_n(pdu_.begin() + static_cast<std::ptrdiff_t>(at + 8), 8, u.node.begin());
    return u;
  }
  std::span<const std::uint8_t> bytes(std::size_t from, std::size_t to) const {
    return pdu_.subspan(from, to - from);
  }

 private:
  std::span<const std::uint8_t> pdu_;
  ByteOrder order_;
};

// Where the body ends: before the auth trailer (8-byte sec_trailer plus auth_length) if there is one.
// False when the trailer does not fit after `fixed` body bytes.
bool body_end(std::span<const std::uint8_t> pdu, const PduHeader& h, std::size_t fixed, std::size_t& end) {
  if (pdu.size() < fixed) return false;
  if (h.auth_length == 0) {
    end = pdu.size();
    return true;
  }
  const std::size_t trailer = std::size_t{h.auth_length} + 8;
  if (trailer > pdu.size() - fixed) return false;
  end = pdu.size() - trailer;
  return true;
}

// Little-endian appenders for encoders.
void put_u8(std::vector<std::uint8_t>& out, std::uint8_t v) {
  out.push_back(v);
}
void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_uuid(std::vector<std::uint8_t>& out, const Uuid& u) {
  put_u32(out, u.time_low);
  put_u16(out, u.time_mid);
  put_u16(out, u.time_hi_and_version);
  out.insert(out.end(), u.node.begin(), u.node.end());
}
void put_syntax(std::vector<std::uint8_t>& out, const SyntaxId& s) {
  put_uuid(out, s.uuid);
  put_u32(out, std::uint32_t{s.major} | (std::uint32_t{s.minor} << 16));
}

// Writes the 16-byte header with frag_length 0; returns where the PDU starts so that
// finish_pdu can fill in the length once the body is written.
std::size_t start_pdu(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags,
                      std::uint32_t call_id) {
  const std::size_t start = out.size();
  put_u8(out, 5);
  put_u8(out, 0);
  put_u8(out, static_cast<std::uint8_t>(type));
  put_u8(out, flags);
  put_u32(out, 0x00000010);  // drep: little-endian, ASCII, IEEE
  put_u16(out, 0);           // frag_length, filled in by finish_pdu
  put_u16(out, 0);           // auth_length: we never authenticate
  put_u32(out, call_id);
  return start;
}

void finish_pdu(std::vector<std::uint8_t>& out, std::size_t start) {
  // Callers keep PDUs below 64 KiB (fragments are cut to the negotiated size).
  store_u16(out.data() + start + 8, static_cast<std::uint16_t>(out.size() - start));
}

void pad_to_4(std::vector<std::uint8_t>& out, std::size_t start) {
  while ((out.size() - start) % 4 != 0) out.push_back(0);
}

}  // namespace

const char* pdu_type_name(std::uint8_t type) {
  switch (static_cast<PduType>(type)) {
    case PduType::request:
      return "request";
    case PduType::response:
      return "response";
    case PduType::fault:
      return "fault";
    case PduType::bind:
      return "bind";
    case PduType::bind_ack:
      return "bind_ack";
    case PduType::bind_nak:
      return "bind_nak";
    case PduType::alter_context:
      return "alter_context";
    case PduType::alter_context_resp:
      return "alter_context_resp";
    case PduType::auth3:
      return "auth3";
    case PduType::shutdown:
      return "shutdown";
    case PduType::co_cancel:
      return "co_cancel";
    case PduType::orphaned:
      return "orphaned";
  }
  return "unknown";
}

Status status_from_fault(std::uint32_t fault_status) {
  switch (fault_status) {
    case nca::s_comm_failure:
      return RPC_S_COMM_FAILURE;
    case nca::s_op_rng_error:
      return RPC_S_PROCNUM_OUT_OF_RANGE;
    case nca::s_unk_if:
      return RPC_S_UNKNOWN_IF;
    case nca::s_you_crashed:
      return RPC_S_CALL_FAILED;
    case nca::s_proto_error:
      return RPC_S_PROTOCOL_ERROR;
    case nca::s_out_args_too_big:
      return RPC_S_SERVER_OUT_OF_MEMORY;
    case nca::s_server_too_busy:
      return RPC_S_SERVER_TOO_BUSY;
    case nca::s_unsupported_type:
      return RPC_S_UNSUPPORTED_TYPE;
    case nca::s_fault_int_div_by_zero:
      return RPC_S_ZERO_DIVIDE;
    case nca::s_fault_addr_error:
      return RPC_S_ADDRESS_ERROR;
    case nca::unspec_reject:
      return RPC_S_CALL_FAILED;
    case nca::s_bad_actid:
      return RPC_S_CALL_FAILED_DNE;
    case nca::manager_not_entered:
      return RPC_S_CALL_FAILED_DNE;
    case nca::s_fault_cancel:
      return RPC_S_CALL_CANCELLED;
    case nca::s_fault_unspec:
      return RPC_S_CALL_FAILED;
    case nca::s_fault_invalid_bound:
      return RPC_S_INVALID_BOUND;
    case nca::s_fault_invalid_tag:
      return RPC_S_INVALID_TAG;
    case nca::rpc_version_mismatch:
      return RPC_S_PROTOCOL_ERROR;
    case nca::s_fault_context_mismatch:
      return ERROR_INVALID_HANDLE;
    case nca::s_fault_remote_no_memory:
      return RPC_S_SERVER_OUT_OF_MEMORY;
    default:
      return static_cast<Status>(fault_status);
  }
}

bool decode_header(std::span<const std::uint8_t> bytes, PduHeader& out) {
  if (bytes.size() < kHeaderSize) return false;
  PduHeader h;
  h.rpc_vers = bytes[0];
  h.rpc_vers_minor = bytes[1];
  h.type = bytes[2];
  h.flags = bytes[3];
  std::copy_n(bytes.begin() + 4, 4, h.drep.begin());
  const ByteOrder order = h.byte_order();
  h.frag_length = load_u16(bytes.data() + 8, order);
  h.auth_length = load_u16(bytes.data() + 10, order);
  h.call_id = load_u32(bytes.data() + 12, order);
  out = h;
  return true;
}

bool decode_bind(std::span<const std::uint8_t> pdu, const PduHeader& h, BindPdu& out) {
  std::size_t end;
  if (!body_end(pdu, h, 28, end)) return false;
  const PduReader r(pdu.first(end), h.byte_order());
  BindPdu b;
  b.max_xmit_frag = r.u16(16);
  b.max_recv_frag = r.u16(18);
  b.assoc_group_id = r.u32(20);
  const std::uint8_t n = r.u8(24);
  std::size_t at = 28;
  b.contexts.reserve(n);  // at most 255
  for (std::uint8_t i = 0; i < n; ++i) {
    if (!r.has(at, 24)) return false;
    ContextElem e;
    e.cont_id = r.u16(at);
    const std::uint8_t n_syntaxes = r.u8(at + 2);
    e.abstract_syntax = r.syntax(at + 4);
    at += 24;
    if (!r.has(at, std::size_t{n_syntaxes} * 20)) return false;
    e.transfer_syntaxes.reserve(n_syntaxes);
    for (std::uint8_t k = 0; k < n_syntaxes; ++k, at += 20) e.transfer_syntaxes.push_back(r.syntax(at));
    b.contexts.push_back(std::move(e));
  }
  out = std::move(b);
  return true;
}

bool decode_bind_ack(std::span<const std::uint8_t> pdu, const PduHeader& h, BindAckPdu& out) {
  std::size_t end;
  if (!body_end(pdu, h, 26, end)) return false;
  const PduReader r(pdu.first(end), h.byte_order());
  BindAckPdu a;
  a.max_xmit_frag = r.u16(16);
  a.max_recv_frag = r.u16(18);
  a.assoc_group_id = r.u32(20);
  const std::uint16_t addr_len = r.u16(24);
  if (!r.has(26, addr_len)) return false;
  const auto addr = r.bytes(26, 26 + std::size_t{addr_len});
  const auto zero = std::find(addr.begin(), addr.end(), std::uint8_t{0});
  a.secondary_address.assign(addr.begin(), zero);
  std::size_t at = (26 + std::size_t{addr_len} + 3) & ~std::size_t{3};
  if (!r.has(at, 4)) return false;
  const std::uint8_t n = r.u8(at);
  at += 4;
  if (!r.has(at, std::size_t{n} * 24)) return false;
  a.results.reserve(n);
  for (std::uint8_t i = 0; i < n; ++i, at += 24) {
    ContextResult c;
    c.result = r.u16(at);
    c.reason = r.u16(at + 2);
    c.transfer_syntax = r.syntax(at + 4);
    a.results.push_back(c);
  }
  out = std::move(a);
  return true;
}

bool decode_bind_nak(std::span<const std::uint8_t> pdu, const PduHeader& h, BindNakPdu& out) {
  std::size_t end;
  if (!body_end(pdu, h, 18, end)) return false;
  const PduReader r(pdu.first(end), h.byte_order());
  BindNakPdu nak;
  nak.reject_reason = r.u16(16);
  nak.versions.clear();
  // Some senders stop after the reason; the version list is optional for a reader.
  if (r.has(18, 1)) {
    const std::uint8_t n = r.u8(18);
    if (!r.has(19, std::size_t{n} * 2)) return false;
    for (std::uint8_t i = 0; i < n; ++i) nak.versions.emplace_back(r.u8(19 + 2 * i), r.u8(20 + 2 * i));
  }
  out = std::move(nak);
  return true;
}

bool decode_request(std::span<const std::uint8_t> pdu, const PduHeader& h, RequestPdu& out) {
  const std::size_t fixed = kRequestHeaderSize + ((h.flags & pfc::object_uuid) ? 16 : 0);
  std::size_t end;
  if (!body_end(pdu, h, fixed, end)) return false;
  const PduReader r(pdu.first(end), h.byte_order());
  RequestPdu q;
  q.alloc_hint = r.u32(16);
  q.cont_id = r.u16(20);
  q.opnum = r.u16(22);
  if (h.flags & pfc::object_uuid) q.object = r.uuid(24);
  q.stub = r.bytes(fixed, end);
  out = q;
  return true;
}

bool decode_response(std::span<const std::uint8_t> pdu, const PduHeader& h, ResponsePdu& out) {
  std::size_t end;
  if (!body_end(pdu, h, kResponseHeaderSize, end)) return false;
  const PduReader r(pdu.first(end), h.byte_order());
  ResponsePdu p;
  p.alloc_hint = r.u32(16);
  p.cont_id = r.u16(20);
  p.cancel_count = r.u8(22);
  p.stub = r.bytes(kResponseHeaderSize, end);
  out = p;
  return true;
}

bool decode_fault(std::span<const std::uint8_t> pdu, const PduHeader& h, FaultPdu& out) {
  // The status ends at byte 28; some senders leave out the 4 reserved bytes after it.
  std::size_t end;
  if (!body_end(pdu, h, 28, end)) return false;
  const PduReader r(pdu.first(end), h.byte_order());
  FaultPdu f;
  f.alloc_hint = r.u32(16);
  f.cont_id = r.u16(20);
  f.cancel_count = r.u8(22);
  f.fault_flags = r.u8(23);
  f.status = r.u32(24);
  out = f;
  return true;
}

void encode_bind(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags, std::uint32_t call_id,
                 const BindPdu& body) {
  const std::size_t start = start_pdu(out, type, flags, call_id);
  put_u16(out, body.max_xmit_frag);
  put_u16(out, body.max_recv_frag);
  put_u32(out, body.assoc_group_id);
  put_u8(out, static_cast<std::uint8_t>(body.contexts.size()));
  out.insert(out.end(), 3, 0);
  for (const ContextElem& e : body.contexts) {
    put_u16(out, e.cont_id);
    put_u8(out, static_cast<std::uint8_t>(e.transfer_syntaxes.size()));
    put_u8(out, 0);
    put_syntax(out, e.abstract_syntax);
    for (const SyntaxId& s : e.transfer_syntaxes) put_syntax(out, s);
  }
  finish_pdu(out, start);
}

void encode_bind_ack(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags, std::uint32_t call_id,
                     const BindAckPdu& body) {
  const std::size_t start = start_pdu(out, type, flags, call_id);
  put_u16(out, body.max_xmit_frag);
  put_u16(out, body.max_recv_frag);
  put_u32(out, body.assoc_group_id);
  if (body.secondary_address.empty()) {
    put_u16(out, 0);
  } else {
    put_u16(out, static_cast<std::uint16_t>(body.secondary_address.size() + 1));
    out.insert(out.end(), body.secondary_address.begin(), body.secondary_address.end());
    put_u8(out, 0);
  }
  pad_to_4(out, start);
  put_u8(out, static_cast<std::uint8_t>(body.results.size()));
  out.insert(out.end(), 3, 0);
  for (const ContextResult& c : body.results) {
    put_u16(out, c.result);
    put_u16(out, c.reason);
    put_syntax(out, c.transfer_syntax);
  }
  finish_pdu(out, start);
}

void encode_bind_nak(std::vector<std::uint8_t>& out, std::uint32_t call_id, const BindNakPdu& body) {
  const std::size_t start = start_pdu(out, PduType::bind_nak, pfc::first_frag | pfc::last_frag, call_id);
  put_u16(out, body.reject_reason);
  put_u8(out, static_cast<std::uint8_t>(body.versions.size()));
  for (const auto& [major, minor] : body.versions) {
    put_u8(out, major);
    put_u8(out, minor);
  }
  pad_to_4(out, start);
  finish_pdu(out, start);
}

void encode_request(std::vector<std::uint8_t>& out, std::uint8_t flags, std::uint32_t call_id,
                    const RequestPdu& body) {
  if (body.object) flags |= pfc::object_uuid;
  const std::size_t start = start_pdu(out, PduType::request, flags, call_id);
  put_u32(out, body.alloc_hint);
  put_u16(out, body.cont_id);
  put_u16(out, body.opnum);
  if (body.object) put_uuid(out, *body.object);
  out.insert(out.end(), body.stub.begin(), body.stub.end());
  finish_pdu(out, start);
}

void encode_response(std::vector<std::uint8_t>& out, std::uint8_t flags, std::uint32_t call_id,
                     const ResponsePdu& body) {
  const std::size_t start = start_pdu(out, PduType::response, flags, call_id);
  put_u32(out, body.alloc_hint);
  put_u16(out, body.cont_id);
  put_u8(out, body.cancel_count);
  put_u8(out, 0);
  out.insert(out.end(), body.stub.begin(), body.stub.end());
  finish_pdu(out, start);
}

void encode_fault(std::vector<std::uint8_t>& out, std::uint8_t flags, std::uint32_t call_id,
                  const FaultPdu& body) {
  const std::size_t start = start_pdu(out, PduType::fault, flags, call_id);
  put_u32(out, body.alloc_hint);
  put_u16(out, body.cont_id);
  put_u8(out, body.cancel_count);
  put_u8(out, body.fault_flags);
  put_u32(out, body.status);
  put_u32(out, 0);
  finish_pdu(out, start);
}

void encode_header_only(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags,
                        std::uint32_t call_id) {
  finish_pdu(out, start_pdu(out, type, flags, call_id));
}

std::uint16_t negotiate_frag_size(std::uint16_t max_xmit_frag, std::uint16_t max_recv_frag) {
  const unsigned offered = std::min(max_xmit_frag, max_recv_frag);
  const unsigned v = std::min(std::max(unsigned{kMinNegotiatedFrag}, offered), unsigned{kTcpMaxFrag});
  return static_cast<std::uint16_t>(v & ~7u);
}

}  // namespace tarvik::rpc
