// Connection-oriented DCE RPC PDUs: header, bind family, request, response and fault.
//
// Decoders take one complete PDU (exactly frag_length bytes, header included) and never read past
// it; decoded bodies view the PDU's bytes (stub data is a span into it). Every multi-byte field is
// read in the sender's byte order. Encoders append one PDU, little-endian, to an output buffer and
// fill in frag_length themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/rpc/ndr.h"
#include "platform/rpc/status.h"
#include "platform/rpc/uuid.h"

namespace tarvik::rpc {

enum class PduType : std::uint8_t {
  request = 0,
  response = 2,
  fault = 3,
  bind = 11,
  bind_ack = 12,
  bind_nak = 13,
  alter_context = 14,
  alter_context_resp = 15,
  auth3 = 16,
  shutdown = 17,
  co_cancel = 18,
  orphaned = 19,
};
const char* pdu_type_name(std::uint8_t type);  // "bind", ... or "unknown"

// pfc_flags bits.
namespace pfc {
inline constexpr std::uint8_t first_frag = 0x01;
inline constexpr std::uint8_t last_frag = 0x02;
inline constexpr std::uint8_t pending_cancel = 0x04;       // request, response, fault
inline constexpr std::uint8_t support_header_sign = 0x04;  // bind family
inline constexpr std::uint8_t conc_mpx = 0x10;
inline constexpr std::uint8_t did_not_execute = 0x20;
inline constexpr std::uint8_t maybe = 0x40;
inline constexpr std::uint8_t object_uuid = 0x80;
}  // namespace pfc

// Fault status values carried in fault PDUs.
namespace nca {
inline constexpr std::uint32_t s_comm_failure = 0x1C010001;
inline constexpr std::uint32_t s_op_rng_error = 0x1C010002;
inline constexpr std::uint32_t s_unk_if = 0x1C010003;
inline constexpr std::uint32_t s_you_crashed = 0x1C010009;
inline constexpr std::uint32_t s_proto_error = 0x1C01000B;
inline constexpr std::uint32_t s_out_args_too_big = 0x1C010013;
inline constexpr std::uint32_t s_server_too_busy = 0x1C010014;
inline constexpr std::uint32_t s_unsupported_type = 0x1C010017;
inline constexpr std::uint32_t s_fault_int_div_by_zero = 0x1C000001;
inline constexpr std::uint32_t s_fault_addr_error = 0x1C000002;
inline constexpr std::uint32_t s_fault_invalid_tag = 0x1C000006;
inline constexpr std::uint32_t s_fault_invalid_bound = 0x1C000007;
inline constexpr std::uint32_t rpc_version_mismatch = 0x1C000008;
inline constexpr std::uint32_t unspec_reject = 0x1C000009;
inline constexpr std::uint32_t s_bad_actid = 0x1C00000A;
inline constexpr std::uint32_t manager_not_entered = 0x1C00000C;
inline constexpr std::uint32_t s_fault_cancel = 0x1C00000D;
inline constexpr std::uint32_t s_fault_unspec = 0x1C000012;
inline constexpr std::uint32_t s_fault_context_mismatch = 0x1C00001A;
inline constexpr std::uint32_t s_fault_remote_no_memory = 0x1C00001B;
inline constexpr std::uint32_t s_fault_ndr = 0x000006F7;  // RPC_X_BAD_STUB_DATA
}  // namespace nca

// The status a client reports for a fault status (the Windows client's table; unknown values pass
// through unchanged, so 0x6F7 gives 1783 and 5 gives 5).
Status status_from_fault(std::uint32_t fault_status);

// bind_ack / alter_context_resp result and reason values.
namespace ctx {
inline constexpr std::uint16_t acceptance = 0;
inline constexpr std::uint16_t user_rejection = 1;
inline constexpr std::uint16_t provider_rejection = 2;
inline constexpr std::uint16_t negotiate_ack = 3;
inline constexpr std::uint16_t reason_not_specified = 0;
inline constexpr std::uint16_t abstract_syntax_not_supported = 1;
inline constexpr std::uint16_t transfer_syntaxes_not_supported = 2;
inline constexpr std::uint16_t local_limit_exceeded = 3;
}  // namespace ctx

// bind_nak reject reasons.
namespace nak {
inline constexpr std::uint16_t reason_not_specified = 0;
inline constexpr std::uint16_t temporary_congestion = 1;
inline constexpr std::uint16_t local_limit_exceeded = 2;
inline constexpr std::uint16_t protocol_version_not_supported = 4;
}  // namespace nak

inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kRequestHeaderSize = 24;   // + 16 with an object UUID
inline constexpr std::size_t kResponseHeaderSize = 24;
inline constexpr std::size_t kFaultSize = 32;
inline constexpr std::uint16_t kTcpMaxFrag = 5840;      // what Windows offers and answers on TCP
inline constexpr std::uint16_t kMinNegotiatedFrag = 2048;

struct PduHeader {
  std::uint8_t rpc_vers = 5;
  std::uint8_t rpc_vers_minor = 0;
  std::uint8_t type = 0;  // a PduType value; kept raw so unknown types can be reported
  std::uint8_t flags = pfc::first_frag | pfc::last_frag;
  std::array<std::uint8_t, 4> drep{0x10, 0, 0, 0};
  std::uint16_t frag_length = 0;
  std::uint16_t auth_length = 0;
  std::uint32_t call_id = 0;

