// What a send form is made of: its fields in the method's argument order, each with its control, kind,
// default, choice list, key filter, history button, caption and call record entry.
//
// The field lists come from the telegram table (protocol/telegram_table.h); only what is particular to
// a form (choice lists, captions, defaults, filters, the odd control and record names) comes from the
// hand-written facts in send_form_facts.cpp, keyed by telegram and parameter name.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::testprogram {

enum class FieldKind {
  number,          // text box; argument: value-of-text, rounded to 32 bits
  text,            // text box; argument: the text unchanged
  choice,          // editable list "code: words"; argument: the choice code
  date,            // text box; argument: seconds since 1970 (local time)
  whole_number,    // editable list with the entry "0" (VarMode); argument: the whole text as a number
  number_or_date,  // Parameter1 of C_ORDER_M: a date when the SFkt code is 100, else a number
};

// What the call record holds for a field.
enum class RecordValue {
  by_kind,          // numbers before rounding, texts as typed, choice codes, date seconds
  text_as_typed,    // the field's text as typed
  converted_number, // the rounded argument
};

struct SendField {
  std::string control;         // "txtName1", "cboSFkt"
  std::string history_button;  // "cmdName1"; empty without history
  std::string caption;         // "Name1:"; empty when the field continues the caption before it
  bool new_row = true;         // false: stands on the row of the field before it
  FieldKind kind = FieldKind::text;
  std::string default_text;              // design text; for lists the entry selected by default
  std::vector<std::string> choices;      // list entries (choice, whole_number)
  bool keys_filtered = false;
  bool multi_line = false;
  std::string record_name;     // call record entry
  RecordValue record_value = RecordValue::by_kind;
};

struct SendFormDescription {
  std::string telegram;             // "C_ORDER_M"
  std::string form;                 // "frmC_ORDER_M"
  short method_dispid = 0;          // the control's method
  std::string order_num_button;     // "cmdOrderNum" ("cmdOderNum" in frmR_MESSAGE_M)
  bool has_cancel = true;
  bool order_num_as_typed = false;  // the record shows txtOrderNum's text as typed (C_MODE_M)
  bool unsupported_method_detail = false;  // "Fehler: 438 ..." instead of "Please, correct input."
  bool separator_before = false;    // the menu draws a line before it: it starts a group
  std::vector<SendField> fields;    // the method's arguments after OrderNum, in order

  const SendField* field(std::string_view control) const;
};

// The sixteen send forms, in the order of the main window's menu.
const std::vector<SendFormDescription>& send_form_descriptions();
// By telegram name ("C_ORDER_M"); nullptr for a telegram without a send form.
const SendFormDescription* find_send_form(std::string_view telegram);

}  // namespace tarvik::testprogram
