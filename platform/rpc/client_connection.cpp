#include "platform/rpc/client_connection.h"

#include <algorithm>
#include <limits>

namespace tarvik::rpc {
namespace {

// Below this a server could not take even a small request fragment; such a bind_ack is broken.
constexpr std::uint16_t kMinUsableFrag = 64;

// The status a bind_ack result refusing our only context gives the caller.
Status status_for_refused_context(const ContextResult& r) {
  if (r.result == ctx::provider_rejection) {
    switch (r.reason) {
      case ctx::abstract_syntax_not_supported:
        return RPC_S_UNKNOWN_IF;
      case ctx::transfer_syntaxes_not_supported:
        return RPC_S_UNSUPPORTED_TRANS_SYN;
      case ctx::local_limit_exceeded:
        return RPC_S_SERVER_TOO_BUSY;
      default:
        return RPC_S_CALL_FAILED_DNE;
    }
  }
  if (r.result == ctx::user_rejection) return RPC_S_CALL_FAILED_DNE;
  return RPC_S_PROTOCOL_ERROR;  // negotiate_ack or an unknown result for a context we offered
}

Status status_for_bind_nak(std::uint16_t reason) {
  switch (reason) {
    case nak::temporary_congestion:
    case nak::local_limit_exceeded:
      return RPC_S_SERVER_TOO_BUSY;
    case nak::protocol_version_not_supported:
      return RPC_S_PROTOCOL_ERROR;
    default:
      return RPC_S_CALL_FAILED_DNE;
  }
}

}  // namespace

ClientConnection::ClientConnection(const SyntaxId& iface, std::optional<Uuid> object)
    : ClientConnection(iface, object, Limits{}) {}

ClientConnection::ClientConnection(const SyntaxId& iface, std::optional<Uuid> object, const Limits& limits)
    : iface_(iface), object_(object), limits_(limits) {
  if (object_ && object_->is_nil()) object_.reset();  // a nil object UUID is not sent
}

void ClientConnection::begin_bind(std::vector<std::uint8_t>& out) {
  if (state_ != State::unbound) return;
  BindPdu bind;
  bind.max_xmit_frag = limits_.max_xmit_frag;
  bind.max_recv_frag = limits_.max_recv_frag;
  bind.assoc_group_id = 0;
  bind.contexts.push_back(ContextElem{0, iface_, {kNdr20Syntax}});
  encode_bind(out, PduType::bind, pfc::first_frag | pfc::last_frag, next_call_id_++, bind);
  state_ = State::binding;
}

bool ClientConnection::begin_call(std::uint16_t opnum, std::span<const std::uint8_t> stub,
                                  std::vector<std::uint8_t>& out) {
  if (state_ != State::ready || stub.size() > std::numeric_limits<std::uint32_t>::max()) return false;
  const std::size_t header = kRequestHeaderSize + (object_ ? 16 : 0);
  // Stub bytes per fragment, kept a multiple of 8 so every fragment but the last is well aligned.
  const std::size_t chunk = (send_frag_ - header) / 8 * 8;
  const std::uint32_t call_id = next_call_id_++;

  std::size_t offset = 0;
  do {
    const std::size_t n = std::min(chunk, stub.size() - offset);
    std::uint8_t flags = 0;
    if (offset == 0) flags |= pfc::first_frag;
    if (offset + n == stub.size()) flags |= pfc::last_frag;
    if (object_) flags |= pfc::object_uuid;
    RequestPdu req;
    req.alloc_hint = static_cast<std::uint32_t>(stub.size() - offset);  // stub bytes still to come
    req.cont_id = 0;
    req.opnum = opnum;
    req.object = object_;
    req.stub = stub.subspan(offset, n);
    encode_request(out, flags, call_id, req);
    offset += n;
  } while (offset < stub.size());

  response_started_ = false;
  response_.clear();
  status_ = RPC_S_OK;
  state_ = State::calling;
  return true;
}

ClientConnection::Progress ClientConnection::feed(std::span<const std::uint8_t> bytes) {
  if (state_ == State::failed) return Progress::failed;
  if (bytes.empty()) return Progress::need_more;
  if (state_ != State::binding && state_ != State::calling) {
    // Nothing is outstanding: these bytes answer nothing we asked, and could be taken for the
    // answer to the next call.
    return fail(RPC_S_PROTOCOL_ERROR);
  }

  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t want = kHeaderSize;
    PduHeader h;
    if (inbox_.size() >= kHeaderSize) {
      (void)decode_header(inbox_, h);
      want = h.frag_length;
    }
    const std::size_t take = std::min(want - inbox_.size(), bytes.size() - i);
    inbox_.insert(inbox_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
                  bytes.begin() + static_cast<std::ptrdiff_t>(i + take));
    i += take;
    if (inbox_.size() < kHeaderSize) break;

    if (inbox_.size() == kHeaderSize) {
      // Check the header before waiting for a body whose length it announces.
      if (!decode_header(inbox_, h)) return fail(RPC_S_PROTOCOL_ERROR);
      const bool byte_order_known = (h.drep[0] & 0xE0) == 0;  // high nibble 0 or 1
      if (h.rpc_vers != 5 || h.rpc_vers_minor > 1 || !byte_order_known || h.frag_length < kHeaderSize ||
          h.auth_length != 0) {
        return fail(RPC_S_PROTOCOL_ERROR);  // we never negotiate authentication
      }
      if (h.frag_length > kHeaderSize) continue;
    } else if (inbox_.size() < h.frag_length) {
      continue;
    }

    (void)decode_header(inbox_, h);
    const Progress p = handle_pdu(inbox_, h);
    inbox_.clear();
    if (p != Progress::need_more) {
      // Bytes after the PDU that finished the step were sent unasked: never read them as the
      // answer to a later call.
      if (i < bytes.size()) reusable_ = false;
      return p;
    }
  }
  return Progress::need_more;
}

