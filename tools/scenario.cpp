#include "tools/scenario.h"

#include <fstream>
#include <initializer_list>
#include <sstream>

#include "platform/codepage/codepage.h"
#include "tools/scenario_lines.h"

namespace tarvik::cli {
namespace {

using nlohmann::json;
using protocol::Interface;
using protocol::Kind;
using protocol::Param;
using protocol::TelegramInfo;
using protocol::WireValue;

// Fields every `_M` telegram but Shutdown_M carries: what a rule for any telegram ("*") may use.
constexpr std::size_t kHeadFields = 3;

std::string to_wire_text(const std::string& utf8) {
  return codepage::to_ansi(codepage::utf8_to_utf16(utf8), codepage::Unmappable::best_fit);
}

std::string telegram_names(Interface i) {
  std::string out;
  for (const TelegramInfo& t : protocol::telegrams(i)) out += (out.empty() ? "" : ", ") + std::string(t.name);
  return out;
}

std::string field_names(const TelegramInfo& t, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count && i < t.params.size(); ++i)
    out += (out.empty() ? "" : ", ") + std::string(t.params[i].name);
  return out.empty() ? "none" : out;
}

class Checker {
 public:
  Checker(const LocatedJson& doc, std::string name, Scenario& out) : doc_(doc), name_(std::move(name)), out_(out) {}

  bool run() {
    const json& root = doc_.value;
    if (!root.is_object()) return fail("", "a scenario is a JSON object");
    if (!keys(root, "", {"machine", "host", "default_status", "answers", "timers", "comment"})) return false;
    if (root.contains("machine")) {
      const json& m = root["machine"];
      if (!m.is_object()) return fail("/machine", "\"machine\" must be an object {\"name\": ..., \"port\": ...}");
      if (!keys(m, "/machine", {"name", "port", "comment"}) || !text(m, "/machine", "name", out_.machine_name) ||
          !number(m, "/machine", "port", out_.port, 0, 65535))
        return false;
    }
    if (root.contains("host")) {
      const json& h = root["host"];
      if (!h.is_object()) return fail("/host", "\"host\" must be an object {\"name\", \"ip\", \"port\", \"timeout\"}");
      if (!keys(h, "/host", {"name", "ip", "port", "timeout", "comment"}) || !text(h, "/host", "name", out_.host_name) ||
          !text(h, "/host", "ip", out_.host_ip) || !number(h, "/host", "port", out_.host_port, 1, 65535) ||
          !number(h, "/host", "timeout", out_.timeout, 0, 10))
        return false;
    }
    if (!number(root, "", "default_status", out_.default_status, INT32_MIN, INT32_MAX)) return false;
    if (root.contains("answers")) {
      if (!root["answers"].is_array()) return fail("/answers", "\"answers\" must be a list");
      for (std::size_t i = 0; i < root["answers"].size(); ++i)
        if (!answer(root["answers"][i], pointer_child("/answers", i))) return false;
    }
    if (root.contains("timers")) {
      if (!root["timers"].is_array()) return fail("/timers", "\"timers\" must be a list");
      for (std::size_t i = 0; i < root["timers"].size(); ++i)
        if (!timer(root["timers"][i], pointer_child("/timers", i))) return false;
    }
    return true;
  }

  std::string error;

 private:
  bool fail(const std::string& pointer, const std::string& what) {
    error = name_ + ":" + std::to_string(doc_.line_of(pointer)) + ": " + what;
    return false;
  }