  ByteOrder byte_order() const { return (drep[0] & 0x10) ? ByteOrder::little : ByteOrder::big; }
};

// Reads the 16 common header bytes (no validation beyond their presence).
[[nodiscard]] bool decode_header(std::span<const std::uint8_t> bytes, PduHeader& out);

struct ContextElem {
  std::uint16_t cont_id = 0;
  SyntaxId abstract_syntax;
  std::vector<SyntaxId> transfer_syntaxes;
};

// bind and alter_context.
struct BindPdu {
  std::uint16_t max_xmit_frag = kTcpMaxFrag;
  std::uint16_t max_recv_frag = kTcpMaxFrag;
  std::uint32_t assoc_group_id = 0;
  std::vector<ContextElem> contexts;
};

struct ContextResult {
  std::uint16_t result = ctx::acceptance;
  std::uint16_t reason = 0;
  SyntaxId transfer_syntax;  // all zero unless accepted
};

// bind_ack and alter_context_resp.
struct BindAckPdu {
  std::uint16_t max_xmit_frag = kTcpMaxFrag;
  std::uint16_t max_recv_frag = kTcpMaxFrag;
  std::uint32_t assoc_group_id = 0;
  std::string secondary_address;  // without its terminating zero; "" gives length 0
  std::vector<ContextResult> results;
};

struct BindNakPdu {
  std::uint16_t reject_reason = nak::reason_not_specified;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> versions{{5, 0}};
};

struct RequestPdu {
  std::uint32_t alloc_hint = 0;
  std::uint16_t cont_id = 0;
  std::uint16_t opnum = 0;
  std::optional<Uuid> object;
  std::span<const std::uint8_t> stub;
};

struct ResponsePdu {
  std::uint32_t alloc_hint = 0;
  std::uint16_t cont_id = 0;
  std::uint8_t cancel_count = 0;
  std::span<const std::uint8_t> stub;
};

struct FaultPdu {
  std::uint32_t alloc_hint = 0;
  std::uint16_t cont_id = 0;
  std::uint8_t cancel_count = 0;
  std::uint8_t fault_flags = 0;
  std::uint32_t status = 0;
};

// Decoders: `pdu` is the whole PDU (header included, exactly frag_length bytes); false when the body
// is shorter than its fields, counts run past the end or auth_length does not fit.
[[nodiscard]] bool decode_bind(std::span<const std::uint8_t> pdu, const PduHeader& h, BindPdu& out);
[[nodiscard]] bool decode_bind_ack(std::span<const std::uint8_t> pdu, const PduHeader& h, BindAckPdu& out);
[[nodiscard]] bool decode_bind_nak(std::span<const std::uint8_t> pdu, const PduHeader& h, BindNakPdu& out);
[[nodiscard]] bool decode_request(std::span<const std::uint8_t> pdu, const PduHeader& h, RequestPdu& out);
[[nodiscard]] bool decode_response(std::span<const std::uint8_t> pdu, const PduHeader& h, ResponsePdu& out);
[[nodiscard]] bool decode_fault(std::span<const std::uint8_t> pdu, const PduHeader& h, FaultPdu& out);

// Encoders: append one PDU to `out`. `type` chooses bind/alter_context and bind_ack/alter_context_resp.
void encode_bind(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags, std::uint32_t call_id,
                 const BindPdu& body);
void encode_bind_ack(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags, std::uint32_t call_id,
                     const BindAckPdu& body);
void encode_bind_nak(std::vector<std::uint8_t>& out, std::uint32_t call_id, const BindNakPdu& body);
void encode_request(std::vector<std::uint8_t>& out, std::uint8_t flags, std::uint32_t call_id,
                    const RequestPdu& body);
void encode_response(std::vector<std::uint8_t>& out, std::uint8_t flags, std::uint32_t call_id,
                     const ResponsePdu& body);
void encode_fault(std::vector<std::uint8_t>& out, std::uint8_t flags, std::uint32_t call_id,
                  const FaultPdu& body);
// A header-only PDU (shutdown, co_cancel, orphaned) or any type with an empty body; for tests.
void encode_header_only(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags, std::uint32_t call_id);

// Negotiated fragment size the way a Windows server computes it:
// min(max(2048, min(xmit, recv)), 5840) rounded down to a multiple of 8.
std::uint16_t negotiate_frag_size(std::uint16_t max_xmit_frag, std::uint16_t max_recv_frag);

}  // namespace tarvik::rpc
