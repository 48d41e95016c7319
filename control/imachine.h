// IMachine: the dual interface of the control class Machine, for host programs written in C++.
//
// Containers that bind late use IDispatch (DISPIDs 1-7 for the properties, 10-26 for the telegram
// methods; see type_library.h). Programs that include this header may call the accessors directly.
// The telegram methods are one entry, Telegram(), taking the method's DISPID and its arguments in
// declaration order, so the seventeen methods are driven by the telegram table rather than by a
// second hand-written list.
//
// Threads: every member is called on the thread that created the object (the owner thread, which
// is also the thread events are raised on).
#pragma once

#include <cstdint>
#include <span>

#include "control/identities.h"
#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace tarvik::control {

struct IMachine : com::IDispatch {
  static constexpr com::Guid kIid = kIidIMachine;
  using Base = com::IDispatch;

  // Every getter returns E_POINTER when `pVal` is null, else S_OK. Every setter returns S_OK except
  // put_HostEnabled, which reports a failed start or stop as the RPC status | 0x80010000.
  virtual com::HRESULT get_MachineID(com::BStr* pVal) = 0;
  virtual com::HRESULT put_MachineID(const com::BStr& value) = 0;
  virtual com::HRESULT get_MachineIP(com::BStr* pVal) = 0;
  virtual com::HRESULT put_MachineIP(const com::BStr& value) = 0;
  virtual com::HRESULT get_MachinePort(std::int32_t* pVal) = 0;
  virtual com::HRESULT put_MachinePort(std::int32_t value) = 0;
  virtual com::HRESULT get_MachineTimeout(std::int16_t* pVal) = 0;
  virtual com::HRESULT put_MachineTimeout(std::int16_t value) = 0;
  virtual com::HRESULT get_HostID(com::BStr* pVal) = 0;
  virtual com::HRESULT put_HostID(const com::BStr& value) = 0;
  virtual com::HRESULT get_HostPort(std::int32_t* pVal) = 0;
  virtual com::HRESULT put_HostPort(std::int32_t value) = 0;
  virtual com::HRESULT get_HostEnabled(com::VariantBool* pVal) = 0;
  virtual com::HRESULT put_HostEnabled(com::VariantBool value) = 0;

  // Sends the `_M` telegram whose method has DISPID `id` (10-26). `args`: the method's arguments in
  // declaration order (OrderNum first; I4 numbers, BSTR texts, a null BSTR allowed); `ret` receives
  // the outcome (the machine's result or an RPC status) and may be null only for Shutdown_M.
  // S_OK in every case once the call was made; DISP_E_MEMBERNOTFOUND for an unknown DISPID,
  // DISP_E_BADPARAMCOUNT / DISP_E_TYPEMISMATCH for arguments that do not match the method, E_POINTER
  // for a missing `ret`.
  virtual com::HRESULT Telegram(com::DispId id, std::span<const com::Variant> args, std::int32_t* ret) = 0;

 protected:
  ~IMachine() = default;
};

// The result code of a failed HostEnabled put: the RPC status with the bits 0x80010000 set.
constexpr com::HRESULT host_enable_failure(std::int32_t rpc_status) {
  return static_cast<com::HRESULT>(static_cast<std::uint32_t>(rpc_status) | 0x80010000u);
}
static_assert(host_enable_failure(1722) == static_cast<com::HRESULT>(0x800106BAu));

}  // namespace tarvik::control
