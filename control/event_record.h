// Event records: how a received `_H` telegram travels from the RPC thread that served it to the owner
// thread that raises its events.
//
// One record per telegram, built on the RPC thread: which telegram it was, the machine name as
// received, and for each of the telegram's events (one, or two for R_REPORT_H) the event's arguments
// in declaration order (first argument first), ready to be raised. Tables that an event takes whole
// are variants holding arrays (lower bound 0): Number and Time of I4 elements, Flag of UI1 elements.
// A record is a plain value: whoever holds it owns it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/com/variant.h"
#include "protocol/incoming_telegram.h"
#include "protocol/telegram_table.h"

namespace tarvik::control {

// The most events one telegram raises (R_REPORT_H: the array form, then the flattened form).
inline constexpr std::size_t kMaxEventsPerTelegram = 2;

struct EventRecord {
  const protocol::TelegramInfo* telegram = nullptr;  // its events say what to raise; null: no record
  std::u16string machine;                            // "" for Shutdown_H, which goes to every object
  std::array<std::vector<com::Variant>, kMaxEventsPerTelegram> args;  // args[i]: telegram->events[i]

  // True for a telegram that is raised on every object, whatever its name (Shutdown_H).
  bool to_every_object() const { return telegram != nullptr && telegram->params.empty(); }
};

// Builds the record of a received telegram; texts are converted through the calling thread's code
// page. Call on the thread that serves the telegram: the record copies everything it needs.
EventRecord make_event_record(const protocol::IncomingTelegram& t);

}  // namespace tarvik::control
