// The one description of every telegram: both interfaces, their 27 procedures, each procedure's
// parameters in wire order with kind and dimension, the control's method DISPID of each `_M`
// telegram and the event name(s) and DISPID(s) of each `_H` telegram.
//
// Everything that knows a telegram's shape (stub marshalling, host routines, the printers, the
// control's dispatch table and type information, the event records, the managed delegates, the
// test program's forms) is expanded from this table; nothing else lists telegrams by hand.
//
//   const TelegramInfo* t = find_telegram("C_ORDER_M");   // nullptr if unknown
//   for (const Param& p : t->params) ...                   // pszHost, pszMachine, OrderNum, SFkt, ...
//
// The table is constexpr and lives for the whole program; spans and string_views into it never dangle.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/rpc/uuid.h"

namespace tarvik::protocol {

enum class Interface : std::uint8_t {
  machine,  // MEVRIXMACHINE: the machine serves, the host calls (`_M`)
  host,     // MEVRIXHOST: the host serves, the machine calls (`_H`)
};

// Interface identities on the wire (abstract syntax of the bind).
inline constexpr rpc::SyntaxId kMachineInterfaceId{
    rpc::Uuid{0xd6542300, 0xc15a, 0x11d0, {0xa0, 0xcb, 0x00, 0xa0, 0x24, 0x4c, 0xe6, 0x87}}, 1, 1};
inline constexpr rpc::SyntaxId kHostInterfaceId{
    rpc::Uuid{0xd3d7d860, 0xc15a, 0x11d0, {0xa0, 0xcb, 0x00, 0xa0, 0x24, 0x4c, 0xe6, 0x87}}, 1, 0};

constexpr const rpc::SyntaxId& interface_id(Interface i) {
  return i == Interface::machine ? kMachineInterfaceId : kHostInterfaceId;
}
constexpr std::string_view interface_name(Interface i) {
  return i == Interface::machine ? "MEVRIXMACHINE" : "MEVRIXHOST";
}

// The only parameter kinds that occur. All are [in]; no pointer chains, structures or out-values.
enum class Kind : std::uint8_t {
  text,          // [in, string] unsigned char*: top-level ref, conformant varying, zero counted
  number,        // long
  number_table,  // long[count], inline, aligned to 4
  name_table,    // unsigned char[count][6], inline, each slot one name of at most 6 bytes
  byte_table,    // unsigned char[count], inline, values 0..255
};

inline constexpr std::size_t kNameSlotBytes = 6;

struct Param {
  std::string_view name;   // as the interface definition names it: "pszHost", "DockPos", "pszWPC"
  Kind kind;
  std::uint8_t count;      // elements of a table; 1 for text and number
  // Name of the field as a receiver delivers it (event argument; for a table the base of the
  // flattened names "DockPos1".."DockPos3") and, on `_M` telegrams, the control's method argument.
  std::string_view field;

  constexpr bool is_table() const { return kind != Kind::text && kind != Kind::number; }
};

// An event a `_H` telegram raises in the control (the managed library raises the first one only,
// always with flattened fields, under the same name with a delegate type "_" + name).
struct Event {
  std::string_view name;  // "RxMACHINExH"
  std::int16_t dispid;    // also the command identifier of the record that carries it
  bool whole_tables;      // true: tables are passed as arrays; false: flattened into numbered fields
};

struct TelegramInfo {
  Interface iface;
  std::uint16_t opnum;
  std::string_view name;              // "T_DATA_M"
  std::int16_t method_dispid;         // `_M`: the control's method DISPID (10..26); `_H`: 0
  std::span<const Param> params;      // wire order; empty for the two shutdown procedures
  std::span<const Event> events;      // `_H` only
  bool has_result;                    // returns a long; false for the two shutdown procedures

