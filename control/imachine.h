// IMachine: the dual interface of the control class Machine, for host programs written in C++.
//
// Containers that bind late use IDispatch (DISPIDs 1-7 for the properties, 10-26 for the telegram
// methods; see type_library.h). Programs that include this header call the members directly:
//
//   std::int32_t ret = 0;
//   machine->put_MachineIP(u"192.0.2.10");
//   machine->C_ORDER_M(7, 1, u"PART01", u"", u"", u"", 250, 0, 0, 0, &ret);
//   // ret: the machine's result, or an RPC status (1722 unreachable, 1780 a null text, ...)
//
// Slots after IDispatch's: the 14 property accessors, then the 17 telegram methods in DISPID order,
// then Telegram(), the same methods by DISPID. The telegram methods are declared from the telegram
// table (TARVIK_MACHINE_TELEGRAMS and each procedure's parameters), not written out one by one.
//
// Threads: every member is called on the thread that created the object (the owner thread, which
// is also the thread events are raised on).
#pragma once

#include <cstdint>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "control/identities.h"
#include "platform/com/dispatch.h"
#include "platform/com/variant.h"
#include "protocol/telegram_table.h"

namespace tarvik::control {

namespace telegram_method {

constexpr const protocol::TelegramInfo& info(protocol::MachineOp op) {
  return protocol::telegrams(protocol::Interface::machine)[static_cast<std::size_t>(op)];
}
// A number is passed by value, a text as a reference to the caller's BSTR (read, never changed).
template <protocol::MachineOp Op, std::size_t I>
using Arg = std::conditional_t<info(Op).own_params()[I].kind == protocol::Kind::text, const com::BStr&,
                               std::int32_t>;
template <protocol::MachineOp Op, class = std::make_index_sequence<info(Op).own_params().size()>>
struct ArgsOf;
template <protocol::MachineOp Op, std::size_t... I>
struct ArgsOf<Op, std::index_sequence<I...>> {
  using type = std::tuple<Arg<Op, I>...>;
};
template <class Args, bool HasResult>
struct Signature;
template <class... A>
struct Signature<std::tuple<A...>, true> {
  using type = com::HRESULT(A..., std::int32_t* ret);
};
template <>
struct Signature<std::tuple<>, false> {
  using type = com::HRESULT();
};

}  // namespace telegram_method

// The argument types of the telegram method of `Op`, in declaration order (OrderNum first).
template <protocol::MachineOp Op>
using TelegramArgs = typename telegram_method::ArgsOf<Op>::type;
// Its function type: HRESULT(OrderNum, the telegram's own fields..., std::int32_t* ret), or
// HRESULT() for Shutdown_M, which has no arguments and reports nothing.
template <protocol::MachineOp Op>
using TelegramMethod =
    typename telegram_method::Signature<TelegramArgs<Op>, telegram_method::info(Op).has_result>::type;

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

  // The seventeen telegram methods, named like their telegrams, in DISPID order. Each sends its
  // telegram and puts the outcome (the machine's result, or an RPC status of a failed step) into
  // `ret`: S_OK in every case once the call was made; E_POINTER for a missing `ret`. A null BSTR is
  // a null text, which the telegram refuses with 1780.
#define TARVIK_IMACHINE_METHOD(name) virtual TelegramMethod<protocol::MachineOp::name> name = 0;
  TARVIK_MACHINE_TELEGRAMS(TARVIK_IMACHINE_METHOD)
#undef TARVIK_IMACHINE_METHOD

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
