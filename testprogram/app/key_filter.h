// The key filter of the marked number fields: a typed character passes when it is a digit, '-' or
// Backspace; any other typed character is dropped with a beep. Keys that type nothing (arrows, Delete)
// and shortcuts with Ctrl or Alt are left alone: the filter judges typed characters only, and text
// put in by the history or pasted passes unfiltered.
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
