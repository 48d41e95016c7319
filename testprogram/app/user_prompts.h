// Message boxes and beeps of the program, behind an interface so that tests can answer them.
// Texts are shown as given; "\r\n" line breaks are kept as the program's messages write them.
// Threads: the UI thread.
#pragma once

#include <QString>

class QWidget;

namespace tarvik::testprogram {

class UserPrompts {
 public:
  enum class Icon { none, exclamation, critical };

  virtual ~UserPrompts() = default;
  // A message with an OK button only.
  virtual void inform(QWidget* parent, const QString& title, const QString& text, Icon icon = Icon::none) = 0;
  // A question with Yes and No buttons and the exclamation icon; true for Yes.
  virtual bool ask_yes_no(QWidget* parent, const QString& title, const QString& text) = 0;
  // The system beep (a key dropped by a key filter).
  virtual void beep() = 0;
};

// Real message boxes (QMessageBox) and QApplication::beep().
class MessageBoxPrompts final : public UserPrompts {
 public:
  void inform(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
  bool ask_yes_no(QWidget* parent, const QString& title, const QString& text) override;
  void beep() override;
};

}  // namespace tarvik::testprogram
