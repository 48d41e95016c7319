// The server's side of one connection as a state machine over bytes (no sockets, no threads).
//
// The socket driver feeds whatever it read, runs the call the machine hands out, gives the result
// back and sends what the machine produced:
//
//   ServerConnection conn(interfaces, groups, port);
//   conn.feed(bytes);
//   while (std::optional<ServerCall> call = conn.take_call()) {
//     ... run the routine ...
//     conn.complete(status, response_stub);
//   }
//   send(conn.take_output());
//   if (conn.closing()) close the socket once the output is sent;
//
// Any split of the input gives the same output. Without concurrent multiplexing (we never grant it)
// a connection carries one call at a time: while a call is handed out and not completed, further
// input is only buffered and parsed after complete(), so a client that sends its next request early
// is served in order. Every header field is validated before anything is allocated from it; the
// reassembled request stub is capped; malformed input gets the reply a Windows server gives (a
// bind_nak or a fault, then close) and never affects other connections.
//
// Threads: a ServerConnection belongs to one thread. InterfaceLookup and AssocGroups are shared by
// all connections and must be thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/rpc/ndr.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/uuid.h"

namespace tarvik::rpc {

// True when a client asking for `requested` may bind to an interface registered as `registered`:
// same UUID, same major version, requested minor <= registered minor.
bool version_compatible(const SyntaxId& registered, const SyntaxId& requested);

// What a connection needs to know about the interfaces registered in this process.
class InterfaceLookup {
 public:
  virtual ~InterfaceLookup() = default;
  // The registered interface a client asking for `requested` binds to, or nullopt.
  virtual std::optional<SyntaxId> find(const SyntaxId& requested) const = 0;
  // How many opnums the registered interface `id` has; nullopt once it is unregistered.
  virtual std::optional<std::size_t> opnum_count(const SyntaxId& id) const = 0;
};

// Association groups: a bind with assoc_group_id 0 starts a group; a later connection of the same
// client may join it by naming its id while at least one of its connections is still open.
// Thread-safe.
class AssocGroups {
 public:
  std::uint32_t create();        // a fresh non-zero id with one member
  bool join(std::uint32_t id);   // false when no open connection belongs to the group
  void leave(std::uint32_t id);  // the last member's leave forgets the group

 private:
  std::mutex mutex_;
  std::unordered_map<std::uint32_t, unsigned> members_;
  std::uint32_t next_ = 0x00012345;
};

// A complete request ready to be run.
struct ServerCall {
  SyntaxId iface;  // the registered interface the context is bound to
  std::uint16_t cont_id = 0;
  std::uint16_t opnum = 0;
  std::uint32_t call_id = 0;
  ByteOrder byte_order = ByteOrder::little;  // of the stub
  std::vector<std::uint8_t> stub;            // reassembled request stub
};

struct ServerLimits {
  std::size_t max_request_stub = 64 * 1024;      // reassembled request; our calls are a few hundred bytes
  std::uint16_t max_request_frag = kTcpMaxFrag;  // longest PDU other than bind/alter_context
  std::size_t max_contexts = 64;                 // presentation contexts per connection
};

class ServerConnection {
 public:
  // `port` is announced as the secondary address in bind_acks. The lookups must outlive the
  // connection.
  ServerConnection(const InterfaceLookup& interfaces, AssocGroups& groups, std::uint16_t port,
                   ServerLimits limits = {});
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Consumes bytes from the peer (any amount, any split). Ignored once closing().
  void feed(std::span<const std::uint8_t> bytes);

  // The next call to run, handed out once. Until it is completed no other call is handed out.
  std::optional<ServerCall> take_call();

  // Result of the call last handed out: status 0 sends `stub` as the response (fragmented to the
  // negotiated size); any other status sends a fault, with did-not-execute when the routine was
  // never entered (call limit reached, interface gone). Resumes parsing buffered input.
  void complete(std::uint32_t status, std::span<const std::uint8_t> stub, bool did_not_execute = false);

  // Gives a finished call's stub buffer back, so the next request reuses its capacity.
  void recycle_stub(std::vector<std::uint8_t>&& stub);

  // Bytes to send, in order; the buffer is handed over and emptied.
  std::vector<std::uint8_t> take_output();
  // The same bytes without handing the buffer over: a driver that sends them and then calls
  // clear_output() keeps the buffer's capacity for the next reply (no allocation per call).
  std::span<const std::uint8_t> output() const { return out_; }
  void clear_output() { out_.clear(); }

  // The connection is finished: send what take_output() gives, then close.
  bool closing() const { return closing_; }
  // Nothing received of an unfinished PDU or call (the driver uses the idle time-out then, and a
  // shorter per-PDU time-out otherwise).
  bool idle() const;
  // At least one complete PDU has arrived (normally the bind). Until then the driver holds the
  // connection to a short deadline counted from the accept, so a peer that connects and stays
  // silent, or trickles its first PDU, cannot hold a connection for the whole idle time-out.
  bool received_pdu() const { return received_pdu_; }

  std::uint16_t negotiated_frag() const { return frag_; }

 private:
  struct Context {
    SyntaxId iface;
  };
  struct PartialCall {
    std::uint32_t call_id = 0;
    std::uint16_t cont_id = 0;
    std::uint16_t opnum = 0;
    ByteOrder byte_order = ByteOrder::little;
    std::vector<std::uint8_t> stub;
  };

  void parse();
  bool check_header(const PduHeader& h);
  void handle_pdu(std::span<const std::uint8_t> pdu, const PduHeader& h);
  void handle_bind(std::span<const std::uint8_t> pdu, const PduHeader& h);
  void handle_alter_context(std::span<const std::uint8_t> pdu, const PduHeader& h);
  void handle_request(std::span<const std::uint8_t> pdu, const PduHeader& h);
  void finish_request(PartialCall call);
  // Judges every context element in order, appending one result per element.
  void negotiate(const BindPdu& bind, std::vector<ContextResult>& results);

  void send_fault(std::uint32_t call_id, std::uint16_t cont_id, std::uint32_t status, bool dne);
  void fail_with_fault(std::uint32_t call_id, std::uint32_t status, bool dne);  // fault, then close
  void fail_with_nak(std::uint32_t call_id, std::uint16_t reason);              // bind_nak, then close

  const InterfaceLookup& interfaces_;
  AssocGroups& groups_;
  std::uint16_t port_;
  ServerLimits limits_;

  std::vector<std::uint8_t> in_;  // received, not yet parsed (in_pos_ onwards)
  std::size_t in_pos_ = 0;
  std::vector<std::uint8_t> out_;

  bool bound_ = false;
  bool closing_ = false;
  bool received_pdu_ = false;
  std::uint16_t frag_ = kMinNegotiatedFrag;
  std::uint32_t assoc_group_ = 0;
  std::unordered_map<std::uint16_t, Context> contexts_;

  std::vector<std::uint8_t> spare_stub_;  // capacity for the next request's stub
  std::optional<PartialCall> receiving_;  // fragments of a call still arriving
  std::optional<ServerCall> ready_;       // complete, not yet handed out
  bool running_ = false;                  // handed out, not yet completed
  std::uint32_t running_call_id_ = 0;
  std::uint16_t running_cont_id_ = 0;
};

}  // namespace tarvik::rpc
