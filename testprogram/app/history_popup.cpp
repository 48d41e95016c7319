#include "testprogram/app/history_popup.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

#include "testprogram/app/qt_form_view.h"

namespace tarvik::testprogram {

frmHistory::frmHistory(const ProgramFiles& files, QWidget* parent)
    : QWidget(parent), history_(files), mnuHistory_(new QMenu(QStringLiteral("History"), this)) {
  setObjectName(QStringLiteral("frmHistory"));
  setWindowFlags(Qt::Window);  // a window of its own that is never shown, not a child of its owner
  mnuHistory_->setObjectName(QStringLiteral("mnuHistory"));
  for (int i = 0; i < kHistoryDepth; ++i) {
    mnuValue_[i] = mnuHistory_->addAction(QStringLiteral("?"));
    mnuValue_[i]->setObjectName(QStringLiteral("mnuValue"));
    mnuValue_[i]->setProperty("index", i);
  }
  popup_ = [](QMenu& menu, const QPoint& where) { return menu.exec(where); };
}

void frmHistory::select_value(QWidget* form, QWidget* input, const QWidget* button) {
  QtControlView control(input);
  QPoint where = QCursor::pos();
  if (button && !button->rect().contains(button->mapFromGlobal(where)))
    where = button->mapToGlobal(button->rect().bottomLeft());  // pressed from the keyboard
  const auto choose = [this, where](const HistoryMenu& items) -> std::optional<int> {
    for (int i = 0; i < kHistoryDepth; ++i) {
      // Stored values are plain text: an '&' must not turn into a mnemonic.
      QString text = QString::fromStdString(items[i].text);
      mnuValue_[i]->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
      mnuValue_[i]->setVisible(items[i].visible);
    }
    QAction* chosen = popup_(*mnuHistory_, where);
    if (!chosen) return std::nullopt;
    return chosen->property("index").toInt();
  };
  history_.select_value(form->objectName().toStdString(), control, choose);
}

}  // namespace tarvik::testprogram
