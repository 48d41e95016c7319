// The key filter of the marked number fields: a typed character passes when it is a digit or '-';
// any other typed character is dropped with a beep. Keys that type no printable character (Tab,
// Enter, Escape, Backspace, Delete, arrows, Home/End) and shortcuts with Ctrl or Alt always pass, so
// the filter never stands in the way of moving through the form or editing; text put in by the
// history or pasted passes unfiltered.
//
// Install it on the widget that receives the key events: the line edit itself, or the drop-down list
// of an editable QComboBox (the list hands keys to its line edit directly, past any filter there).
// Threads: the UI thread.
#pragma once

#include <QObject>

namespace tarvik::testprogram {

class UserPrompts;

class DigitKeyFilter final : public QObject {
  Q_OBJECT
 public:
  // `prompts` beeps; it must outlive the filter.
  DigitKeyFilter(UserPrompts& prompts, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  UserPrompts& prompts_;
};

}  // namespace tarvik::testprogram
