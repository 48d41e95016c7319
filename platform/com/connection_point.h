// Connection points: how an object hands its events to the sinks its containers connect.
//
// Slot semantics: a connection point keeps its sinks in numbered slots. Advise puts a new sink into the
// first free slot and returns the cookie slot + 1; Unadvise frees that slot again. Events go to the
// sinks in slot order, so after a disconnection a later sink can come before earlier ones.
//
// ConnectionPoint is embedded in the object that raises the events: its reference count is the owner's
// (AddRef/Release go to the owner's controlling unknown), so holding the connection point keeps the
// owner alive. Its slot table is guarded by a mutex; sinks are called without the lock held, from the
// thread that raises the event.
#pragma once

#include <cstdint>
#include <limits>
#include <mutex>
#include <span>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace tarvik::com {

struct IConnectionPointContainer;

struct ConnectData {
  ComPtr<IUnknown> sink;
  std::uint32_t cookie = 0;
};

struct IConnectionPoint : IUnknown {
  static constexpr Guid kIid = make_guid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
  using Base = IUnknown;

  virtual HRESULT GetConnectionInterface(Guid* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
  // Queries `sink` for the connection interface (CONNECT_E_CANNOTCONNECT if it has none) and keeps it
  // in the first free slot (CONNECT_E_ADVISELIMIT when every allowed slot is taken).
  virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
  // CONNECT_E_NOCONNECTION for a cookie that names no connected slot.
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
  // The connections in slot order.
  virtual HRESULT EnumConnections(std::vector<ConnectData>* out) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
  static constexpr Guid kIid = make_guid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
  using Base = IUnknown;

  virtual HRESULT EnumConnectionPoints(std::vector<ComPtr<IConnectionPoint>>* out) = 0;
  // CONNECT_E_NOCONNECTION when the object raises no events of `iid`.
  virtual HRESULT FindConnectionPoint(const Guid& iid, IConnectionPoint** out) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

// Sinks that take an event's arguments in declaration order (first argument first) may answer this
// besides the event interface: raise_event_in_order() then hands them the arguments as they are,
// without the reversed copy that IDispatch::Invoke needs.
struct IInOrderEventSink : IUnknown {
  static constexpr Guid kIid = make_guid("{3E7A51C2-0D84-4B69-A2F3-95C1D6E0B7A4}");
  using Base = IUnknown;

  // The same as Invoke(id, ..., DISPATCH_METHOD, args reversed, ...) with no result wanted.
  virtual HRESULT OnEvent(DispId id, std::span<const Variant> args_declaration_order) = 0;

 protected:
  ~IInOrderEventSink() = default;
};

class ConnectionPoint final : public IConnectionPoint {
 public:
  static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

  // `owner`: the controlling unknown of the object that embeds this; `container`: that object's
  // IConnectionPointContainer. Neither is referenced (the owner outlives its members).
  ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, const Guid& iid,
                  std::size_t max_sinks = kUnlimited);
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint();

  HRESULT QueryInterface(const Guid& iid, void** out) override;
  std::uint32_t AddRef() override { return owner_->AddRef(); }
  std::uint32_t Release() override { return owner_->Release(); }
  HRESULT GetConnectionInterface(Guid* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
  HRESULT Unadvise(std::uint32_t cookie) override;
  HRESULT EnumConnections(std::vector<ConnectData>* out) override;

  const Guid& iid() const { return iid_; }
  std::size_t connection_count() const;
  // The connected sinks' dispatch interfaces in slot order (null entries skipped): a snapshot, so sinks
  // may connect and disconnect while the caller goes through it.
  std::vector<ComPtr<IDispatch>> dispatch_sinks() const;
  // The same, each with its IInOrderEventSink when it has one.
  struct EventTarget {
    ComPtr<IDispatch> dispatch;
    ComPtr<IInOrderEventSink> in_order;
  };
  std::vector<EventTarget> event_targets() const;
  // Drops every connection (an object does this when it is being destroyed).
  void disconnect_all();

 private:
  struct Slot {
    ComPtr<IUnknown> sink;       // what the sink answered for iid_
    ComPtr<IDispatch> dispatch;  // its IDispatch, when it has one
    ComPtr<IInOrderEventSink> in_order;  // when it has one
  };
  IUnknown* owner_;
  IConnectionPointContainer* container_;
  Guid iid_;
  std::size_t max_sinks_;
  mutable std::mutex mutex_;
  std::vector<Slot> slots_;  // empty sink = free slot
};

// Raises an event: for every sink of `cp` in slot order, holds a reference and calls its
// Invoke(id, null IID, user-default locale, DISPATCH_METHOD, args, no named arguments, no result, no
// exception information, no argument error). The sinks' results are ignored.
// `args_dispatch_order`: last argument first.
void raise_event(const ConnectionPoint& cp, DispId id, std::span<const Variant> args_dispatch_order);
// The same with the arguments in declaration order (first argument first): sinks that answer
// IInOrderEventSink get them as they are, the others through Invoke with one reversed copy made for
// all of them.
void raise_event_in_order(const ConnectionPoint& cp, DispId id, std::span<const Variant> args_declaration_order);

// The body of FindConnectionPoint / EnumConnectionPoints for an object with these connection points.
HRESULT find_connection_point(std::span<ConnectionPoint* const> points, const Guid& iid,
                              IConnectionPoint** out);
HRESULT enum_connection_points(std::span<ConnectionPoint* const> points,
                               std::vector<ComPtr<IConnectionPoint>>* out);

// For containers: connects `sink` to the events `iid` of `source`; the cookie goes to *cookie.
HRESULT connect_events(IUnknown* source, const Guid& iid, IUnknown* sink, std::uint32_t* cookie);
HRESULT disconnect_events(IUnknown* source, const Guid& iid, std::uint32_t cookie);

}  // namespace tarvik::com
