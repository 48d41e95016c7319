// frmHistory: the popup menu behind the history buttons of the send forms. The window is never shown;
// it owns the menu mnuHistory "History" with ten items mnuValue (index 0 to 9) and runs the value
// history of the core (SelectValue, GetLastValues, UpdateValues) for the forms.
// Threads: the UI thread. SelectValue returns after the menu has closed.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "testprogram/core/value_history.h"

class QAction;
class QMenu;

namespace tarvik::testprogram {

class frmHistory final : public QWidget {
  Q_OBJECT
 public:
  // Shows the menu and returns the chosen item, or nullptr when it was closed without a choice. The
  // default pops the menu up at the mouse pointer; tests choose for the user.
  using Popup = std::function<QAction*(QMenu& menu)>;

  // `files` must outlive the window.
  explicit frmHistory(const ProgramFiles& files, QWidget* parent = nullptr);

  // Offers the stored values of `input` (a text box of `form`) and puts the chosen one into it.
  void SelectValue(QWidget* form, QWidget* input);
  void GetLastValues(FormView& aForm) const { history_.GetLastValues(aForm); }
  void UpdateValues(const FormView& aForm) const { history_.UpdateValues(aForm); }

  QMenu* Menu() const { return mnuHistory_; }
  void SetPopup(Popup popup) { popup_ = std::move(popup); }

 private:
  ValueHistory history_;
  QMenu* mnuHistory_;
  std::array<QAction*, kHistoryDepth> mnuValue_{};
  Popup popup_;
};

}  // namespace tarvik::testprogram
