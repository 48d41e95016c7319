// The facts of the send forms that the telegram table does not know: choice lists, captions, defaults,
// key filters, history buttons, layout and the odd names some forms were given. Everything else about
// a field (which fields, their order, their names) comes from the telegram table.
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

#include "protocol/telegram_table.h"
#include "testprogram/app/send_form_description.h"
#include "testprogram/core/telegram_order.h"

namespace tarvik::testprogram {
namespace {

using Choices = std::vector<std::string>;

// Choice lists A to J and the one-entry list of VarMode.
const Choices kListA = {"1: NC program",
                        "10: List of existing NC programs",
                        "20: Tool status data of all tools",
                        "21: Tool status data of one tool Variant 1",
                        "22: Tool status data of one tool Variant 2",
                        "23: Tool status data of one tool Variant 3",
                        "24: Tool data of a tool with adapter number",
                        "26: Manual loading of a tool",
                        "50: All DockPos Data",
                        "90: Tranfer any file"};
const Choices kListB = {"0: No follow-up operation", "1: Follow-up operation", "9: Only for buffering"};
const Choices kListC = {"3: Operational message", "4: Error message"};
const Choices kListD = {"1:  NC program", "7:  NC program no overwrite existing", "26: Manual loading of a tool",
                        "90: Tranfer any file"};
const Choices kListE = {"0: more files to follow", "1: last file of a workpiece or single file",
                        "128: Reset request identifier"};
const Choices kListF = {"1: NC program"};
const Choices kListG = {"1: Special mode on", "2: Special mode off", "3: Disconnect components",
                        "4: Connect components"};
const Choices kListH = {"0: End", "1: Start"};
const Choices kListI = {"0: Not for buffering", "1: Only for buffering"};
const Choices kListJ = {"2: Load NC program",
                        "3: Load and select NC program",
                        "4: Unload NC program",
                        "5: Select NC program",
                        "6: Unselect NC program",
                        "100: Set date and time on MMC/PLC",
                        "200: Login",
                        "201: Logoff"};
const Choices kVarModeList = {"0"};

// One field as a form shows it, keyed by the telegram's parameter name. Unset parts take the rules
// of complete() below.
struct Fact {
  FieldKind kind = FieldKind::text;
  std::string text = {};  // number/text/date: default text; lists: the default entry
  const Choices* choices = nullptr;
  bool history = true;
  bool filtered = false;
  bool multi_line = false;
  bool joins_row = false;         // stands on the row of the field before it
  std::optional<std::string> caption = {};  // "" continues the caption before
  std::string control = {};       // instead of prefix + field name
  std::string button = {};        // instead of "cmd" + field name
  std::string record_name = {};   // instead of the field name
  RecordValue record_value = RecordValue::by_kind;
};

Fact number(std::string def = {}) { return Fact{.kind = FieldKind::number, .text = std::move(def)}; }
Fact filtered(std::string def = {}) {
  Fact f = number(std::move(def));
  f.filtered = true;
  return f;
}
Fact text(std::string def = {}) { return Fact{.kind = FieldKind::text, .text = std::move(def)}; }
Fact choice(const Choices& list, std::size_t default_entry = 0) {
  return Fact{.kind = FieldKind::choice, .text = list.at(default_entry), .choices = &list, .history = false};
}
Fact date_field(std::string record_name) {
  return Fact{.kind = FieldKind::date, .history = false, .caption = "Date / Time:", .record_name = std::move(record_name)};
}
Fact var_mode(RecordValue record) {
  return Fact{.kind = FieldKind::whole_number, .text = "0", .choices = &kVarModeList, .history = false,
              .filtered = true, .record_value = record};
}
Fact no_history(Fact f) {
  f.history = false;
  return f;
}
Fact multi_line(Fact f) {
  f.multi_line = true;
  return f;
}
Fact same_row(Fact f, std::optional<std::string> caption = std::nullopt) {
  f.joins_row = true;
  f.caption = std::move(caption);
  return f;
}
Fact named(Fact f, std::string control, std::string button = {}) {
  f.control = std::move(control);
  f.button = std::move(button);
  return f;
}
Fact recorded(Fact f, std::string name, RecordValue value = RecordValue::by_kind) {
  if (!name.empty()) f.record_name = std::move(name);
  f.record_value = value;
  return f;
}

// ResInt1, ResInt2 and ResByte share one row behind one caption.
void add_reserve(std::map<std::string, Fact>& m, const std::string& caption) {
  Fact first = no_history(filtered("0"));
  first.caption = caption;
  m["ResInt1"] = first;
  m["ResInt2"] = same_row(no_history(filtered("0")), "");
  m["ResByte"] = same_row(no_history(text()), "");
}

struct FormFacts {
  std::map<std::string, Fact> fields;  // by parameter name
  std::string order_num_button = "cmdOrderNum";
  bool has_cancel = true;
  bool order_num_as_typed = false;
  bool unsupported_method_detail = false;
};

std::map<std::string, FormFacts> all_facts() {
  std::map<std::string, FormFacts> all;
  all["T_MACHINE_M"];
  all["T_TPS_M"];
  all["T_REPORT_M"].unsupported_method_detail = true;
  all["T_DATA_M"].fields = {{"SFkt", choice(kListA)}, {"Name1", text()}, {"Name2", text()}};
  all["T_VAR_M"].fields = {{"VarMode", var_mode(RecordValue::text_as_typed)},
                           {"VarSet", text()},
                           {"VarDescr", multi_line(text())}};
  {
    auto& m = all["R_NC4WPC_M"].fields;
    m = {{"WPC", no_history(text())},
         {"NCProg", text()},
         {"Date", named(date_field(""), "txtDate")},
         {"NCPLength", no_history(filtered())},
         {"ClampCubeSide", no_history(filtered())},
         {"TpFlag", recorded(named(choice(kListB), "cboTPFlag"), "TpFlage")},
         {"NCExtern", no_history(filtered())}};
    add_reserve(m, "ResInt1, 2, ...:");
  }
  {
    auto& m = all["R_REPORT_M"].fields;
    m = {{"Typ", choice(kListC)}, {"Number", filtered("0")}};
    add_reserve(m, "ResInt1,2, ...:");
  }
  {
    FormFacts& f = all["R_MESSAGE_M"];
    f.order_num_button = "cmdOderNum";
    f.has_cancel = false;
    f.fields = {{"Message", recorded(text(), "Mesage")}};
    add_reserve(f.fields, "ResInt1,2, ...:");
  }
  all["R_DATA_M"].fields = {{"SFkt", choice(kListD)},
                            {"Name1", text("\\MPF.DIR\\NC1.MPF")},
                            {"Name2", text("H:\\NCPROG\\NC1.MPF")},
                            {"Date", date_field("Date")},
                            {"LastFile", choice(kListE, 1)}};
  all["R_VAR_M"].fields = {{"VarMode", var_mode(RecordValue::converted_number)},
                           {"VarSet", text()},
                           {"VarDescr", multi_line(text())},
                           {"VarData", multi_line(text())}};
  all["R_DDEDATA_M"].fields = {{"Application", text()}, {"Topic", text()}, {"Item", text()}, {"Data", text()}};
  all["C_DELETE_M"].fields = {{"SFkt", choice(kListF)}, {"Name1", text()}, {"Name2", text()}};
  all["C_MODE_M"].fields = {{"Mode", choice(kListG)}};
  all["C_MODE_M"].order_num_as_typed = true;
  all["C_SYNCH_M"].fields = {{"SynchFlag", choice(kListH)}};
  {
    auto& m = all["C_TPORDER_M"].fields;
    m = {{"SDockPos", filtered()},
         {"DDockPos", same_row(number(), "DDockPos:")},
         {"WPC", text()},
         {"WPCTyp", same_row(named(filtered(), "txtWPCTyp", "cmdWPCType"), "WPCTyp:")},
         {"BufferFlag", choice(kListI)},
         {"Priority", same_row(named(filtered(), "txtPriority", "cmdPrioity"), "Priority:")},
         {"ChainNum", number()},
         {"Vehicle", same_row(filtered(), "Vehicle:")}};
    add_reserve(m, "ResInt1, 2, ...:");
  }
  {
    FormFacts& f = all["C_ORDER_M"];
    f.unsupported_method_detail = true;
    const auto param = [](FieldKind kind) {
      Fact p = recorded(number(), "", RecordValue::text_as_typed);
      p.kind = kind;
      return p;
    };
    f.fields = {{"SFkt", choice(kListJ)}, {"Name1", text()}, {"Name2", text()}, {"Name3", text()},
                {"Name4", text()},
                // Two columns: Parameter1 and Parameter3 on the left, 2 and 4 on the right.
                {"Parameter1", param(FieldKind::number_or_date)},
                {"Parameter2", same_row(param(FieldKind::number), "Parameter2:")},
                {"Parameter3", param(FieldKind::number)},
                {"Parameter4", same_row(param(FieldKind::number), "Parameter4:")}};
  }
  return all;
}

std::string prefix(FieldKind kind) {
  return kind == FieldKind::choice || kind == FieldKind::whole_number ? "cbo" : "txt";
}

SendField complete(const protocol::Param& p, const Fact& f) {
  const std::string field(p.field);
  SendField out;
  out.kind = f.kind;
  out.control = f.control.empty() ? prefix(f.kind) + std::string(p.name) : f.control;
  const std::string bare = out.control.substr(3);
  out.history_button = f.history ? (f.button.empty() ? "cmd" + bare : f.button) : std::string();
  out.caption = f.caption ? *f.caption : bare + ":";
  out.new_row = !f.joins_row;
  out.default_text = f.text;
  if (f.choices) out.choices = *f.choices;
  out.keys_filtered = f.filtered;
  out.multi_line = f.multi_line;
  out.record_name = f.record_name.empty() ? field : f.record_name;
  out.record_value = f.record_value;
  return out;
}

std::vector<SendFormDescription> build() {
  const std::map<std::string, FormFacts> facts = all_facts();
  std::vector<SendFormDescription> forms;
  for (const MenuItem& item : kSendMenu) {
    const std::string_view name = item.telegram;
    const protocol::TelegramInfo* t = protocol::find_telegram(name);
    const FormFacts& ff = facts.at(std::string(name));
    SendFormDescription d;
    d.telegram = std::string(name);
    d.form = "frm" + d.telegram;
    d.method_dispid = t->method_dispid;
    d.separator_before = item.separator_before;
    d.order_num_button = ff.order_num_button;
    d.has_cancel = ff.has_cancel;
    d.order_num_as_typed = ff.order_num_as_typed;
    d.unsupported_method_detail = ff.unsupported_method_detail;
    const auto own = t->own_params();
    // own[0] is OrderNum, which every form has in the same shape.
    for (std::size_t i = 1; i < own.size(); ++i) {
      const auto it = ff.fields.find(std::string(own[i].name));
      if (it == ff.fields.end())
        throw std::logic_error("send form facts lack " + d.telegram + "." + std::string(own[i].name));
      d.fields.push_back(complete(own[i], it->second));
    }
    if (d.fields.size() != ff.fields.size())
      throw std::logic_error("send form facts name a parameter " + d.telegram + " does not have");
    forms.push_back(std::move(d));
  }
  return forms;
}

}  // namespace

const SendField* SendFormDescription::field(std::string_view control) const {
  for (const SendField& f : fields)
    if (f.control == control) return &f;
  return nullptr;
}

const std::vector<SendFormDescription>& send_form_descriptions() {
  static const std::vector<SendFormDescription> forms = build();
  return forms;
}

const SendFormDescription* find_send_form(std::string_view telegram) {
  for (const SendFormDescription& d : send_form_descriptions())
    if (d.telegram == telegram) return &d;
  return nullptr;
}

}  // namespace tarvik::testprogram
