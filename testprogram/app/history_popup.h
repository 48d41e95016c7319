// frmHistory: the popup menu behind the history buttons of the send forms. The window is never shown;
// it owns the menu mnuHistory "History" with ten items mnuValue (index 0 to 9) and runs the value
// history of the core (SelectValue, GetLastValues, UpdateValues) for the forms.
// The menu pops up at the mouse pointer when the history button was clicked with the mouse, and at the
// button's lower left corner when it was pressed from the keyboard (the pointer may be anywhere then).
// Threads: the UI thread. SelectValue returns after the menu has closed.
#pragma once

#include <QWidget>
#include <array>
#include <QPoint>
#include <functional>

#include "testprogram/core/value_history.h"

class QAction;
class QMenu;

namespace tarvik::testprogram {

class frmHistory final : public QWidget {
  Q_OBJECT
 public:
  // Shows the menu at `where` (global coordinates) and returns the chosen item, or nullptr when it was
  // closed without a choice. Tests choose for the user.
  using Popup = std::function<QAction*(QMenu& menu, const QPoint& where)>;

  // `files` must outlive the window.
  explicit frmHistory(const ProgramFiles& files, QWidget* parent = nullptr);

  // Offers the stored values of `input` (a text box of `form`) and puts the chosen one into it;
  // `button` is the history button that was pressed.
  void select_value(QWidget* form, QWidget* input, const QWidget* button);
  void get_last_values(FormView& aForm) const { history_.get_last_values(aForm); }
  // False when History.ini could not be written.
  bool update_values(const FormView& aForm) const { return history_.update_values(aForm); }

  QMenu* menu() const { return mnuHistory_; }
  void set_popup(Popup popup) { popup_ = std::move(popup); }

 private:
  ValueHistory history_;
  QMenu* mnuHistory_;
  std::array<QAction*, kHistoryDepth> mnuValue_{};
  Popup popup_;
};

}  // namespace tarvik::testprogram
