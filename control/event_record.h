// Event records: how a received `_H` telegram travels from the RPC thread that served it to the owner
// thread that raises its event.
//
// A record is an array of variants: element 0 the number n of event arguments (I4), element 1 the
// telegram's machine name (BSTR), elements 2 to n+1 the event's arguments in dispatch order (element
// n+1 holds the first argument, element 2 the last), which is the order Invoke takes them in. Tables
// that an event takes whole are variants holding arrays (lower bound 0): Number and Time of I4
// elements, Flag of UI1 elements. A record is a plain value: whoever holds it owns it.
#pragma once

#include <span>
#include <vector>

#include "platform/com/variant.h"
#include "protocol/incoming_telegram.h"

namespace tarvik::control {

using EventRecord = std::vector<com::Variant>;

// Builds the record of `event` (one of t.info().events) from a received telegram; texts are
// converted through the calling thread's code page. Call on the thread that serves the telegram:
// the record copies everything it needs.
EventRecord make_event_record(const protocol::IncomingTelegram& t, const protocol::Event& event);

// The parts of a record. A record that is too short or inconsistent reads as no arguments and an
// empty name, so a damaged record can never index past its end.
std::size_t record_argument_count(const EventRecord& record);
com::BStr record_machine_name(const EventRecord& record);
std::span<const com::Variant> record_arguments(const EventRecord& record);  // dispatch order

}  // namespace tarvik::control
