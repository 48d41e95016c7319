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

LabelFact row(std::string argument, std::string caption = {}) {
  if (caption.empty()) caption = argument + ":";
  return {std::move(argument), std::move(caption)};
}
LabelFact beside(std::string argument, std::string caption = {}) {
  LabelFact f = row(std::move(argument), std::move(caption));
  f.new_row = false;
  return f;
}
LabelFact next(std::string argument, std::string label = {}) { return {std::move(argument), "", false, std::move(label)}; }
LabelFact lines(LabelFact f) {
  f.multi_line = true;
  return f;
}
LabelFact renamed(LabelFact f, std::string label) {
  f.label = std::move(label);
  return f;
}

void add_reserve(std::vector<LabelFact>& v) {
  v.push_back(row("ResInt1", "ResInt1, 2, ...:"));
  v.push_back(next("ResInt2"));
  v.push_back(next("ResByte"));
}

struct FormFacts {
  std::string trace_partner;
  std::vector<LabelFact> labels;
  std::string popup_check = "chkPopupRpc";
};

std::map<std::string, FormFacts> all_facts() {
  std::map<std::string, FormFacts> all;
  {
    FormFacts& f = all["R_MACHINE_H"];
    f.trace_partner = "T_MACHINE_M";
    f.labels = {row("OrderNum"),
                row("MachineMode"), beside("MachineStatus"), beside("ClampCubeSide"),
                lines(renamed(row("NCProgramm", "NCProgram:"), "lblNCProgram")),
                row("DockPos1", "DockPos1,2, ...:"), next("DockPos2"), next("DockPos3"),
                row("DockPosStatus1", "DockPosStatus1,2, ...:"), next("DockPosStatus2"), next("DockPosStatus3"),
                row("WPC1", "WPC1,2, ...:"), next("WPC2"), next("WPC3"),
                row("WPCStatus1", "WPCStatus1,2, ...:"), next("WPCStatus2"), next("WPCStatus3")};
    add_reserve(f.labels);
  }
  {
    FormFacts& f = all["R_TPS_H"];
    f.trace_partner = "T_TPS_M";
    f.popup_check = "chkPopup";
    f.labels = {row("OrderNum"),
                row("MachineMode", "MachinMode:"), renamed(beside("MachineStatus"), "lblMachinrStatus"),
                row("TpOStatus"),
                renamed(row("DockPos1", "DochPos1,2 :"), "lblDochPos1"), next("DockPos2", "lblDochPos2"),
                renamed(row("DockPosStatus1", "DockPosStatus1,2 :"), "lblDochPosStatus1"),
                next("DockPosStatus2", "lblDochPosStatus2"),
                row("WPC1", "WPC1,2 :"), next("WPC2")};
    add_reserve(f.labels);
  }
  {
    FormFacts& f = all["R_REPORT_H"];
    f.trace_partner = "R_REPORT_M";
    f.labels = {row("OrderNum"), row("Typ"), row("Number"), row("Time"), row("Flag")};
    add_reserve(f.labels);
  }
  {
    FormFacts& f = all["R_MESSAGE_H"];
    f.trace_partner = "R_MESSAGE_M";
    f.labels = {row("OrderNum"), row("Message")};
    add_reserve(f.labels);
  }
  all["T_DATA_H"] = {"T_DATA_M", {row("OrderNum"), beside("SFkt"), lines(row("Name1")), row("Name2")}};
  all["R_DATA_H"] = {"R_DATA_M",
                     {row("OrderNum"), beside("SFkt"), lines(row("Name1")), row("Name2"), row("DateVal", "Date:"),
                      beside("LastFile")}};
  all["T_VAR_H"] = {"T_VAR_M", {row("OrderNum"), row("VarSet"), beside("VarMode"), lines(row("VarDescr"))}};
  all["R_VAR_H"] = {"R_VAR_M",
                    {row("OrderNum"), row("VarSet"), beside("VarMode"), lines(row("VarDescr")), lines(row("VarData"))}};
  all["R_DDEDATA_H"] = {"R_DDEDATA_M", {row("OrderNum"), lines(row("Data"))}};
  return all;
}

// The handled event's argument names in event order.
std::vector<std::string> argument_names(const protocol::TelegramInfo& t, const protocol::Event& e) {
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
std::map<std::string, ValueKind> argument_kinds(const protocol::TelegramInfo& t, const protocol::Event& e) {
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

std::vector<IncomingFormDescription> build() {
  std::vector<IncomingFormDescription> forms;
  const std::map<std::string, FormFacts> facts = all_facts();
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
    d.arguments = argument_names(t, *d.event);
    const std::map<std::string, ValueKind> kinds = argument_kinds(t, *d.event);
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

std::string number_text(const com::Variant& v) {
  com::Variant text;
  if (com::failed(com::change_type(v, com::VT_BSTR, &text))) return {};
  return text.as_bstr().to_utf8();
}

// The character a flag byte stands for; a zero byte shows nothing.
std::string flag_text(const com::Variant& v) {
  com::Variant b;
  if (com::failed(com::change_type(v, com::VT_UI1, &b)) || b.as_ui1() == 0) return {};
  return ansi_char_to_utf8(b.as_ui1());
}

RpcScalar scalar(const com::Variant& v) {
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

const std::vector<IncomingFormDescription>& incoming_form_descriptions() {
  static const std::vector<IncomingFormDescription> forms = build();
  return forms;
}

const IncomingFormDescription* find_incoming_form(std::string_view telegram) {
  for (const IncomingFormDescription& d : incoming_form_descriptions())
    if (d.telegram == telegram) return &d;
  return nullptr;
}

const IncomingFormDescription* find_incoming_form_by_event(com::DispId event) {
  for (const IncomingFormDescription& d : incoming_form_descriptions())
    if (d.event->dispid == event) return &d;
  return nullptr;
}

std::vector<LabelText> label_texts(const IncomingFormDescription& form, std::span<const com::Variant> args) {
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
            k < elements.size() ? (flags ? flag_text(elements[k]) : number_text(elements[k])) : std::string();
        out.push_back({l.label, i, text});
      }
    } else if (v.type() == com::VT_BSTR) {
      out.push_back({l.label, 0, v.as_bstr().to_utf8()});
    } else {
      out.push_back({l.label, 0, v.is_empty() ? std::string() : number_text(v)});
    }
  }
  return out;
}

std::vector<std::pair<std::string, RpcValue>> record_entries(const IncomingFormDescription& form,
                                                            std::span<const com::Variant> args) {
  std::vector<std::pair<std::string, RpcValue>> out;
  for (std::size_t i = 1; i < form.arguments.size() && i < args.size(); ++i) {
    const com::Variant& v = args[i];
    RpcValue value;
    if (v.is_array()) {
      RpcList list;
      for (const com::Variant& e : v.as_array()) list.elements.push_back(scalar(e));
      value = std::move(list);
    } else {
      std::visit([&](auto&& s) { value = s; }, scalar(v));
    }
    out.emplace_back(form.arguments[i], std::move(value));
  }
  return out;
}

}  // namespace tarvik::testprogram
