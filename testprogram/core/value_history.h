// The value history of the send forms, kept in History.ini in the program's directory.
//
// Section per field: the form's name and the control's name without their three-letter prefixes,
// joined by '_' (txtName1 on frmC_ORDER_M -> [C_ORDER_M_Name1]).
//   text boxes:      Value_0 (newest) .. Value_9, distinct values; empty means no entry
//   drop-down lists: Combo_Value, the last text
// A text with a line break (the multi-line fields) is stored up to its first line break, so every value
// stays on its own line and no value can make keys or sections of its own. Stored values are what
// GetIniValue reads back (the code page and the 499-character cut applied), so a value compares equal
// to its stored copy and the ten entries stay distinct.
//
// Nothing is cached: every call reads the file. UpdateValues reports a file it could not write (the
// history then stays as it was); telling the user is the caller's business. Threads: the program's UI
// thread.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "testprogram/core/form_view.h"
#include "testprogram/core/program_files.h"

namespace tarvik::testprogram {

inline constexpr int kHistoryDepth = 10;

struct HistoryMenuItem {
  std::string text;
  bool visible = false;
};
using HistoryMenu = std::array<HistoryMenuItem, kHistoryDepth>;

// Shows the menu (as a popup at the mouse pointer) and returns the chosen item's position, or nothing
// when the menu was closed without a choice. Returns only after the menu has closed.
using HistoryMenuChooser = std::function<std::optional<int>(const HistoryMenu&)>;

class ValueHistory {
 public:
  explicit ValueHistory(const ProgramFiles& files);  // `files` must outlive the history

  // The section name of a control of a form.
  static std::string history_key(std::string_view form_name, std::string_view control_name);
  // What the history stores for a field's text.
  static std::string stored_form(std::string_view text);

  // The menu for a field: item i shows Value_i when it is not empty; item 0 shows `current_text`
  // when Value_0 is empty; the other empty items are hidden.
  HistoryMenu menu_for(std::string_view history_key, std::string_view current_text) const;

  // Offers the stored values of InputControl (a text box of form `form_name`) and puts the chosen one
  // into it; a menu closed without a choice leaves the text as it was. Returns the chosen value.
  std::string select_value(std::string_view form_name, FormControlView& InputControl,
                          const HistoryMenuChooser& choose) const;

  // Sets every text box and drop-down list of aForm but "cboMachine" to its last value sent; fields
  // without history keep their text, except "txtOrderNum", which falls back to "0".
  void get_last_values(FormView& aForm) const;

  // Stores aForm's current values as the newest entries: each drop-down list's text as Combo_Value;
  // each text box's text moved to (or put at) Value_0, the others following in their order. False
  // when History.ini could not be written (it stops at the first failed write).
  bool update_values(const FormView& aForm) const;

 private:
  std::string read(const std::string& section, const std::string& key) const;
  bool write(const std::string& section, const std::string& key, const std::string& value) const;
  bool update_text_box(const std::string& section, const std::string& text) const;

  const ProgramFiles& files_;
};

}  // namespace tarvik::testprogram
