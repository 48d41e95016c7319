// The two orders in which the test program lists telegrams: the trace flags of the settings file
// (stored files keep this key order) and the main window's menu of send forms. Which telegrams exist
// is the telegram table's business; these lists only put them in order, and the checks below make
// the build fail when a list misses a telegram, names one the table lacks, or names one twice.
// The popup flags are derived: the incoming telegrams of the trace order, in that order.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/telegram_table.h"

namespace tarvik::testprogram {

// Keys of the trace flags in section [Trace], in the order they are read and written: every
// telegram that carries fields (all but the two shutdowns), the incoming ones first.
inline constexpr std::array<std::string_view, 25> kTraceFlagKeys = {
    "R_DDEDATA_H", "R_VAR_H",   "T_VAR_H",   "R_MESSAGE_H", "R_TPS_H",     "R_REPORT_H",  "R_MACHINE_H",
    "T_DATA_H",    "R_DATA_H",  "R_VAR_M",   "T_VAR_M",     "R_MESSAGE_M", "R_DDEDATA_M", "T_TPS_M",
    "C_TPORDER_M", "C_SYNCH_M", "C_MODE_M",  "R_REPORT_M",  "R_NC4WPC_M",  "C_DELETE_M",  "T_MACHINE_M",
    "T_DATA_M",    "R_DATA_M",  "C_ORDER_M", "T_REPORT_M"};

// One item of the menu "RPC to RPC-TARVIK": a send form, with a separator line before it when it
// starts a group.
struct MenuItem {
  std::string_view telegram;
  bool separator_before = false;
};

// The menu's items: every outgoing telegram with fields (all but Shutdown_M), in groups.
inline constexpr std::array<MenuItem, 16> kSendMenu = {{
    {"R_DATA_M"}, {"T_DATA_M"}, {"T_MACHINE_M"}, {"C_DELETE_M"}, {"R_NC4WPC_M"}, {"R_REPORT_M"},
    {"C_MODE_M"}, {"C_SYNCH_M"},
    {"C_TPORDER_M", true}, {"T_TPS_M"},
    {"R_DDEDATA_M", true}, {"T_VAR_M"}, {"R_VAR_M"},
    {"C_ORDER_M", true}, {"T_REPORT_M"},
    {"R_MESSAGE_M", true},
}};

namespace order_detail {

constexpr bool has_fields(const protocol::TelegramInfo& t) { return !t.params.empty(); }

// Whether the telegram called `name` exists and satisfies `pred`. The table is scanned by reference
// rather than through find_telegram's pointer: with -fsanitize=undefined, GCC adds null checks to
// member access through a pointer that make it unusable in a constant expression.
template <class Pred>
constexpr bool named_telegram_is(std::string_view name, Pred pred) {
  for (const protocol::TelegramInfo& t : protocol::telegrams())
    if (t.name == name) return pred(t);
  return false;
}

// True when `items` name every telegram of the table that `wanted` accepts exactly once, and nothing else.
template <class Range, class NameOf, class Wanted>
constexpr bool lists_each_once(const Range& items, NameOf name_of, Wanted wanted) {
  std::size_t expected = 0;
  for (const protocol::TelegramInfo& t : protocol::telegrams())
    if (wanted(t)) ++expected;
  if (std::size(items) != expected) return false;
  for (std::size_t i = 0; i < std::size(items); ++i) {
    if (!named_telegram_is(name_of(items[i]), wanted)) return false;
    for (std::size_t j = 0; j < i; ++j)
      if (name_of(items[j]) == name_of(items[i])) return false;
  }
  return true;
}

constexpr bool is_incoming(std::string_view name) {
  return named_telegram_is(name, [](const protocol::TelegramInfo& t) { return t.iface == protocol::Interface::host; });
}

constexpr std::size_t incoming_trace_count() {
  std::size_t n = 0;
  for (std::string_view key : kTraceFlagKeys) n += is_incoming(key) ? 1 : 0;
  return n;
}

static_assert(lists_each_once(kTraceFlagKeys, [](std::string_view n) { return n; }, has_fields),
              "kTraceFlagKeys must name every telegram with fields once");
static_assert(lists_each_once(
                  kSendMenu, [](const MenuItem& m) { return m.telegram; },
                  [](const protocol::TelegramInfo& t) { return has_fields(t) && t.iface == protocol::Interface::machine; }),
              "kSendMenu must name every outgoing telegram with fields once");
static_assert(!kSendMenu[0].separator_before, "the menu does not start with a separator");

}  // namespace order_detail

// The incoming telegrams that have a popup flag, in the order of their keys in section [Trace]
// ("Popup" + the telegram's name): the incoming telegrams of kTraceFlagKeys, in that order.
inline constexpr auto kPopupFlagTelegrams = [] {
  std::array<std::string_view, order_detail::incoming_trace_count()> out{};
  std::size_t n = 0;
  for (std::string_view key : kTraceFlagKeys)
    if (order_detail::is_incoming(key)) out[n++] = key;
  return out;
}();

// "PopupR_DATA_H": the key of an incoming telegram's popup flag.
inline std::string popup_flag_key(std::string_view telegram) { return "Popup" + std::string(telegram); }

}  // namespace tarvik::testprogram