  // Parameters after pszHost and pszMachine: what a caller passes and what an event carries.
  constexpr std::span<const Param> own_params() const { return params.empty() ? params : params.subspan(2); }
};

// The machine procedures by name, in opnum order: the one place their names are written, so that
// code which needs them as identifiers (the control's typed IMachine methods) expands this list.
// kTelegrams' machine rows are built from it; their parameters are table_detail::k<name>.
#define TARVIK_MACHINE_TELEGRAMS(X)                                                                     \
  X(T_MACHINE_M) X(T_TPS_M) X(T_DATA_M) X(T_VAR_M) X(R_NC4WPC_M) X(R_REPORT_M) X(R_MESSAGE_M)        \
  X(R_DATA_M) X(R_VAR_M) X(R_DDEDATA_M) X(C_DELETE_M) X(C_MODE_M) X(C_SYNCH_M) X(C_TPORDER_M)         \
  X(Shutdown_M) X(C_ORDER_M) X(T_REPORT_M)

// Opnum of each machine procedure: MachineOp::C_ORDER_M is 15.
enum class MachineOp : std::uint16_t {
#define TARVIK_MACHINE_OP(name) name,
  TARVIK_MACHINE_TELEGRAMS(TARVIK_MACHINE_OP)
#undef TARVIK_MACHINE_OP
};

namespace table_detail {

constexpr std::string_view without_psz(std::string_view name) {
  return name.starts_with("psz") ? name.substr(3) : name;
}
constexpr Param text(std::string_view name, std::string_view field = {}) {
  return {name, Kind::text, 1, field.empty() ? without_psz(name) : field};
}
constexpr Param number(std::string_view name, std::string_view field = {}) {
  return {name, Kind::number, 1, field.empty() ? name : field};
}
constexpr Param numbers(std::string_view name, std::uint8_t n) { return {name, Kind::number_table, n, name}; }
constexpr Param names(std::string_view name, std::uint8_t n) {
  return {name, Kind::name_table, n, without_psz(name)};
}
constexpr Param bytes(std::string_view name, std::uint8_t n) { return {name, Kind::byte_table, n, name}; }

// Every telegram but the shutdown procedures begins with host name, machine name and order number.
inline constexpr Param kHead[] = {text("pszHost"), text("pszMachine"), number("OrderNum")};

template <std::size_t N>
constexpr std::array<Param, N + 3> head_and(const Param (&own)[N]) {
  std::array<Param, N + 3> all{kHead[0], kHead[1], kHead[2]};
  for (std::size_t i = 0; i < N; ++i) all[i + 3] = own[i];
  return all;
}
constexpr std::array<Param, 3> head_only() { return {kHead[0], kHead[1], kHead[2]}; }

// MEVRIXMACHINE 1.1. Field names are the control's method argument names (R_NC4WPC_M: DateVal).
inline constexpr auto kT_MACHINE_M = head_only();
inline constexpr auto kT_TPS_M = head_only();
inline constexpr auto kT_DATA_M = head_and({number("SFkt"), text("Name1"), text("Name2")});
inline constexpr auto kT_VAR_M = head_and({number("VarMode"), text("VarSet"), text("VarDescr")});
inline constexpr auto kR_NC4WPC_M =
    head_and({text("WPC"), text("NCProg"), number("Date", "DateVal"), number("NCPLength"),
              number("ClampCubeSide"), number("TpFlag"), number("NCExtern"), number("ResInt1"),
              number("ResInt2"), text("ResByte")});
inline constexpr auto kR_REPORT_M =
    head_and({number("Typ"), number("Number"), number("ResInt1"), number("ResInt2"), text("ResByte")});
inline constexpr auto kR_MESSAGE_M =
    head_and({text("Message"), number("ResInt1"), number("ResInt2"), text("ResByte")});
inline constexpr auto kR_DATA_M =
    head_and({number("SFkt"), text("Name1"), text("Name2"), number("Date"), number("LastFile")});
inline constexpr auto kR_VAR_M =
    head_and({number("VarMode"), text("VarSet"), text("VarDescr"), text("VarData")});
inline constexpr auto kR_DDEDATA_M =
    head_and({text("Application"), text("Topic"), text("Item"), text("Data")});
inline constexpr auto kC_DELETE_M = head_and({number("SFkt"), text("Name1"), text("Name2")});
inline constexpr auto kC_MODE_M = head_and({number("Mode")});
inline constexpr auto kC_SYNCH_M = head_and({number("SynchFlag")});
inline constexpr auto kC_TPORDER_M =
    head_and({number("SDockPos"), number("DDockPos"), text("WPC"), number("WPCTyp"), number("BufferFlag"),
              number("Priority"), number("ChainNum"), number("Vehicle"), number("ResInt1"),
              number("ResInt2"), text("ResByte")});
inline constexpr auto kC_ORDER_M =
    head_and({number("SFkt"), text("Name1"), text("Name2"), text("Name3"), text("Name4"),
              number("Parameter1"), number("Parameter2"), number("Parameter3"), number("Parameter4")});
inline constexpr auto kT_REPORT_M = head_only();
inline constexpr std::span<const Param> kShutdown_M{};

// MEVRIXHOST 1.0. Field names are the event argument names (psz dropped; R_DATA_H's Date is DateVal).
inline constexpr auto kR_MACHINE_H =
    head_and({number("MachineMode"), number("MachineStatus"), text("pszNCProgramm"), number("ClampCubeSide"),
              numbers("DockPos", 3), numbers("DockPosStatus", 3), names("pszWPC", 3),
              numbers("WPCStatus", 3), number("ResInt1"), number("ResInt2"), text("pszResByte")});
inline constexpr auto kR_TPS_H =
    head_and({number("MachineMode"), number("MachineStatus"), number("TpOStatus"), numbers("DockPos", 2),
              numbers("DockPosStatus", 2), names("pszWPC", 2), number("ResInt1"), number("ResInt2"),
              text("pszResByte")});
inline constexpr auto kR_REPORT_H =
    head_and({number("Typ"), numbers("Number", 10), numbers("Time", 10), bytes("Flag", 10), number("ResInt1"),
              number("ResInt2"), text("pszResByte")});
inline constexpr auto kR_MESSAGE_H =
    head_and({text("pszMessage"), number("ResInt1"), number("ResInt2"), text("pszResByte")});
inline constexpr auto kT_DATA_H = head_and({number("SFkt"), text("pszName1"), text("pszName2")});
inline constexpr auto kR_DATA_H = head_and({number("SFkt"), text("pszName1"), text("pszName2"),
                                            number("Date", "DateVal"), number("LastFile")});
inline constexpr auto kT_VAR_H = head_and({number("VarMode"), text("pszVarSet"), text("pszVarDescr")});
inline constexpr auto kR_VAR_H =
    head_and({number("VarMode"), text("pszVarSet"), text("pszVarDescr"), text("pszVarData")});
inline constexpr auto kR_DDEDATA_H = head_and({text("pszData")});

inline constexpr Event kRxMACHINExH[] = {{"RxMACHINExH", 10, false}};
inline constexpr Event kRxTPSxH[] = {{"RxTPSxH", 11, false}};
// One telegram, two events: first with the three tables as arrays, then with them flattened.
inline constexpr Event kRxREPORTxH[] = {{"RxREPORTxH", 12, true}, {"RxREPORTxH2", 20, false}};
inline constexpr Event kRxMESSAGExH[] = {{"RxMESSAGExH", 13, false}};
inline constexpr Event kTxDATAxH[] = {{"TxDATAxH", 14, false}};
inline constexpr Event kRxDATAxH[] = {{"RxDATAxH", 15, false}};
inline constexpr Event kTxVARxH[] = {{"TxVARxH", 16, false}};
inline constexpr Event kRxVARxH[] = {{"RxVARxH", 17, false}};
inline constexpr Event kRxDDEDATAxH[] = {{"RxDDEDATAxH", 18, false}};
inline constexpr Event kShutdownH[] = {{"ShutdownH", 19, false}};

inline constexpr std::span<const Param> kNone{};

constexpr TelegramInfo machine_row(MachineOp op, std::string_view name, std::span<const Param> params) {
  const auto opnum = static_cast<std::uint16_t>(op);
  return {Interface::machine, opnum, name, static_cast<std::int16_t>(10 + opnum), params, {}, !params.empty()};
}

}  // namespace table_detail

// Machine procedures first (index = opnum), then host procedures (index = 17 + opnum).
inline constexpr TelegramInfo kTelegrams[] = {
    // clang-format off
#define TARVIK_MACHINE_ROW(name) table_detail::machine_row(MachineOp::name, #name, table_detail::k##name),
    TARVIK_MACHINE_TELEGRAMS(TARVIK_MACHINE_ROW)
#undef TARVIK_MACHINE_ROW
    {Interface::host, 0, "R_MACHINE_H", 0, table_detail::kR_MACHINE_H, table_detail::kRxMACHINExH, true},
    {Interface::host, 1, "R_TPS_H",     0, table_detail::kR_TPS_H,     table_detail::kRxTPSxH,     true},
    {Interface::host, 2, "R_REPORT_H",  0, table_detail::kR_REPORT_H,  table_detail::kRxREPORTxH,  true},
    {Interface::host, 3, "R_MESSAGE_H", 0, table_detail::kR_MESSAGE_H, table_detail::kRxMESSAGExH, true},
    {Interface::host, 4, "T_DATA_H",    0, table_detail::kT_DATA_H,    table_detail::kTxDATAxH,    true},
    {Interface::host, 5, "R_DATA_H",    0, table_detail::kR_DATA_H,    table_detail::kRxDATAxH,    true},
    {Interface::host, 6, "T_VAR_H",     0, table_detail::kT_VAR_H,     table_detail::kTxVARxH,     true},
    {Interface::host, 7, "R_VAR_H",     0, table_detail::kR_VAR_H,     table_detail::kRxVARxH,     true},
    {Interface::host, 8, "R_DDEDATA_H", 0, table_detail::kR_DDEDATA_H, table_detail::kRxDDEDATAxH, true},
    {Interface::host, 9, "Shutdown_H",  0, table_detail::kNone,        table_detail::kShutdownH,   false},
    // clang-format on
};

inline constexpr std::size_t kMachineTelegramCount = 17;
inline constexpr std::size_t kHostTelegramCount = 10;
inline constexpr std::size_t kTelegramCount = kMachineTelegramCount + kHostTelegramCount;

constexpr std::span<const TelegramInfo> telegrams() { return kTelegrams; }
constexpr std::span<const TelegramInfo> telegrams(Interface i) {
  return i == Interface::machine ? std::span(kTelegrams).first(kMachineTelegramCount)
                                 : std::span(kTelegrams).subspan(kMachineTelegramCount);
}
// The procedure with this opnum, or nullptr when the interface has none.
constexpr const TelegramInfo* find_telegram(Interface i, std::uint32_t opnum) {
  const auto all = telegrams(i);
  return opnum < all.size() ? &all[opnum] : nullptr;
}
// By name, exactly as written ("T_DATA_M"); nullptr if unknown.
constexpr const TelegramInfo* find_telegram(std::string_view name) {
  for (const TelegramInfo& t : kTelegrams)
    if (t.name == name) return &t;
  return nullptr;
}
// The parameter of this name, or nullptr.
constexpr const Param* find_param(const TelegramInfo& t, std::string_view name) {
  for (const Param& p : t.params)
    if (p.name == name) return &p;
  return nullptr;
}

// Number of event arguments with tables flattened (the managed event's fields; the control's
// record size n for every event but RxREPORTxH).
constexpr std::size_t flattened_count(const TelegramInfo& t) {
  std::size_t n = 0;
  for (const Param& p : t.own_params()) n += p.count;
  return n;
}
constexpr std::size_t event_arg_count(const TelegramInfo& t, const Event& e) {
  return e.whole_tables ? t.own_params().size() : flattened_count(t);
}

// Checks of the table against the interface definitions, at compile time.
namespace table_detail {

constexpr bool opnums_follow_table_order() {
  for (Interface i : {Interface::machine, Interface::host}) {
    std::uint16_t expect = 0;
    for (const TelegramInfo& t : telegrams(i))
      if (t.iface != i || t.opnum != expect++) return false;
  }
  return true;
}
constexpr bool shapes_are_consistent() {
  for (const TelegramInfo& t : kTelegrams) {
    const bool shutdown = t.name.starts_with("Shutdown_");
    if (shutdown == t.has_result || shutdown != t.params.empty()) return false;
    if (!shutdown && (t.params[0].name != "pszHost" || t.params[1].name != "pszMachine" ||
                      t.params[2].name != "OrderNum"))
      return false;
    const bool machine = t.iface == Interface::machine;
    if (!t.name.ends_with(machine ? "_M" : "_H")) return false;
    if (machine != t.events.empty()) return false;
    if (machine != (t.method_dispid == 10 + t.opnum)) return false;
    for (const Param& p : t.params) {
      if (p.count == 0 || (p.is_table() != (p.count > 1))) return false;
      if (p.kind == Kind::byte_table && p.count != 10) return false;
    }
  }
  return true;
}
constexpr std::size_t event_args(std::string_view telegram, std::size_t event) {
  const TelegramInfo* t = find_telegram(telegram);
  return event_arg_count(*t, t->events[event]);
}

static_assert(std::size(kTelegrams) == kTelegramCount);
static_assert(opnums_follow_table_order());
static_assert(shapes_are_consistent());
static_assert(find_telegram("Shutdown_M")->opnum == 14 && find_telegram("T_REPORT_M")->opnum == 16);
static_assert(find_telegram("C_ORDER_M")->params.size() == 12 && find_telegram("C_TPORDER_M")->params.size() == 14);
static_assert(find_telegram("R_NC4WPC_M")->params.size() == 13);
// Event sizes as the control's event records and the managed delegates carry them.
static_assert(event_args("R_MACHINE_H", 0) == 20 && event_args("R_TPS_H", 0) == 13);
static_assert(event_args("R_REPORT_H", 0) == 8 && event_args("R_REPORT_H", 1) == 35);
static_assert(event_args("R_MESSAGE_H", 0) == 5 && event_args("T_DATA_H", 0) == 4);
static_assert(event_args("R_DATA_H", 0) == 6 && event_args("T_VAR_H", 0) == 4);
static_assert(event_args("R_VAR_H", 0) == 5 && event_args("R_DDEDATA_H", 0) == 2);
static_assert(event_args("Shutdown_H", 0) == 0);

}  // namespace table_detail

}  // namespace tarvik::protocol
