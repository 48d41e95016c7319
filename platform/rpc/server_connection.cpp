#include "platform/rpc/server_connection.h"

#include <algorithm>
#include <string>

namespace tarvik::rpc {
namespace {

constexpr std::uint8_t kFirstLast = pfc::first_frag | pfc::last_frag;
constexpr std::uint16_t kBindMaxFrag = 0xFFFF;  // bind and alter_context may use any 16-bit length
// Input buffered while a call runs. Our own driver does not read then, so only a driver that keeps
// reading (or a client flooding a pipelined connection) reaches it.
constexpr std::size_t kMaxBufferedWhileBusy = 2 * 65536;

// Smallest frag_length a PDU of this type can have.
std::size_t fixed_size(std::uint8_t type) {
  switch (static_cast<PduType>(type)) {
    case PduType::request:
      return kRequestHeaderSize;
    case PduType::bind:
    case PduType::alter_context:
      return 28;
    default:
      return kHeaderSize;
  }
}

bool is_bind_family(std::uint8_t type) {
  return type == static_cast<std::uint8_t>(PduType::bind) ||
         type == static_cast<std::uint8_t>(PduType::alter_context);
}

bool offers_ndr20(const ContextElem& e) {
  return std::find(e.transfer_syntaxes.begin(), e.transfer_syntaxes.end(), kNdr20Syntax) !=
         e.transfer_syntaxes.end();
}

// A bind or alter_context body we can answer element by element: at least one element, every
// element with a transfer syntax, at most one feature-negotiation element.
bool well_formed_contexts(const BindPdu& b) {
  if (b.contexts.empty()) return false;
  int feature_elements = 0;
  for (const ContextElem& e : b.contexts) {
    if (e.transfer_syntaxes.empty()) return false;
    if (is_feature_negotiation(e.transfer_syntaxes.front())) ++feature_elements;
  }
  return feature_elements <= 1;
}

}  // namespace

bool version_compatible(const SyntaxId& registered, const SyntaxId& requested) {
  return registered.uuid == requested.uuid && registered.major == requested.major &&
         requested.minor <= registered.minor;
}

std::uint32_t AssocGroups::create() {
  std::lock_guard lock(mutex_);
  std::uint32_t id;
  do {
    id = next_++;
  } while (id == 0 || members_.contains(id));
  members_[id] = 1;
  return id;
}

bool AssocGroups::join(std::uint32_t id) {
  std::lock_guard lock(mutex_);
  const auto it = members_.find(id);
  if (it == members_.end()) return false;
  ++it->second;
  return true;
}

void AssocGroups::leave(std::uint32_t id) {
  std::lock_guard lock(mutex_);
  const auto it = members_.find(id);
  if (it != members_.end() && --it->second == 0) members_.erase(it);
}

ServerConnection::ServerConnection(const InterfaceLookup& interfaces, AssocGroups& groups, std::uint16_t port,
                                   ServerLimits limits)
    : interfaces_(interfaces), groups_(groups), port_(port), limits_(limits) {}

ServerConnection::~ServerConnection() {
  if (assoc_group_ != 0) groups_.leave(assoc_group_);
}

bool ServerConnection::idle() const {
  return in_pos_ == in_.size() && !receiving_ && !ready_ && !running_;
}

void ServerConnection::feed(std::span<const std::uint8_t> bytes) {
  if (closing_) return;
  in_.insert(in_.end(), bytes.begin(), bytes.end());
  if ((ready_ || running_) && in_.size() - in_pos_ > kMaxBufferedWhileBusy) {
    closing_ = true;  // the peer ignores the one-call-at-a-time rule at a scale we will not buffer
    in_.clear();
    in_pos_ = 0;
    return;
  }
  parse();
}

std::optional<ServerCall> ServerConnection::take_call() {
  if (!ready_) return std::nullopt;
  running_ = true;
  running_call_id_ = ready_->call_id;
  running_cont_id_ = ready_->cont_id;
  std::optional<ServerCall> call = std::move(ready_);
  ready_.reset();
  return call;
}

void ServerConnection::complete(std::uint32_t status, std::span<const std::uint8_t> stub,
                                bool did_not_execute) {
  if (!running_) return;
  running_ = false;
  if (status != 0) {
    send_fault(running_call_id_, running_cont_id_, status, did_not_execute);
  } else {
    // Every fragment fits the negotiated size; alloc_hint counts the stub bytes still to come.
    const std::size_t chunk = frag_ - kResponseHeaderSize;
    std::size_t offset = 0;
    do {
      const std::size_t n = std::min(chunk, stub.size() - offset);
      std::uint8_t flags = 0;
      if (offset == 0) flags |= pfc::first_frag;
      if (offset + n == stub.size()) flags |= pfc::last_frag;
      encode_response(out_, flags, running_call_id_,
                      ResponsePdu{.alloc_hint = static_cast<std::uint32_t>(stub.size() - offset),
                                  .cont_id = running_cont_id_,
                                  .stub = stub.subspan(offset, n)});
      offset += n;
    } while (offset < stub.size());
  }
  parse();
}

void ServerConnection::recycle_stub(std::vector<std::uint8_t>&& stub) {
  if (stub.capacity() <= limits_.max_request_stub) spare_stub_ = std::move(stub);
}

std::vector<std::uint8_t> ServerConnection::take_output() {
  std::vector<std::uint8_t> out;
  out.swap(out_);
  return out;
}

void ServerConnection::parse() {
  while (!closing_ && !ready_ && !running_) {
    const std::span<const std::uint8_t> avail(in_.data() + in_pos_, in_.size() - in_pos_);
    PduHeader h;
    if (!decode_header(avail, h)) break;
    if (!check_header(h)) break;
    if (avail.size() < h.frag_length) break;
    received_pdu_ = true;
    handle_pdu(avail.first(h.frag_length), h);
    in_pos_ += h.frag_length;
  }
  if (closing_ || in_pos_ == in_.size()) {
    in_.clear();
    in_pos_ = 0;
  } else if (in_pos_ >= 65536) {
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(in_pos_));
    in_pos_ = 0;
  }
}

