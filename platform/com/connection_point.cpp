#include "platform/com/connection_point.h"

namespace tarvik::com {

ConnectionPoint::ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, const Guid& iid,
                                 std::size_t max_sinks)
    : owner_(owner), container_(container), iid_(iid), max_sinks_(max_sinks) {}

ConnectionPoint::~ConnectionPoint() {
  disconnect_all();
}

HRESULT ConnectionPoint::QueryInterface(const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IUnknown::kIid || iid == IConnectionPoint::kIid) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(Guid* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, std::uint32_t* cookie) {
  if (cookie) *cookie = 0;
  if (!sink || !cookie) return E_POINTER;
  Slot slot;
  if (failed(sink->QueryInterface(iid_, slot.sink.put_void())) || !slot.sink) return CONNECT_E_CANNOTCONNECT;
  sink->QueryInterface(IDispatch::kIid, slot.dispatch.put_void());
  sink->QueryInterface(IInOrderEventSink::kIid, slot.in_order.put_void());
  std::lock_guard lock(mutex_);
  std::size_t index = 0;
  while (index < slots_.size() && slots_[index].sink) ++index;
  if (index >= max_sinks_) return CONNECT_E_ADVISELIMIT;  // `slot` releases the sink after the unlock
  if (index == slots_.size()) slots_.emplace_back();
  std::swap(slots_[index], slot);
  *cookie = static_cast<std::uint32_t>(index + 1);
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t cookie) {
  Slot released;  // released after the lock is given up: a sink's destructor may call back
  {
    std::lock_guard lock(mutex_);
    if (cookie == 0 || cookie > slots_.size() || !slots_[cookie - 1].sink) return CONNECT_E_NOCONNECTION;
    std::swap(released, slots_[cookie - 1]);
    while (!slots_.empty() && !slots_.back().sink) slots_.pop_back();
  }
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(std::vector<ConnectData>* out) {
  if (!out) return E_POINTER;
  out->clear();
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].sink) out->push_back({slots_[i].sink, static_cast<std::uint32_t>(i + 1)});
  return S_OK;
}

std::size_t ConnectionPoint::connection_count() const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& s : slots_) n += s.sink ? 1 : 0;
  return n;
}

std::vector<ComPtr<IDispatch>> ConnectionPoint::dispatch_sinks() const {
  std::vector<ComPtr<IDispatch>> out;
  std::lock_guard lock(mutex_);
  for (const auto& s : slots_)
    if (s.dispatch) out.push_back(s.dispatch);
  return out;
}

std::vector<ConnectionPoint::EventTarget> ConnectionPoint::event_targets() const {
  std::vector<EventTarget> out;
  std::lock_guard lock(mutex_);
  out.reserve(slots_.size());
  for (const auto& s : slots_)
    if (s.dispatch) out.push_back({s.dispatch, s.in_order});
  return out;
}

void ConnectionPoint::disconnect_all() {
  std::vector<Slot> released;
  {
    std::lock_guard lock(mutex_);
    released.swap(slots_);
  }
}

void raise_event(const ConnectionPoint& cp, DispId id, std::span<const Variant> args_dispatch_order) {
  const DispParams params{args_dispatch_order, {}};
  for (const ComPtr<IDispatch>& sink : cp.dispatch_sinks())
    sink->Invoke(id, kNullGuid, kLocaleUserDefault, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
}

void raise_event_in_order(const ConnectionPoint& cp, DispId id, std::span<const Variant> args_declaration_order) {
  std::vector<Variant> reversed;  // made once, for the first sink that needs dispatch order
  bool have_reversed = false;
  for (const ConnectionPoint::EventTarget& sink : cp.event_targets()) {
    if (sink.in_order) {
      sink.in_order->OnEvent(id, args_declaration_order);
      continue;
    }
    if (!have_reversed) {
      reversed.assign(args_declaration_order.rbegin(), args_declaration_order.rend());
      have_reversed = true;
    }
    const DispParams params{reversed, {}};
    sink.dispatch->Invoke(id, kNullGuid, kLocaleUserDefault, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
  }
}

HRESULT find_connection_point(std::span<ConnectionPoint* const> points, const Guid& iid,
                              IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (ConnectionPoint* cp : points) {
    if (cp->iid() == iid) {
      cp->AddRef();
      *out = cp;
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT enum_connection_points(std::span<ConnectionPoint* const> points,
                               std::vector<ComPtr<IConnectionPoint>>* out) {
  if (!out) return E_POINTER;
  out->clear();
  for (ConnectionPoint* cp : points) out->emplace_back(cp);
  return S_OK;
}

namespace {
HRESULT point_of(IUnknown* source, const Guid& iid, ComPtr<IConnectionPoint>* cp) {
  if (!source) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IConnectionPointContainer::kIid, container.put_void());
  if (failed(hr)) return hr;
  return container->FindConnectionPoint(iid, cp->put());
}
}  // namespace

HRESULT connect_events(IUnknown* source, const Guid& iid, IUnknown* sink, std::uint32_t* cookie) {
  ComPtr<IConnectionPoint> cp;
  const HRESULT hr = point_of(source, iid, &cp);
  return failed(hr) ? hr : cp->Advise(sink, cookie);
}

HRESULT disconnect_events(IUnknown* source, const Guid& iid, std::uint32_t cookie) {
  ComPtr<IConnectionPoint> cp;
  const HRESULT hr = point_of(source, iid, &cp);
  return failed(hr) ? hr : cp->Unadvise(cookie);
}

}  // namespace tarvik::com
