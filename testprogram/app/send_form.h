// A send form (frmT_DATA_M, frmC_ORDER_M, ...), built from its description: machine list, OrderNum,
// the telegram's fields with their history buttons, OK and Cancel. Created by the main window,
// shown modeless, owned by it, deleted when closed (every opening starts from the defaults and the
// history).
//
// OK converts the fields (an input error keeps the form open with its values, focuses the field and
// names it in the status bar), calls the telegram method of the chosen machine's control (wait
// cursor, OK disabled and the status bar telling what goes where while the call lasts), shows the
// result in the status bar, logs the call record when the trace flags say so, stores the values in
// the history and closes the form. A machine without a control is told as such, not as an input
// error.
// Threads: the UI thread.
#pragma once

#include <QDialog>
#include <vector>

#include "testprogram/app/send_form_description.h"
#include "testprogram/app/send_form_input.h"

class QComboBox;
class QPushButton;

namespace tarvik::testprogram {

class FormHost;

class SendForm final : public QDialog {
  Q_OBJECT
 public:
  SendForm(const SendFormDescription& description, FormHost& host);

  const SendFormDescription& description() const { return description_; }
  // The controls in the form's control order: cboMachine, txtOrderNum, the fields, then the buttons.
  const std::vector<QWidget*>& controls() const { return controls_; }

 public slots:
  void on_ok();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build();
  void load();
  void put_current_date_and_time();
  QWidget* add_field(const SendField& field);
  QWidget* control(const std::string& name) const;
  void show_input_error(const QString& text);
  void show_field_error(const InputError& error);

  const SendFormDescription& description_;
  FormHost& host_;
  QComboBox* cboMachine_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  std::vector<QWidget*> controls_;
};

}  // namespace tarvik::testprogram
