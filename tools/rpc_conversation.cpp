#include "tools/rpc_conversation.h"

#include "platform/rpc/pdu.h"

namespace tarvik::cli {
namespace {

using rpc::PduType;

bool plausible_header(const rpc::PduHeader& h) {
  return h.rpc_vers == 5 && h.rpc_vers_minor <= 1 && h.frag_length >= rpc::kHeaderSize &&
         h.type <= static_cast<std::uint8_t>(PduType::orphaned);
}

std::string at(std::size_t packet) { return "packet " + std::to_string(packet) + ": "; }

}  // namespace

bool RpcConversation::feed(int direction, std::span<const std::uint8_t> bytes, std::size_t packet, double time,
                           std::string& error) {
  Direction& d = dir_[direction & 1];
  if (d.ignored) return true;
  d.pending.insert(d.pending.end(), bytes.begin(), bytes.end());
  while (d.pending.size() >= rpc::kHeaderSize) {
    rpc::PduHeader h;
    (void)rpc::decode_header(d.pending, h);
    if (!plausible_header(h)) {
      if (!d.checked) {  // some other protocol on this connection
        d.ignored = true;
        d.pending.clear();
        return true;
      }
      error = at(packet) + "malformed DCE RPC header (version " + std::to_string(h.rpc_vers) + "." +
              std::to_string(h.rpc_vers_minor) + ", type " + std::to_string(h.type) + ", length " +
              std::to_string(h.frag_length) + ")";
      return false;
    }
    d.checked = true;
    if (d.pending.size() < h.frag_length) break;
    const std::vector<std::uint8_t> pdu(d.pending.begin(), d.pending.begin() + h.frag_length);
    d.pending.erase(d.pending.begin(), d.pending.begin() + h.frag_length);
    if (!handle_pdu(pdu, packet, time, error)) return false;
  }
  return true;
}

CapturedCall* RpcConversation::open_call(std::uint32_t call_id) {
  const auto it = unanswered_.find(call_id);
  if (it == unanswered_.end()) return nullptr;
  CapturedCall* call = &calls_[it->second];
  unanswered_.erase(it);
  return call;
}

bool RpcConversation::handle_pdu(std::span<const std::uint8_t> pdu, std::size_t packet, double time,
                                 std::string& error) {
  rpc::PduHeader h;
  (void)rpc::decode_header(pdu, h);
  const auto bad = [&](const char* what) {
    error = at(packet) + "malformed " + what + " PDU (call id " + std::to_string(h.call_id) + ")";
    return false;
  };
  switch (static_cast<PduType>(h.type)) {
    case PduType::bind:
    case PduType::alter_context: {
      rpc::BindPdu b;
      if (!rpc::decode_bind(pdu, h, b)) return bad(rpc::pdu_type_name(h.type));
      for (const auto& c : b.contexts) contexts_[c.cont_id] = c.abstract_syntax;
      return true;
    }
    case PduType::request: {
      rpc::RequestPdu r;
      if (!rpc::decode_request(pdu, h, r)) return bad("request");
      if (h.flags & rpc::pfc::first_frag) {
        requests_[h.call_id] = Partial{{}, r.opnum, r.cont_id, h.byte_order()};
      } else if (!requests_.contains(h.call_id)) {
        return true;  // its first fragment was before the capture began
      }
      Partial& p = requests_[h.call_id];
      if (p.stub.size() + r.stub.size() > kMaxCapturedStub) {
        error = at(packet) + "request of call id " + std::to_string(h.call_id) + " is longer than " +
                std::to_string(kMaxCapturedStub) + " bytes";
        return false;
      }
      p.stub.insert(p.stub.end(), r.stub.begin(), r.stub.end());
      if (!(h.flags & rpc::pfc::last_frag)) return true;
      CapturedCall call;
      call.connection = connection_;
      call.packet = packet;
      call.time = time;
      if (const auto c = contexts_.find(p.cont_id); c != contexts_.end()) call.iface = c->second;
      call.opnum = p.opnum;
      call.order = p.order;
      call.stub = std::move(p.stub);
      requests_.erase(h.call_id);
      unanswered_[h.call_id] = calls_.size();
      calls_.push_back(std::move(call));
      return true;
    }
    case PduType::response: {
      rpc::ResponsePdu r;
      if (!rpc::decode_response(pdu, h, r)) return bad("response");
      if (h.flags & rpc::pfc::first_frag) {
        responses_[h.call_id] = Partial{{}, 0, r.cont_id, h.byte_order()};
      } else if (!responses_.contains(h.call_id)) {
        return true;
      }
      Partial& p = responses_[h.call_id];
      if (p.stub.size() + r.stub.size() > kMaxCapturedStub) {
        error = at(packet) + "response of call id " + std::to_string(h.call_id) + " is too long";
        return false;
      }
      p.stub.insert(p.stub.end(), r.stub.begin(), r.stub.end());
      if (!(h.flags & rpc::pfc::last_frag)) return true;
      if (CapturedCall* call = open_call(h.call_id)) {
        call->answered = true;
        call->response_order = p.order;
        call->response_stub = std::move(p.stub);
      }
      responses_.erase(h.call_id);
      return true;
    }
    case PduType::fault: {
      rpc::FaultPdu f;
      if (!rpc::decode_fault(pdu, h, f)) return bad("fault");
      if (CapturedCall* call = open_call(h.call_id)) {
        call->answered = true;
        call->fault = f.status;
      }
      requests_.erase(h.call_id);
      responses_.erase(h.call_id);
      return true;
    }
    default:
      return true;  // bind_ack, shutdown, cancel ...: nothing a replay needs
  }
}

}  // namespace tarvik::cli
