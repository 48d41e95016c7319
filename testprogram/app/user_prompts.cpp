#include "testprogram/app/user_prompts.h"

#include <QApplication>
#include <QMessageBox>

namespace tarvik::testprogram {

void MessageBoxPrompts::inform(QWidget* parent, const QString& title, const QString& text, Icon icon) {
  const QMessageBox::Icon shown = icon == Icon::exclamation ? QMessageBox::Warning
                                  : icon == Icon::critical  ? QMessageBox::Critical
                                                            : QMessageBox::NoIcon;
  QMessageBox box(shown, title, text, QMessageBox::Ok, parent);
  box.exec();
}

bool MessageBoxPrompts::ask_yes_no(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompts::beep() { QApplication::beep(); }

}  // namespace tarvik::testprogram
