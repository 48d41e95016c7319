// The seventeen typed telegram methods of IMachine, implemented once for all of them: each packs its
// arguments as the sending code takes them and hands them to send_telegram(), the one entry that
// Telegram() (and so IDispatch::Invoke) uses too.
//
// One class template per method, generated from TARVIK_MACHINE_TELEGRAMS; each derives from the
// next, so MachineMethods is IMachine with every telegram method implemented. CMachine derives from
// it and implements send_telegram().
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <tuple>

#include "control/imachine.h"
#include "protocol/machine_connection.h"

namespace tarvik::control {

class MachineMethodsBase : public IMachine {
 protected:
  // Sends `t` with `args` (OrderNum first); `ret` receives the outcome and may be null only for
  // Shutdown_M (E_POINTER otherwise). S_OK once the call was made.
  virtual com::HRESULT send_telegram(const protocol::TelegramInfo& t, std::span<const protocol::CallerArg> args,
                                     std::int32_t* ret) = 0;

  template <class... A>
  com::HRESULT send_typed(protocol::MachineOp op, std::int32_t* ret, const A&... a) {
    const std::array<protocol::CallerArg, sizeof...(A)> args{caller_arg(a)...};
    return send_telegram(telegram_method::info(op), args, ret);
  }

 private:
  static protocol::CallerArg caller_arg(std::int32_t n) { return n; }
  static protocol::CallerArg caller_arg(const com::BStr& s) {
    return s.is_null() ? protocol::CallerText() : protocol::CallerText(s.view());
  }
};

namespace telegram_slots {

// Slot_<name><Next>: Next with the telegram method <name> implemented.
#define TARVIK_TELEGRAM_SLOT(name)                                                                      \
  template <class Next, class Args = TelegramArgs<protocol::MachineOp::name>,                          \
            bool HasResult = telegram_method::info(protocol::MachineOp::name).has_result>               \
  class Slot_##name;                                                                                    \
  template <class Next, class... A>                                                                     \
  class Slot_##name<Next, std::tuple<A...>, true> : public Next {                                       \
   public:                                                                                              \
    com::HRESULT name(A... a, std::int32_t* ret) override {                                             \
      return this->send_typed(protocol::MachineOp::name, ret, a...);                                    \
    }                                                                                                   \
  };                                                                                                    \
  template <class Next>                                                                                 \
  class Slot_##name<Next, std::tuple<>, false> : public Next {                                          \
   public:                                                                                              \
    com::HRESULT name() override { return this->send_typed(protocol::MachineOp::name, nullptr); }      \
  };
TARVIK_MACHINE_TELEGRAMS(TARVIK_TELEGRAM_SLOT)
#undef TARVIK_TELEGRAM_SLOT

#define TARVIK_OPEN_SLOT(name) Slot_##name<
#define TARVIK_CLOSE_SLOT(name) >
using Chain = TARVIK_MACHINE_TELEGRAMS(TARVIK_OPEN_SLOT) MachineMethodsBase TARVIK_MACHINE_TELEGRAMS(TARVIK_CLOSE_SLOT);
#undef TARVIK_OPEN_SLOT
#undef TARVIK_CLOSE_SLOT

}  // namespace telegram_slots

// IMachine with the telegram methods implemented. Answers QueryInterface as IMachine (its kIid and
// Base are IMachine's); a pointer to it is a pointer to IMachine (single inheritance, no members).
using MachineMethods = telegram_slots::Chain;

}  // namespace tarvik::control
