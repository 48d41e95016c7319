// What an incoming form (frmR_MACHINE_H, ...) shows: one value label per event argument, with its
// caption and its place, and the rules that turn an event's arguments into label texts and call
// record entries.
//
// The arguments and their names come from the telegram table (the first event of each `_H`
// telegram: flattened fields, or whole tables for RxREPORTxH); the captions, label names and rows
// are the hand-written facts in incoming_form_facts.cpp.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/typeinfo.h"
#include "platform/com/variant.h"
#include "protocol/telegram_table.h"
#include "testprogram/core/rpc_value.h"

namespace tarvik::testprogram {

// What a value label shows, for its size: a 32-bit number, a name of at most 5 characters (WPC),
// one flag character, or a text of any length.
enum class ValueKind { number, name, flag, text };

struct IncomingLabel {
  std::string argument;  // event argument: "OrderNum", "DockPos1", "Flag"
  std::string label;     // value label: "lblOrderNum", "lblDochPos1"; a table is a label array
  int elements = 1;      // 10 for the tables of R_REPORT_H (label array lblFlag(0..9))
  std::string caption;   // "DockPos1,2, ...:"; empty when the label continues the caption before it
  bool new_row = true;   // false: stands on the row of the label before it
  bool multi_line = false;
  ValueKind kind = ValueKind::number;  // from the telegram table
};

struct IncomingFormDescription {
  std::string telegram;       // "R_MACHINE_H"
  std::string form;           // "frmR_MACHINE_H"
  const protocol::TelegramInfo* info = nullptr;
  const protocol::Event* event = nullptr;  // the event the main window handles
  std::string popup_check;    // "chkPopupRpc" ("chkPopup" in frmR_TPS_H)
  std::string popup_key;      // "PopupR_MACHINE_H"
  std::string trace_partner;  // trace flag consulted besides TraceAll: "T_MACHINE_M"
  std::vector<IncomingLabel> labels;  // in display order, lblMachine not included
  std::vector<std::string> arguments; // the event's argument names in event order
};

const std::vector<IncomingFormDescription>& incoming_form_descriptions();
// By telegram name or by the handled event's DISPID; nullptr when there is no form.
const IncomingFormDescription* find_incoming_form(std::string_view telegram);
const IncomingFormDescription* find_incoming_form_by_event(com::DispId event);

// One value label text: the label's name, its index in a label array (0 for single labels), the text.
struct LabelText {
  std::string label;
  int index = 0;
  std::string text;  // UTF-8
};

// The label texts of an event: numbers in decimal, texts as received, table elements in their
// columns, flag bytes as the character of that code in the ANSI code page (nothing for 0).
// `args` in event order; arguments that do not match the description are shown as empty texts.
std::vector<LabelText> label_texts(const IncomingFormDescription& form, std::span<const com::Variant> args);

// The call record entries after "OrderNum", "Machine" and "Host": every further argument under its
// name, numbers as 32-bit integers, texts as texts, tables as lists of ten.
std::vector<std::pair<std::string, RpcValue>> record_entries(const IncomingFormDescription& form,
                                                            std::span<const com::Variant> args);

}  // namespace tarvik::testprogram