  bool keys(const json& obj, const std::string& at, std::initializer_list<const char*> allowed) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
      bool known = false;
      std::string list;
      for (const char* a : allowed) {
        known = known || it.key() == a;
        list += (list.empty() ? "" : ", ") + std::string(a);
      }
      if (!known) return fail(pointer_child(at, it.key()), "unknown key \"" + it.key() + "\" (known here: " + list + ")");
    }
    return true;
  }

  bool text(const json& obj, const std::string& at, const char* key, std::string& out) {
    if (!obj.contains(key)) return true;
    if (!obj[key].is_string()) return fail(pointer_child(at, key), std::string("\"") + key + "\" must be a text");
    out = obj[key].get<std::string>();
    return true;
  }

  template <typename Int>
  bool number(const json& obj, const std::string& at, const char* key, Int& out, long long min, long long max) {
    if (!obj.contains(key)) return true;
    const json& v = obj[key];
    if (!v.is_number_integer() || v.get<long long>() < min || v.get<long long>() > max ||
        (v.is_number_unsigned() && v.get<unsigned long long>() > static_cast<unsigned long long>(max)))
      return fail(pointer_child(at, key), std::string("\"") + key + "\" must be a whole number from " +
                                              std::to_string(min) + " to " + std::to_string(max));
    out = static_cast<Int>(v.get<long long>());
    return true;
  }

  bool millis(const json& obj, const std::string& at, const char* key, std::chrono::milliseconds& out) {
    std::int64_t ms = out.count();
    if (!number(obj, at, key, ms, 0, 24LL * 3600 * 1000)) return false;
    out = std::chrono::milliseconds(ms);
    return true;
  }

  const TelegramInfo* telegram(const json& obj, const std::string& at, const char* key, Interface iface) {
    const std::string p = pointer_child(at, key);
    if (!obj.contains(key)) return fail(at, std::string("\"") + key + "\" is missing"), nullptr;
    if (!obj[key].is_string()) return fail(p, std::string("\"") + key + "\" must be a telegram name"), nullptr;
    const std::string name = obj[key].get<std::string>();
    const TelegramInfo* t = protocol::find_telegram(name);
    if (t == nullptr || t->iface != iface)
      return fail(p, "unknown telegram " + name + (iface == Interface::machine ? " (a machine answers " : " (a machine sends ") +
                         telegram_names(iface) + ")"),
             nullptr;
    return t;
  }

  // A literal value of parameter `p`; texts in the code page. No references.
  bool literal(const Param& p, const json& v, const std::string& at, WireValue& out) {
    const std::string what = std::string(p.name);
    switch (p.kind) {
      case Kind::text:
        if (!v.is_string()) return fail(at, what + " is a text; write it in quotes");
        out = protocol::WireText{to_wire_text(v.get<std::string>())};
        return true;
      case Kind::number:
        if (!v.is_number_integer() || v.get<long long>() < INT32_MIN || v.get<long long>() > INT32_MAX ||
            (v.is_number_unsigned() && v.get<unsigned long long>() > INT32_MAX))
          return fail(at, what + " is a 32-bit whole number");
        out = static_cast<std::int32_t>(v.get<long long>());
        return true;
      default:
        break;
    }
    if (!v.is_array()) return fail(at, what + " is a table; write a list [..] of at most " + std::to_string(p.count));
    if (v.size() > p.count)
      return fail(at, what + " has " + std::to_string(p.count) + " entries, not " + std::to_string(v.size()));
    out = protocol::default_value(p);
    for (std::size_t i = 0; i < v.size(); ++i) {
      const json& e = v[i];
      const std::string ep = pointer_child(at, i);
      if (p.kind == Kind::name_table) {
        if (!e.is_string()) return fail(ep, what + " holds names; write them in quotes");
        std::string name = to_wire_text(e.get<std::string>());
        if (name.size() > protocol::kNameSlotBytes)
          return fail(ep, what + ": a name has at most 6 characters, not \"" + e.get<std::string>() + "\"");
        std::get<protocol::NameTable>(out)[i] = std::move(name);
      } else if (p.kind == Kind::byte_table) {
        if (!e.is_number_integer() || e.get<long long>() < 0 || e.get<long long>() > 255)
          return fail(ep, what + " holds numbers 0..255");
        std::get<std::vector<std::uint8_t>>(out)[i] = static_cast<std::uint8_t>(e.get<long long>());
      } else {
        if (!e.is_number_integer() || e.get<long long>() < INT32_MIN || e.get<long long>() > INT32_MAX)
          return fail(ep, what + " holds 32-bit whole numbers");
        std::get<std::vector<std::int32_t>>(out)[i] = static_cast<std::int32_t>(e.get<long long>());
      }
    }
    return true;
  }

  // "${Name}" resolved against the trigger: its parameter index.
  bool reference(const std::string& name, const TelegramInfo* trigger, bool any, const std::string& at, int& out) {
    if (trigger == nullptr && !any)
      return fail(at, "bad reference ${" + name + "}: a timer has no telegram to copy from");
    const TelegramInfo& source = trigger != nullptr ? *trigger : protocol::telegrams(Interface::machine)[0];
    const std::size_t usable = trigger != nullptr ? source.params.size() : kHeadFields;
    const Param* p = protocol::find_param(source, name);
    if (p == nullptr || static_cast<std::size_t>(p - source.params.data()) >= usable)
      return fail(at, "bad reference ${" + name + "}: " + (trigger ? std::string(trigger->name) : "any telegram") +
                          " has no such field (fields: " + field_names(source, usable) + ")");
    out = static_cast<int>(p - source.params.data());
    return true;
  }

  bool field(const TelegramInfo& t, const std::string& name, const json& v, const std::string& at,
             const TelegramInfo* trigger, bool any, FieldSource& out) {
    const Param* p = protocol::find_param(t, name);
    if (p == nullptr) return fail(at, std::string(t.name) + " has no field " + name + " (fields: " +
                                          field_names(t, t.params.size()) + ")");
    out.param = static_cast<std::size_t>(p - t.params.data());
    const bool is_ref = v.is_string() && v.get<std::string>().starts_with("${") && v.get<std::string>().ends_with("}") &&
                        v.get<std::string>().find('}') == v.get<std::string>().size() - 1;
    if (p->kind == Kind::number && is_ref) {
      const std::string ref = v.get<std::string>().substr(2, v.get<std::string>().size() - 3);
      if (!reference(ref, trigger, any, at, out.copy)) return false;
      const TelegramInfo& source = trigger != nullptr ? *trigger : protocol::telegrams(Interface::machine)[0];
      if (source.params[static_cast<std::size_t>(out.copy)].kind != Kind::number)
        return fail(at, "wrong type: " + name + " is a number and ${" + ref + "} a text");
      return true;
    }
    if (p->kind != Kind::text) return literal(*p, v, at, out.literal);
    if (!v.is_string()) return fail(at, name + " is a text; write it in quotes");
    // A text template: literal pieces and ${Field} references; $${ stands for ${.
    const std::string s = v.get<std::string>();
    std::string lit;
    for (std::size_t i = 0; i < s.size();) {
      if (s.compare(i, 3, "$${") == 0) {
        lit += "${";
        i += 3;
      } else if (s.compare(i, 2, "${") == 0) {
        const auto close = s.find('}', i);
        if (close == std::string::npos) return fail(at, "bad reference: \"${\" without \"}\" in " + name);
        int param = -1;
        if (!reference(s.substr(i + 2, close - i - 2), trigger, any, at, param)) return false;
        if (!lit.empty()) out.pieces.push_back({to_wire_text(lit), -1});
        lit.clear();
        out.pieces.push_back({{}, param});
        i = close + 1;
      } else {
        lit += s[i++];
      }
    }
    if (!lit.empty() || out.pieces.empty()) out.pieces.push_back({to_wire_text(lit), -1});
    return true;
  }

  bool send(const json& obj, const std::string& at, const TelegramInfo* trigger, bool any, bool timer,
            ScenarioSend& out) {
    if (!obj.is_object()) return fail(at, "a send is an object {\"send\": TELEGRAM, \"fields\": {...}}");
    const bool ok = timer ? keys(obj, at, {"send", "every_ms", "first_after_ms", "fields", "comment"})
                          : keys(obj, at, {"send", "after_ms", "fields", "comment"});
    if (!ok) return false;
    out.line = doc_.line_of(at);
    if ((out.telegram = telegram(obj, at, "send", Interface::host)) == nullptr) return false;
    if (!timer && !millis(obj, at, "after_ms", out.after)) return false;
    if (!obj.contains("fields")) return true;
    const std::string fp = pointer_child(at, "fields");
    if (!obj["fields"].is_object()) return fail(fp, "\"fields\" must be an object {\"Field\": value, ...}");
    for (auto it = obj["fields"].begin(); it != obj["fields"].end(); ++it) {
      FieldSource f;
      if (!field(*out.telegram, it.key(), it.value(), pointer_child(fp, it.key()), trigger, any, f)) return false;
      out.fields.push_back(std::move(f));
    }
    return true;
  }

  bool answer(const json& obj, const std::string& at) {
    if (!obj.is_object()) return fail(at, "an answer is an object {\"telegram\": ..., \"status\": ...}");
    if (!keys(obj, at, {"telegram", "when", "status", "delay_ms", "every", "then", "comment"})) return false;
    ScenarioAnswer a;
    a.line = doc_.line_of(at);
    a.status = out_.default_status;
    const bool any = obj.contains("telegram") && obj["telegram"] == "*";
    if (!any && (a.telegram = telegram(obj, at, "telegram", Interface::machine)) == nullptr) return false;
    if (!number(obj, at, "status", a.status, INT32_MIN, INT32_MAX) || !millis(obj, at, "delay_ms", a.delay) ||
        !number(obj, at, "every", a.every, 1, 1000000))
      return false;
    if (obj.contains("when")) {
      const std::string wp = pointer_child(at, "when");
      if (!obj["when"].is_object()) return fail(wp, "\"when\" must be an object {\"Field\": value, ...}");
      const TelegramInfo& t = any ? protocol::telegrams(Interface::machine)[0] : *a.telegram;
      const std::size_t usable = any ? kHeadFields : t.params.size();
      for (auto it = obj["when"].begin(); it != obj["when"].end(); ++it) {
        const Param* p = protocol::find_param(t, it.key());
        const std::string vp = pointer_child(wp, it.key());
        if (p == nullptr || static_cast<std::size_t>(p - t.params.data()) >= usable)
          return fail(vp, (any ? std::string("any telegram") : std::string(t.name)) + " has no field " + it.key() +
                              " (fields: " + field_names(t, usable) + ")");
        WireValue v;
        if (!literal(*p, it.value(), vp, v)) return false;
        a.when.emplace_back(static_cast<std::size_t>(p - t.params.data()), std::move(v));
      }
    }
    if (obj.contains("then")) {
      const std::string tp = pointer_child(at, "then");
      if (!obj["then"].is_array()) return fail(tp, "\"then\" must be a list of sends");
      for (std::size_t i = 0; i < obj["then"].size(); ++i) {
        ScenarioSend s;
        if (!send(obj["then"][i], pointer_child(tp, i), a.telegram, any, false, s)) return false;
        a.then.push_back(std::move(s));
      }
    }
    out_.answers.push_back(std::move(a));
    return true;
  }

  bool timer(const json& obj, const std::string& at) {
    ScenarioTimer t;
    if (!send(obj, at, nullptr, false, true, t.send)) return false;
    if (!obj.contains("every_ms")) return fail(at, "a timer needs \"every_ms\"");
    if (!millis(obj, at, "every_ms", t.every)) return false;
    if (t.every.count() == 0) return fail(pointer_child(at, "every_ms"), "\"every_ms\" must be at least 1");
    t.first = t.every;
    if (!millis(obj, at, "first_after_ms", t.first)) return false;
    out_.timers.push_back(std::move(t));
    return true;
  }

  const LocatedJson& doc_;
  std::string name_;
  Scenario& out_;
};

}  // namespace

