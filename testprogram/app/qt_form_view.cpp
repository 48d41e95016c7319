#include "testprogram/app/qt_form_view.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace tarvik::testprogram {

std::string widget_text(const QWidget* widget) {
  if (auto* e = qobject_cast<const QLineEdit*>(widget)) return e->text().toStdString();
  if (auto* p = qobject_cast<const QPlainTextEdit*>(widget)) return p->toPlainText().toStdString();
  if (auto* c = qobject_cast<const QComboBox*>(widget)) return c->currentText().toStdString();
  return {};
}

void set_widget_text(QWidget* widget, const QString& text) {
  if (auto* e = qobject_cast<QLineEdit*>(widget)) {
    e->setText(text);
  } else if (auto* p = qobject_cast<QPlainTextEdit*>(widget)) {
    p->setPlainText(text);
  } else if (auto* c = qobject_cast<QComboBox*>(widget)) {
    if (c->isEditable()) {
      c->setEditText(text);
    } else if (const int i = c->findText(text); i >= 0) {
      c->setCurrentIndex(i);
    }
  }
}

std::string QtControlView::name() const { return widget_ ? widget_->objectName().toStdString() : std::string(); }

ControlKind QtControlView::kind() const {
  if (qobject_cast<const QLineEdit*>(widget_) || qobject_cast<const QPlainTextEdit*>(widget_))
    return ControlKind::text_box;
  if (qobject_cast<const QComboBox*>(widget_)) return ControlKind::drop_down_list;
  return ControlKind::other;
}

std::string QtControlView::text() const { return widget_text(widget_); }

void QtControlView::set_text(const std::string& text) {
  if (widget_) set_widget_text(widget_, QString::fromStdString(text));
}

QtFormView::QtFormView(QWidget* form, const std::vector<QWidget*>& controls) : form_(form) {
  for (QWidget* w : controls) controls_.push_back(std::make_unique<QtControlView>(w));
}

std::string QtFormView::name() const { return form_ ? form_->objectName().toStdString() : std::string(); }

std::vector<FormControlView*> QtFormView::controls() const {
  std::vector<FormControlView*> out;
  for (const auto& c : controls_) out.push_back(c.get());
  return out;
}

}  // namespace tarvik::testprogram
