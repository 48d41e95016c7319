// The core's view of a form (FormView) over Qt widgets: text boxes are QLineEdit or QPlainTextEdit,
// drop-down lists QComboBox; anything else counts as "other". Names are the widgets' object names.
// Threads: the UI thread. The widgets must outlive the views.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "testprogram/core/form_view.h"

namespace tarvik::testprogram {

class QtControlView final : public FormControlView {
 public:
  explicit QtControlView(QWidget* widget) : widget_(widget) {}
  std::string name() const override;
  ControlKind kind() const override;
  std::string text() const override;
  void set_text(const std::string& text) override;
  QWidget* widget() const { return widget_; }

 private:
  QPointer<QWidget> widget_;
};

// The text of a text box or list as the program reads it (UTF-8); "" for other widgets.
std::string widget_text(const QWidget* widget);
void set_widget_text(QWidget* widget, const QString& text);

class QtFormView final : public FormView {
 public:
  // `controls` in the form's control order.
  QtFormView(QWidget* form, const std::vector<QWidget*>& controls);
  std::string name() const override;
  std::vector<FormControlView*> controls() const override;

 private:
  QPointer<QWidget> form_;
  std::vector<std::unique_ptr<QtControlView>> controls_;
};

}  // namespace tarvik::testprogram