bool parse_scenario(const std::string& text, const std::string& name, Scenario& out, std::string& error) {
  out = Scenario{};
  LocatedJson doc;
  if (!parse_located_json(text, doc, error)) {
    error = name + ":" + error.substr(5);  // "line N: ..." -> "NAME:N: ..."
    return false;
  }
  Checker checker(doc, name, out);
  if (!checker.run()) {
    error = checker.error;
    return false;
  }
  return true;
}

bool load_scenario(const std::string& path, Scenario& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return error = "cannot read scenario " + path, false;
  std::ostringstream text;
  text << in.rdbuf();
  if (text.str().size() > (1 << 20)) return error = path + ": a scenario is at most 1 MiB", false;
  return parse_scenario(text.str(), path, out, error);
}

bool answer_matches(const ScenarioAnswer& answer, const TelegramInfo& t, std::span<const WireValue> values) {
  if (answer.telegram != nullptr && answer.telegram != &t) return false;
  for (const auto& [param, value] : answer.when)
    if (param >= values.size() || values[param] != value) return false;
  return true;
}

std::vector<WireValue> build_send(const Scenario& s, const ScenarioSend& send, const TelegramInfo* /*trigger*/,
                                  std::span<const WireValue> trigger_values) {
  const TelegramInfo& t = *send.telegram;
  std::vector<WireValue> values = protocol::default_values(t);
  if (!t.params.empty()) {
    values[0] = protocol::WireText{to_wire_text(s.host_name)};
    values[1] = protocol::WireText{to_wire_text(s.machine_name)};
  }
  const auto text_of = [&](int param) -> std::string {
    if (param < 0 || static_cast<std::size_t>(param) >= trigger_values.size()) return {};
    const WireValue& v = trigger_values[static_cast<std::size_t>(param)];
    if (const auto* n = std::get_if<std::int32_t>(&v)) return std::to_string(*n);
    if (const auto* text = std::get_if<protocol::WireText>(&v); text && *text) return **text;
    return {};
  };
  for (const FieldSource& f : send.fields) {
    if (!f.pieces.empty()) {
      std::string text;
      for (const TextPiece& piece : f.pieces) text += piece.param >= 0 ? text_of(piece.param) : piece.literal;
      values[f.param] = protocol::WireText{std::move(text)};
    } else if (f.copy >= 0) {
      const auto i = static_cast<std::size_t>(f.copy);
      const auto* n = i < trigger_values.size() ? std::get_if<std::int32_t>(&trigger_values[i]) : nullptr;
      values[f.param] = n != nullptr ? *n : 0;
    } else {
      values[f.param] = f.literal;
    }
  }
  return values;
}

}  // namespace tarvik::cli
