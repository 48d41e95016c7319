#include "testprogram/core/value_history.h"

#include "testprogram/core/ini_values.h"

namespace tarvik::testprogram {
namespace {

std::string ValueKey(int i) {
  return "Value_" + std::to_string(i);
}
constexpr const char* kComboKey = "Combo_Value";

std::string_view WithoutPrefix(std::string_view name) {
  return name.size() > 3 ? name.substr(3) : std::string_view();
}

}  // namespace

ValueHistory::ValueHistory(const ProgramFiles& files) : files_(files) {}

std::string ValueHistory::HistoryKey(std::string_view form_name, std::string_view control_name) {
  std::string key(WithoutPrefix(form_name));
  key.append("_").append(WithoutPrefix(control_name));
  return key;
}

std::string ValueHistory::StoredForm(std::string_view text) {
  return IniReadBackForm(text.substr(0, text.find_first_of("\r\n")));
}

std::string ValueHistory::Read(const std::string& section, const std::string& key) const {
  return GetIniValue(files_, section, key, "", kHistoryFileName);
}

bool ValueHistory::Write(const std::string& section, const std::string& key, const std::string& value) const {
  return WriteIniValue(files_, section, key, value, kHistoryFileName);
}

HistoryMenu ValueHistory::MenuFor(std::string_view history_key, std::string_view current_text) const {
  HistoryMenu menu;
  const std::string section(history_key);
  for (int i = 0; i < kHistoryDepth; ++i) {
    std::string value = Read(section, ValueKey(i));
    if (!value.empty()) {
      menu[i] = {std::move(value), true};
    } else if (i == 0) {
      menu[i] = {std::string(current_text), true};
    }
  }
  return menu;
}

std::string ValueHistory::SelectValue(std::string_view form_name, FormControlView& InputControl,
                                      const HistoryMenuChooser& choose) const {
  std::string chosen = InputControl.Text();
  HistoryMenu menu = MenuFor(HistoryKey(form_name, InputControl.Name()), chosen);
  if (std::optional<int> item = choose(menu);
      item && *item >= 0 && *item < kHistoryDepth && menu[*item].visible) {
    chosen = menu[*item].text;
  }
  InputControl.SetText(chosen);
  return chosen;
}

void ValueHistory::GetLastValues(FormView& aForm) const {
  const std::string form_name = aForm.Name();
  for (FormControlView* control : aForm.Controls()) {
    const std::string name = control->Name();
    if (name == "cboMachine") continue;  // the machine list cannot be typed into
    const std::string section = HistoryKey(form_name, name);
    switch (control->Kind()) {
      case ControlKind::text_box: {
        std::string last = Read(section, ValueKey(0));
        if (!last.empty())
          control->SetText(last);
        else if (name == "txtOrderNum")
          control->SetText("0");
        break;
      }
      case ControlKind::drop_down_list: {
        std::string last = Read(section, kComboKey);
        if (!last.empty()) control->SetText(last);
        break;
      }
      case ControlKind::other:
        break;
    }
  }
}

bool ValueHistory::UpdateTextBox(const std::string& section, const std::string& text) const {
  const std::string fresh = StoredForm(text);
  std::array<std::string, kHistoryDepth> stored;
  for (int i = 0; i < kHistoryDepth; ++i) stored[i] = Read(section, ValueKey(i));
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
    if (!Write(section, ValueKey(i), list[i])) return false;
  return true;
}

bool ValueHistory::UpdateValues(const FormView& aForm) const {
  const std::string form_name = aForm.Name();
  // A file that cannot be written fails every write alike: stop at the first.
  for (const FormControlView* control : aForm.Controls()) {
    const std::string section = HistoryKey(form_name, control->Name());
    switch (control->Kind()) {
      case ControlKind::drop_down_list:
        if (!Write(section, kComboKey, StoredForm(control->Text()))) return false;
        break;
      case ControlKind::text_box:
        if (!UpdateTextBox(section, control->Text())) return false;
        break;
      case ControlKind::other:
        break;
    }
  }
  return true;
}

}  // namespace tarvik::testprogram
