#include "testprogram/core/value_history.h"

#include "testprogram/core/ini_values.h"

namespace tarvik::testprogram {
namespace {

std::string value_key(int i) {
  return "Value_" + std::to_string(i);
}
constexpr const char* kComboKey = "Combo_Value";

std::string_view without_prefix(std::string_view name) {
  return name.size() > 3 ? name.substr(3) : std::string_view();
}

}  // namespace

ValueHistory::ValueHistory(const ProgramFiles& files) : files_(files) {}

std::string ValueHistory::history_key(std::string_view form_name, std::string_view control_name) {
  std::string key(without_prefix(form_name));
  key.append("_").append(without_prefix(control_name));
  return key;
}

std::string ValueHistory::stored_form(std::string_view text) {
  return ini_read_back_form(text.substr(0, text.find_first_of("\r\n")));
}

std::string ValueHistory::read(const std::string& section, const std::string& key) const {
  return get_ini_value(files_, section, key, "", kHistoryFileName);
}

bool ValueHistory::write(const std::string& section, const std::string& key, const std::string& value) const {
  return write_ini_value(files_, section, key, value, kHistoryFileName);
}

HistoryMenu ValueHistory::menu_for(std::string_view history_key, std::string_view current_text) const {
  HistoryMenu menu;
  const std::string section(history_key);
  for (int i = 0; i < kHistoryDepth; ++i) {
    std::string value = read(section, value_key(i));
    if (!value.empty()) {
      menu[i] = {std::move(value), true};
    } else if (i == 0) {
      menu[i] = {std::string(current_text), true};
    }
  }
  return menu;
}

std::string ValueHistory::select_value(std::string_view form_name, FormControlView& InputControl,
                                      const HistoryMenuChooser& choose) const {
  std::string chosen = InputControl.text();
  HistoryMenu menu = menu_for(history_key(form_name, InputControl.name()), chosen);
  if (std::optional<int> item = choose(menu);
      item && *item >= 0 && *item < kHistoryDepth && menu[*item].visible) {
    chosen = menu[*item].text;
  }
  InputControl.set_text(chosen);
  return chosen;
}

void ValueHistory::get_last_values(FormView& aForm) const {
  const std::string form_name = aForm.name();
  for (FormControlView* control : aForm.controls()) {
    const std::string name = control->name();
    if (name == "cboMachine") continue;  // the machine list cannot be typed into
    const std::string section = history_key(form_name, name);
    switch (control->kind()) {
      case ControlKind::text_box: {
        std::string last = read(section, value_key(0));
        if (!last.empty())
          control->set_text(last);
        else if (name == "txtOrderNum")
          control->set_text("0");
        break;
      }
      case ControlKind::drop_down_list: {
        std::string last = read(section, kComboKey);
        if (!last.empty()) control->set_text(last);
        break;
      }
      case ControlKind::other:
        break;
    }
  }
}

bool ValueHistory::update_text_box(const std::string& section, const std::string& text) const {
  const std::string fresh = stored_form(text);
  std::array<std::string, kHistoryDepth> stored;
  for (int i = 0; i < kHistoryDepth; ++i) stored[i] = read(section, value_key(i));
  if (stored[0] == fresh) return true;
  std::array<std::string, kHistoryDepth> list;
  list[0] = fresh;
  for (int i = 1; i < kHistoryDepth; ++i) {
    list[i] = stored[i - 1];
    if (list[i] == fresh) {
      // The old copy of the value drops out; the entries behind it keep their places.
      for (int j = i; j < kHistoryDepth; ++j) list[j] = stored[j];
      break;
    }
  }
  for (int i = 0; i < kHistoryDepth; ++i)
    if (!write(section, value_key(i), list[i])) return false;
  return true;
}

bool ValueHistory::update_values(const FormView& aForm) const {
  const std::string form_name = aForm.name();
  // A file that cannot be written fails every write alike: stop at the first.
  for (const FormControlView* control : aForm.controls()) {
    const std::string section = history_key(form_name, control->name());
    switch (control->kind()) {
      case ControlKind::drop_down_list:
        if (!write(section, kComboKey, stored_form(control->text()))) return false;
        break;
      case ControlKind::text_box:
        if (!update_text_box(section, control->text())) return false;
        break;
      case ControlKind::other:
        break;
    }
  }
  return true;
}

}  // namespace tarvik::testprogram