// Validates what the 16 header bytes alone tell, so that a bad length is answered at once instead
// of waiting for (or allocating) a body that may never come. False when the connection fails.
bool ServerConnection::check_header(const PduHeader& h) {
  const bool before_bind = !bound_;
  const std::size_t fixed = fixed_size(h.type);
  const auto header_defect = [&] {
    if (before_bind) {
      fail_with_nak(h.call_id, nak::protocol_version_not_supported);
    } else {
      fail_with_fault(h.call_id, nca::s_proto_error, true);
    }
    return false;
  };
  if (h.rpc_vers != 5 || h.rpc_vers_minor != 0) return header_defect();
  if ((h.drep[0] & 0x0F) != 0) return header_defect();  // EBCDIC: no peer of ours sends it
  if (h.frag_length < fixed) return header_defect();
  if (h.auth_length != 0 && std::size_t{h.auth_length} + 8 > h.frag_length - fixed) return header_defect();
  if (before_bind && h.type != static_cast<std::uint8_t>(PduType::bind)) {
    fail_with_nak(h.call_id, nak::protocol_version_not_supported);  // the first PDU must be a bind
    return false;
  }
  const std::uint16_t limit = is_bind_family(h.type) ? kBindMaxFrag : limits_.max_request_frag;
  if (h.frag_length > limit) {
    // Windows checks the transport maximum, not the negotiated size, and answers without DNE.
    send_fault(h.call_id, 0, nca::s_proto_error, false);
    closing_ = true;
    return false;
  }
  return true;
}

