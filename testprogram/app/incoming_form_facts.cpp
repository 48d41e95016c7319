// The facts of the incoming forms that the telegram table does not know: captions, the names some
// value labels were given, which values share a row, and which labels take several lines.
#include <map>
#include <stdexcept>

#include "protocol/incoming_telegram.h"
#include "testprogram/app/incoming_form_description.h"
#include "testprogram/core/ansi_text.h"

namespace tarvik::testprogram {
namespace {

// One label in display order: the argument it shows, its caption ("" continues the caption before),
// whether it starts a row, and the label's name when it is not "lbl" + argument.
struct LabelFact {
  std::string argument;
  std::string caption;
  bool new_row = true;
  std::string label = {};
  bool multi_line = false;
};

LabelFact Row(std::string argument, std::string caption = {}) {
  if (caption.empty()) caption = argument + ":";
  return {std::move(argument), std::move(caption)};
}
LabelFact Beside(std::string argument, std::string caption = {}) {
  LabelFact f = Row(std::move(argument), std::move(caption));
  f.new_row = false;
  return f;
}
LabelFact Next(std::string argument, std::string label = {}) { return {std::move(argument), "", false, std::move(label)}; }
LabelFact Lines(LabelFact f) {
  f.multi_line = true;
  return f;
}
LabelFact Renamed(LabelFact f, std::string label) {
  f.label = std::move(label);
  return f;
}

void AddReserve(std::vector<LabelFact>& v) {
  v.push_back(Row("ResInt1", "ResInt1, 2, ...:"));
  v.push_back(Next("ResInt2"));
  v.push_back(Next("ResByte"));
}

struct FormFacts {
  std::string trace_partner;
  std::vector<LabelFact> labels;
  std::string popup_check = "chkPopupRpc";
};

std::map<std::string, FormFacts> AllFacts() {
  std::map<std::string, FormFacts> all;
  {
    FormFacts& f = all["R_MACHINE_H"];
    f.trace_partner = "T_MACHINE_M";
    f.labels = {Row("OrderNum"),
                Row("MachineMode"), Beside("MachineStatus"), Beside("ClampCubeSide"),
                Lines(Renamed(Row("NCProgramm", "NCProgram:"), "lblNCProgram")),
                Row("DockPos1", "DockPos1,2, ...:"), Next("DockPos2"), Next("DockPos3"),
                Row("DockPosStatus1", "DockPosStatus1,2, ...:"), Next("DockPosStatus2"), Next("DockPosStatus3"),
                Row("WPC1", "WPC1,2, ...:"), Next("WPC2"), Next("WPC3"),
                Row("WPCStatus1", "WPCStatus1,2, ...:"), Next("WPCStatus2"), Next("WPCStatus3")};
    AddReserve(f.labels);
  }
  {
    FormFacts& f = all["R_TPS_H"];
    f.trace_partner = "T_TPS_M";
    f.popup_check = "chkPopup";
    f.labels = {Row("OrderNum"),
                Row("MachineMode", "MachinMode:"), Renamed(Beside("MachineStatus"), "lblMachinrStatus"),
                Row("TpOStatus"),
                Renamed(Row("DockPos1", "DochPos1,2 :"), "lblDochPos1"), Next("DockPos2", "lblDochPos2"),
                Renamed(Row("DockPosStatus1", "DockPosStatus1,2 :"), "lblDochPosStatus1"),
                Next("DockPosStatus2", "lblDochPosStatus2"),
                Row("WPC1", "WPC1,2 :"), Next("WPC2")};
    AddReserve(f.labels);
  }
  {
    FormFacts& f = all["R_REPORT_H"];
    f.trace_partner = "R_REPORT_M";
    f.labels = {Row("OrderNum"), Row("Typ"), Row("Number"), Row("Time"), Row("Flag")};
    AddReserve(f.labels);
  }
  {
    FormFacts& f = all["R_MESSAGE_H"];
    f.trace_partner = "R_MESSAGE_M";
    f.labels = {Row("OrderNum"), Row("Message")};
    AddReserve(f.labels);
  }
  all["T_DATA_H"] = {"T_DATA_M", {Row("OrderNum"), Beside("SFkt"), Lines(Row("Name1")), Row("Name2")}};
  all["R_DATA_H"] = {"R_DATA_M",
                     {Row("OrderNum"), Beside("SFkt"), Lines(Row("Name1")), Row("Name2"), Row("DateVal", "Date:"),
                      Beside("LastFile")}};
  all["T_VAR_H"] = {"T_VAR_M", {Row("OrderNum"), Row("VarSet"), Beside("VarMode"), Lines(Row("VarDescr"))}};
  all["R_VAR_H"] = {"R_VAR_M",
                    {Row("OrderNum"), Row("VarSet"), Beside("VarMode"), Lines(Row("VarDescr")), Lines(Row("VarData"))}};
  all["R_DDEDATA_H"] = {"R_DDEDATA_M", {Row("OrderNum"), Lines(Row("Data"))}};
  return all;
}

// The handled event's argument names in event order.
std::vector<std::string> ArgumentNames(const protocol::TelegramInfo& t, const protocol::Event& e) {
  std::vector<std::string> names;
  if (e.whole_tables) {
    for (const protocol::Param& p : t.own_params()) names.emplace_back(p.field);
  } else {
    for (const std::string& n : protocol::flattened_names(t)) names.push_back(n);
  }
  return names;
}

// What each event argument holds, from the telegram table: flattened tables give one argument per
// element ("DockPos1" .. "DockPos3").
std::map<std::string, ValueKind> ArgumentKinds(const protocol::TelegramInfo& t, const protocol::Event& e) {
  const auto kind_of = [](protocol::Kind k) {
    switch (k) {
      case protocol::Kind::text: return ValueKind::text;
      case protocol::Kind::name_table: return ValueKind::name;
      case protocol::Kind::byte_table: return ValueKind::flag;
      case protocol::Kind::number:
      case protocol::Kind::number_table: break;
    }
    return ValueKind::number;
  };
  std::map<std::string, ValueKind> kinds;
  for (const protocol::Param& p : t.own_params()) {
    if (!p.is_table() || e.whole_tables) {
      kinds[std::string(p.field)] = kind_of(p.kind);
    } else {
      for (int i = 1; i <= p.count; ++i) kinds[std::string(p.field) + std::to_string(i)] = kind_of(p.kind);
    }
  }
  return kinds;
}

std::vector<IncomingFormDescription> Build() {
  std::vector<IncomingFormDescription> forms;
  const std::map<std::string, FormFacts> facts = AllFacts();
  for (const protocol::TelegramInfo& t : protocol::telegrams(protocol::Interface::host)) {
    const auto it = facts.find(std::string(t.name));
    if (it == facts.end()) continue;  // Shutdown_H shows nothing
    IncomingFormDescription d;
    d.telegram = std::string(t.name);
    d.form = "frm" + d.telegram;
    d.info = &t;
    d.event = &t.events[0];
    d.popup_check = it->second.popup_check;
    d.popup_key = "Popup" + d.telegram;
    d.trace_partner = it->second.trace_partner;
    d.arguments = ArgumentNames(t, *d.event);
    const std::map<std::string, ValueKind> kinds = ArgumentKinds(t, *d.event);
    for (const LabelFact& f : it->second.labels) {
      IncomingLabel l;
      const auto kind = kinds.find(f.argument);
      if (kind == kinds.end()) throw std::logic_error("incoming form facts name no argument " + f.argument);
      l.kind = kind->second;
      l.argument = f.argument;
      l.label = f.label.empty() ? "lbl" + f.argument : f.label;
      if (const protocol::Param* p = protocol::find_param(t, l.argument); p && d.event->whole_tables && p->is_table())
        l.elements = p->count;
      l.caption = f.caption;
      l.new_row = f.new_row;
      l.multi_line = f.multi_line;
      d.labels.push_back(std::move(l));
    }
    // Every argument is shown exactly once.
    if (d.labels.size() != d.arguments.size()) throw std::logic_error("incoming form facts do not fit " + d.telegram);
    for (const std::string& a : d.arguments) {
      int n = 0;
      for (const IncomingLabel& l : d.labels) n += l.argument == a;
      if (n != 1) throw std::logic_error("incoming form facts do not show " + d.telegram + "." + a + " once");
    }
    forms.push_back(std::move(d));
  }
  return forms;
}

std::string NumberText(const com::Variant& v) {
  com::Variant text;
  if (com::failed(com::change_type(v, com::VT_BSTR, &text))) return {};
  return text.as_bstr().to_utf8();
}

// The character a flag byte stands for; a zero byte shows nothing.
std::string FlagText(const com::Variant& v) {
  com::Variant b;
  if (com::failed(com::change_type(v, com::VT_UI1, &b)) || b.as_ui1() == 0) return {};
  return AnsiCharToUtf8(b.as_ui1());
}

RpcScalar Scalar(const com::Variant& v) {
  switch (v.type()) {
    case com::VT_UI1: return RpcByte{v.as_ui1()};
    case com::VT_BSTR: return v.as_bstr().to_utf8();
    default: {
      com::Variant n;
      return com::succeeded(com::change_type(v, com::VT_I4, &n)) ? n.as_i4() : 0;
    }
  }
}

}  // namespace

const std::vector<IncomingFormDescription>& IncomingFormDescriptions() {
  static const std::vector<IncomingFormDescription> forms = Build();
  return forms;
}

const IncomingFormDescription* FindIncomingForm(std::string_view telegram) {
  for (const IncomingFormDescription& d : IncomingFormDescriptions())
    if (d.telegram == telegram) return &d;
  return nullptr;
}

const IncomingFormDescription* FindIncomingFormByEvent(com::DispId event) {
  for (const IncomingFormDescription& d : IncomingFormDescriptions())
    if (d.event->dispid == event) return &d;
  return nullptr;
}

std::vector<LabelText> LabelTexts(const IncomingFormDescription& form, std::span<const com::Variant> args) {
  std::vector<LabelText> out;
  for (const IncomingLabel& l : form.labels) {
    std::size_t position = 0;
    while (position < form.arguments.size() && form.arguments[position] != l.argument) ++position;
    const com::Variant none;
    const com::Variant& v = position < args.size() ? args[position] : none;
    if (l.elements > 1) {
      const bool flags = protocol::find_param(*form.info, l.argument)->kind == protocol::Kind::byte_table;
      for (int i = 0; i < l.elements; ++i) {
        const auto& elements = v.as_array();
        const std::size_t k = static_cast<std::size_t>(i);
        const std::string text =
            k < elements.size() ? (flags ? FlagText(elements[k]) : NumberText(elements[k])) : std::string();
        out.push_back({l.label, i, text});
      }
    } else if (v.type() == com::VT_BSTR) {
      out.push_back({l.label, 0, v.as_bstr().to_utf8()});
    } else {
      out.push_back({l.label, 0, v.is_empty() ? std::string() : NumberText(v)});
    }
  }
  return out;
}

std::vector<std::pair<std::string, RpcValue>> RecordEntries(const IncomingFormDescription& form,
                                                            std::span<const com::Variant> args) {
  std::vector<std::pair<std::string, RpcValue>> out;
  for (std::size_t i = 1; i < form.arguments.size() && i < args.size(); ++i) {
    const com::Variant& v = args[i];
    RpcValue value;
    if (v.is_array()) {
      RpcList list;
      for (const com::Variant& e : v.as_array()) list.elements.push_back(Scalar(e));
      value = std::move(list);
    } else {
      std::visit([&](auto&& s) { value = s; }, Scalar(v));
    }
    out.emplace_back(form.arguments[i], std::move(value));
  }
  return out;
}

}  // namespace tarvik::testprogram