ClientConnection::Progress ClientConnection::handle_pdu(std::span<const std::uint8_t> pdu,
                                                        const PduHeader& h) {
  if (h.type == static_cast<std::uint8_t>(PduType::shutdown)) {
    reusable_ = false;  // the server asks us to close once this exchange is over
    return Progress::need_more;
  }
  return state_ == State::binding ? handle_bind_reply(pdu, h) : handle_call_reply(pdu, h);
}

ClientConnection::Progress ClientConnection::handle_bind_reply(std::span<const std::uint8_t> pdu,
                                                               const PduHeader& h) {
  switch (static_cast<PduType>(h.type)) {
    case PduType::bind_ack: {
      BindAckPdu ack;
      if (!decode_bind_ack(pdu, h, ack) || ack.results.size() != 1) return fail(RPC_S_PROTOCOL_ERROR);
      const ContextResult& r = ack.results.front();
      if (r.result != ctx::acceptance) return fail(status_for_refused_context(r));
      if (!(r.transfer_syntax == kNdr20Syntax)) return fail(RPC_S_PROTOCOL_ERROR);  // not what we offered
      const std::uint16_t frag = std::min(ack.max_recv_frag, limits_.max_xmit_frag);
      if (frag < kMinUsableFrag) return fail(RPC_S_PROTOCOL_ERROR);
      send_frag_ = frag;
      assoc_group_ = ack.assoc_group_id;
      return complete(RPC_S_OK);
    }
    case PduType::bind_nak: {
      BindNakPdu nak;
      if (!decode_bind_nak(pdu, h, nak)) return fail(RPC_S_PROTOCOL_ERROR);
      return fail(status_for_bind_nak(nak.reject_reason));
    }
    case PduType::fault: {
      FaultPdu f;
      if (!decode_fault(pdu, h, f)) return fail(RPC_S_PROTOCOL_ERROR);
      const Status s = status_from_fault(f.status);
      return fail(s != RPC_S_OK ? s : RPC_S_CALL_FAILED_DNE);
    }
    default:
      return fail(RPC_S_PROTOCOL_ERROR);
  }
}

ClientConnection::Progress ClientConnection::handle_call_reply(std::span<const std::uint8_t> pdu,
                                                               const PduHeader& h) {
  switch (static_cast<PduType>(h.type)) {
    case PduType::response: {
      ResponsePdu resp;
      if (!decode_response(pdu, h, resp)) return fail(RPC_S_PROTOCOL_ERROR);
      const bool first = (h.flags & pfc::first_frag) != 0;
      if (!response_started_) {
        if (!first) return fail(RPC_S_PROTOCOL_ERROR);
        // The first fragment may carry any call_id (one call is outstanding); later fragments must
        // carry the same one, or two calls' data would be joined.
        response_started_ = true;
        response_call_id_ = h.call_id;
        response_order_ = h.byte_order();
      } else if (first || h.call_id != response_call_id_ || h.byte_order() != response_order_) {
        return fail(RPC_S_PROTOCOL_ERROR);
      }
      if (resp.stub.size() > limits_.max_response_stub - response_.size()) return fail(RPC_S_PROTOCOL_ERROR);
      response_.insert(response_.end(), resp.stub.begin(), resp.stub.end());
      if (h.flags & pfc::last_frag) return complete(RPC_S_OK);
      return Progress::need_more;
    }
    case PduType::fault: {
      FaultPdu f;
      if (!decode_fault(pdu, h, f)) return fail(RPC_S_PROTOCOL_ERROR);
      if (response_started_ && h.call_id != response_call_id_) return fail(RPC_S_PROTOCOL_ERROR);
      Status s = status_from_fault(f.status);
      if (s == RPC_S_OK) {
        // A fault never reports success, even when its status field is zero.
        s = (h.flags & pfc::did_not_execute) ? RPC_S_CALL_FAILED_DNE : RPC_S_CALL_FAILED;
      }
      response_.clear();
      reusable_ = false;  // after a fault the connection is closed and the next call binds anew
      return complete(s);
    }
    default:
      return fail(RPC_S_PROTOCOL_ERROR);
  }
}

ClientConnection::Progress ClientConnection::fail(Status s) {
  state_ = State::failed;
  status_ = s;
  response_.clear();
  inbox_.clear();
  return Progress::failed;
}

ClientConnection::Progress ClientConnection::complete(Status s) {
  state_ = State::ready;
  status_ = s;
  return Progress::done;
}

}  // namespace tarvik::rpc