void ServerConnection::handle_pdu(std::span<const std::uint8_t> pdu, const PduHeader& h) {
  switch (static_cast<PduType>(h.type)) {
    case PduType::bind:
      if (bound_) {
        fail_with_nak(h.call_id, nak::reason_not_specified);  // one bind per connection
      } else {
        handle_bind(pdu, h);
      }
      return;
    case PduType::alter_context:
      handle_alter_context(pdu, h);
      return;
    case PduType::request:
      handle_request(pdu, h);
      return;
    case PduType::co_cancel:
      return;  // a call in progress runs to its end; nothing is ever sent for a cancel
    case PduType::orphaned:
      if (receiving_ && receiving_->call_id == h.call_id) receiving_.reset();
      return;
    default:
      // auth3 without authentication, PDUs only a server sends, unknown types.
      fail_with_fault(h.call_id, nca::s_proto_error, true);
      return;
  }
}

void ServerConnection::handle_bind(std::span<const std::uint8_t> pdu, const PduHeader& h) {
  BindPdu bind;
  if (h.auth_length != 0 || !decode_bind(pdu, h, bind)) {
    fail_with_nak(h.call_id, nak::protocol_version_not_supported);
    return;
  }
  if (!well_formed_contexts(bind)) {
    fail_with_nak(h.call_id, nak::reason_not_specified);
    return;
  }
  if (bind.assoc_group_id != 0) {
    if (!groups_.join(bind.assoc_group_id)) {
      fail_with_nak(h.call_id, nak::reason_not_specified);  // unknown group or all its connections gone
      return;
    }
    assoc_group_ = bind.assoc_group_id;
  } else {
    assoc_group_ = groups_.create();
  }
  bound_ = true;
  frag_ = negotiate_frag_size(bind.max_xmit_frag, bind.max_recv_frag);

  BindAckPdu ack;
  ack.max_xmit_frag = ack.max_recv_frag = frag_;
  ack.assoc_group_id = assoc_group_;
  ack.secondary_address = std::to_string(port_);
  negotiate(bind, ack.results);
  // CONC_MPX is never granted: one call at a time per connection.
  encode_bind_ack(out_, PduType::bind_ack, kFirstLast | (h.flags & pfc::support_header_sign), h.call_id, ack);
}

void ServerConnection::handle_alter_context(std::span<const std::uint8_t> pdu, const PduHeader& h) {
  BindPdu alter;
  if (receiving_ || h.auth_length != 0 || !decode_bind(pdu, h, alter) || !well_formed_contexts(alter)) {
    fail_with_fault(receiving_ ? receiving_->call_id : h.call_id, nca::s_proto_error, true);
    return;
  }
  // Sizes and group in an alter_context are ignored; the reply repeats those of the bind.
  BindAckPdu resp;
  resp.max_xmit_frag = resp.max_recv_frag = frag_;
  resp.assoc_group_id = assoc_group_;
  negotiate(alter, resp.results);
  encode_bind_ack(out_, PduType::alter_context_resp, kFirstLast | (h.flags & pfc::support_header_sign),
                  h.call_id, resp);
}

// At most one presentation context is accepted per PDU, NDR 2.0 only; feature negotiation is
// acknowledged with no features; an unknown interface or version is refused per element.
void ServerConnection::negotiate(const BindPdu& bind, std::vector<ContextResult>& results) {
  bool accepted_one = false;
  const auto refuse = [&](std::uint16_t reason) { results.push_back({ctx::provider_rejection, reason, {}}); };
  const auto accept = [&] {
    results.push_back({ctx::acceptance, 0, kNdr20Syntax});
    accepted_one = true;
  };
  for (const ContextElem& e : bind.contexts) {
    if (is_feature_negotiation(e.transfer_syntaxes.front())) {
      results.push_back({ctx::negotiate_ack, 0, {}});
      continue;
    }
    const std::optional<SyntaxId> iface = interfaces_.find(e.abstract_syntax);
    if (!iface) {
      refuse(ctx::abstract_syntax_not_supported);
    } else if (accepted_one || !offers_ndr20(e)) {
      refuse(ctx::transfer_syntaxes_not_supported);
    } else if (const auto it = contexts_.find(e.cont_id); it != contexts_.end()) {
      if (it->second.iface == *iface) {
        accept();  // the same context offered again
      } else {
        refuse(ctx::transfer_syntaxes_not_supported);
      }
    } else if (contexts_.size() >= limits_.max_contexts) {
      refuse(ctx::local_limit_exceeded);
    } else {
      contexts_.emplace(e.cont_id, Context{*iface});
      accept();
    }
  }
}

