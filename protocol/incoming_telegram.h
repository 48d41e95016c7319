// A received telegram as the host routines hand it to their handler: which procedure, its values
// in wire order (8-bit), and views that convert texts to UTF-16 and flatten the tables the way the
// events deliver them (DockPos1..DockPos3, WPC1..WPC3, Number1..Number10, Flag1..Flag10, ...).
//
// An IncomingTelegram refers to values that the routine owns: it is valid only until the handler
// returns. A handler that passes anything on to another thread copies it first (event_args() and
// the text conversions return copies).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/codepage/codepage.h"
#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::protocol {

// One event argument: a number, a text (UTF-16), or a whole table (RxREPORTxH's Number, Time, Flag).
using EventValue = std::variant<std::int32_t, std::u16string, std::vector<std::int32_t>, std::vector<std::uint8_t>>;
struct EventArg {
  std::string_view name;  // "OrderNum", "DockPos1", "WPC2", "Flag10", "DateVal" (static storage)
  EventValue value;
};

// The names of the flattened fields of `t`, in order, without pszHost and pszMachine
// ("OrderNum", "MachineMode", ..., "DockPos1", "DockPos2", ...). Static storage.
std::span<const std::string> flattened_names(const TelegramInfo& t);

class IncomingTelegram {
 public:
  IncomingTelegram(const TelegramInfo& info, std::span<const WireValue> values) : info_(info), values_(values) {}

  const TelegramInfo& info() const { return info_; }
  std::string_view name() const { return info_.name; }
  std::span<const WireValue> values() const { return values_; }  // one per parameter, wire order

  // pszHost and pszMachine as received (8-bit); "" for Shutdown_H.
  std::string_view host_bytes() const;
  std::string_view machine_bytes() const;
  // Converted through the calling thread's code page.
  std::u16string host() const { return codepage::from_ansi(host_bytes()); }
  std::u16string machine() const { return codepage::from_ansi(machine_bytes()); }
  std::int32_t order_num() const;  // 0 for Shutdown_H

  // The host name check of the host routines: `host_id` (null counts as "") converted to 8-bit text
  // in the calling thread's code page, compared byte for byte with pszHost. Case counts.
  bool host_is(const std::optional<std::u16string>& host_id,
               codepage::Unmappable mode = codepage::Unmappable::best_fit) const;

  // The arguments of `event` (one of info().events), in event order: every parameter after
  // pszMachine; tables flattened unless the event takes them whole. Texts through the calling
  // thread's code page; flag bytes stay unsigned (0..255).
  std::vector<EventArg> event_args(const Event& event) const;
  // The same, always flattened (the managed event's fields).
  std::vector<EventArg> flattened() const;

 private:
  const TelegramInfo& info_;
  std::span<const WireValue> values_;
};

}  // namespace tarvik::protocol