void ServerConnection::handle_request(std::span<const std::uint8_t> pdu, const PduHeader& h) {
  RequestPdu req;
  if (h.auth_length != 0) {
    fail_with_fault(h.call_id, ERROR_ACCESS_DENIED, false);  // we run no authenticated connections
    return;
  }
  if (!decode_request(pdu, h, req)) {
    fail_with_fault(h.call_id, nca::s_proto_error, true);  // object UUID flag without the UUID
    return;
  }
  const bool first = h.flags & pfc::first_frag;
  const bool last = h.flags & pfc::last_frag;
  if (first) {
    if (receiving_) {  // FIRST again before the previous call's LAST
      fail_with_fault(receiving_->call_id, nca::s_proto_error, true);
      return;
    }
    receiving_ = PartialCall{h.call_id, req.cont_id, req.opnum, h.byte_order(), std::move(spare_stub_)};
    receiving_->stub.clear();
    spare_stub_ = {};
    if (!last && req.alloc_hint <= limits_.max_request_stub) receiving_->stub.reserve(req.alloc_hint);
  } else if (!receiving_ || receiving_->call_id != h.call_id) {
    // A middle or last fragment with no call in progress, or of another call.
    fail_with_fault(receiving_ ? receiving_->call_id : h.call_id, nca::s_proto_error, true);
    return;
  }
  // alloc_hint is only a hint (a single fragment may say 0xFFFFFFFF), but a non-last fragment
  // announcing more than we would ever reassemble is refused as Windows refuses it.
  if (receiving_->stub.size() + req.stub.size() > limits_.max_request_stub ||
      (!last && req.alloc_hint > limits_.max_request_stub)) {
    fail_with_fault(h.call_id, ERROR_ACCESS_DENIED, false);
    return;
  }
  receiving_->stub.insert(receiving_->stub.end(), req.stub.begin(), req.stub.end());
  if (last) {
    PartialCall call = std::move(*receiving_);
    receiving_.reset();
    finish_request(std::move(call));
  }
}

void ServerConnection::finish_request(PartialCall call) {
  const auto it = contexts_.find(call.cont_id);
  if (it == contexts_.end()) {
    send_fault(call.call_id, 0, nca::s_unk_if, true);
    return;
  }
  const std::optional<std::size_t> opnums = interfaces_.opnum_count(it->second.iface);
  if (!opnums) {
    send_fault(call.call_id, call.cont_id, nca::s_unk_if, true);  // unregistered since the bind
    return;
  }
  if (call.opnum >= *opnums) {
    send_fault(call.call_id, call.cont_id, nca::s_op_rng_error, true);
    return;
  }
  ready_ = ServerCall{it->second.iface, call.cont_id,    call.opnum,
                      call.call_id,     call.byte_order, std::move(call.stub)};
}

void ServerConnection::send_fault(std::uint32_t call_id, std::uint16_t cont_id, std::uint32_t status,
                                  bool dne) {
  FaultPdu f;
  f.alloc_hint = kFaultSize;
  f.cont_id = cont_id;
  f.status = status;
  encode_fault(out_, kFirstLast | (dne ? pfc::did_not_execute : 0), call_id, f);
}

void ServerConnection::fail_with_fault(std::uint32_t call_id, std::uint32_t status, bool dne) {
  send_fault(call_id, 0, status, dne);
  closing_ = true;
  receiving_.reset();
}

void ServerConnection::fail_with_nak(std::uint32_t call_id, std::uint16_t reason) {
  encode_bind_nak(out_, call_id, BindNakPdu{.reject_reason = reason});
  closing_ = true;
}

}  // namespace tarvik::rpc
