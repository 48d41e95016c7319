#include "testprogram/app/send_form.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "testprogram/app/form_host.h"
#include "testprogram/app/history_popup.h"
#include "testprogram/app/key_filter.h"
#include "testprogram/app/mnemonics.h"
#include "testprogram/app/value_widths.h"
#include "testprogram/app/qt_form_view.h"
#include "testprogram/app/send_form_input.h"
#include "testprogram/app/user_prompts.h"

namespace tarvik::testprogram {
namespace {

const QString kCorrectInput = QStringLiteral("Please, correct input.");
// The run-time error of a call to a method the object does not have.
constexpr int kUnsupportedMethodError = 438;

QLabel* make_caption(MnemonicAssigner& mnemonics, const std::string& text, int index, QWidget* parent) {
  auto* label = new QLabel(mnemonics.mark(QString::fromStdString(text)), parent);
  label->setObjectName(QStringLiteral("lblText"));
  label->setProperty("index", index);
  return label;
}

void select_all_of(QWidget* field) {
  if (auto* e = qobject_cast<QLineEdit*>(field)) e->selectAll();
  if (auto* p = qobject_cast<QPlainTextEdit*>(field)) p->selectAll();
  if (auto* c = qobject_cast<QComboBox*>(field); c && c->lineEdit()) c->lineEdit()->selectAll();
}

// While a telegram is under way: wait cursor, OK disabled, the status bar says what goes where. The
// call blocks the UI thread (the control's methods are synchronous, and the control must be used on
// the thread that created it), so the event loop cannot paint this; the widgets are painted now,
// before the call. Incoming telegrams wait in the host queue meanwhile and are raised by the event
// loop right after, in their order.
class SendingState {
 public:
  SendingState(FormHost& host, QWidget* form, QWidget* ok, const QString& status)
      : machines_(host.machines()), ok_(ok), had_focus_(ok->hasFocus()) {
    machines_.hold_events(true);  // sync() below runs the event loop once
    ok_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    host.set_status_text(status);
    if (QWidget* main = host.main_window(); main && main->isVisible()) main->repaint();
    if (form->isVisible()) form->repaint();
    QGuiApplication::sync();  // the display shows cursor and paint before the thread blocks
  }
  ~SendingState() {
    machines_.hold_events(false);
    QApplication::restoreOverrideCursor();
    ok_->setEnabled(true);
    if (had_focus_) ok_->setFocus();  // disabling it moved the focus on
  }
  SendingState(const SendingState&) = delete;
  SendingState& operator=(const SendingState&) = delete;

 private:
  MachineControls& machines_;
  QWidget* ok_;
  bool had_focus_;
};

}  // namespace

SendForm::SendForm(const SendFormDescription& description, FormHost& host)
    : QDialog(host.main_window()), description_(description), host_(host) {
  setObjectName(QString::fromStdString(description.form));
  setWindowTitle(QString::fromStdString(description.telegram + "()"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  build();
  load();
}

QWidget* SendForm::control(const std::string& name) const {
  for (QWidget* w : controls_)
    if (w->objectName().toStdString() == name) return w;
  return nullptr;
}

void SendForm::build() {
  auto* outer = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  outer->addLayout(grid);
  auto* filter = new DigitKeyFilter(host_.prompts(), this);
  int caption_index = 0;
  MnemonicAssigner mnemonics;
  mnemonics.reserve(QLatin1Char('O'));  // &OK
  if (description_.has_cancel) mnemonics.reserve(QLatin1Char('C'));  // &Cancel

  cboMachine_ = new QComboBox(this);
  cboMachine_->setObjectName(QStringLiteral("cboMachine"));
  cboMachine_->setEditable(false);
  QLabel* machine_caption = make_caption(mnemonics, "Machine:", caption_index++, this);
  machine_caption->setBuddy(cboMachine_);
  grid->addWidget(machine_caption, 0, 0);
  grid->addWidget(cboMachine_, 0, 1);
  controls_.push_back(cboMachine_);

  // OrderNum has the same shape in every form: a filtered number field with its history button.
  SendField order;
  order.control = "txtOrderNum";
  order.caption = "OrderNum:";
  order.history_button = description_.order_num_button;
  order.kind = FieldKind::number;
  order.default_text = "0";
  order.keys_filtered = true;
  std::vector<const SendField*> fields = {&order};
  for (const SendField& f : description_.fields) fields.push_back(&f);

  int row = 0;
  QHBoxLayout* line = nullptr;
  for (const SendField* f : fields) {
    QLabel* caption = nullptr;
    if (f->new_row) {
      ++row;
      line = new QHBoxLayout;
      caption = make_caption(mnemonics, f->caption, caption_index++, this);
      grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignTop);
      grid->addLayout(line, row, 1);
    } else if (!f->caption.empty()) {
      line->addSpacing(8);
      caption = make_caption(mnemonics, f->caption, caption_index++, this);
      line->addWidget(caption);
    }
    QWidget* input = add_field(*f);
    if (caption) caption->setBuddy(input);
    line->addWidget(input, 1);
    // An editable list hands typed keys straight to its line edit, past any filter there.
    if (f->keys_filtered) input->installEventFilter(filter);
    if (!f->history_button.empty()) {
      auto* button = new QPushButton(QStringLiteral("..."), this);
      button->setObjectName(QString::fromStdString(f->history_button));
      button->setAutoDefault(false);
      button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 12);
      line->addWidget(button);
      connect(button, &QPushButton::clicked, this,
              [this, input, button] { host_.history().select_value(this, input, button); });
      controls_.push_back(button);
    }
  }

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = cmdOK_ = new QPushButton(QStringLiteral("&OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  buttons->addWidget(ok);
  connect(ok, &QPushButton::clicked, this, &SendForm::on_ok);
  controls_.push_back(ok);
  if (description_.has_cancel) {
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);
    buttons->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    controls_.push_back(cancel);
  }
  outer->addLayout(buttons);
  grid->setColumnStretch(1, 1);
  // The layout's minimum keeps every box whole (an explicit minimum width would override it, and
  // the automatic size caps a window at two thirds of the screen).
  const int width = description_.fields.size() > 6 ? 560 : 420;
  resize(sizeHint().expandedTo(minimumSizeHint()).expandedTo(QSize(width, 0)));
}

QWidget* SendForm::add_field(const SendField& field) {
  QWidget* w = nullptr;
  switch (field.kind) {
    case FieldKind::choice:
    case FieldKind::whole_number: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      for (const std::string& entry : field.choices) combo->addItem(QString::fromStdString(entry));
      combo->setCurrentIndex(combo->findText(QString::fromStdString(field.default_text)));
      if (field.kind == FieldKind::choice && field.control == "cboSFkt" && description_.field("txtParameter1"))
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
          if (is_date_and_time_code(combo->itemText(index).toStdString())) put_current_date_and_time();
        });
      w = combo;
      break;
    }
    default:
      if (field.multi_line) {
        auto* box = new QPlainTextEdit(QString::fromStdString(field.default_text), this);
        box->setTabChangesFocus(true);
        box->setFixedHeight(box->fontMetrics().lineSpacing() * 3 + 12);
        w = box;
      } else {
        w = new QLineEdit(QString::fromStdString(field.default_text), this);
        // A number box shows the widest number it can take.
        if (field.kind != FieldKind::text) w->setMinimumWidth(line_edit_width_for(*static_cast<QLineEdit*>(w), kWidestNumber));
      }
  }
  w->setObjectName(QString::fromStdString(field.control));
  controls_.push_back(w);
  return w;
}

void SendForm::load() {
  const Settings& s = host_.current_settings();
  for (int i = 0; i < s.configured_machine_count(); ++i)
    cboMachine_->addItem(QString::fromStdString(s.Machines[i].MachineID));
  cboMachine_->setCurrentIndex(0);

  QtFormView view(this, controls_);
  host_.history().get_last_values(view);

  if (QWidget* sfkt = control("cboSFkt"); sfkt && control("txtParameter1") && is_date_and_time_code(widget_text(sfkt)))
    put_current_date_and_time();
}

void SendForm::put_current_date_and_time() {
  const std::string now = format_general_date(host_.now(), host_.date_format());
  set_widget_text(control("txtParameter1"), QString::fromStdString(now));
}

void SendForm::show_input_error(const QString& text) {
  host_.prompts().inform(this, QString::fromUtf8(kProgramTitle), text);
}

void SendForm::show_field_error(const InputError& error) {
  // The message stays as it is; the field that failed takes the focus, selected, and the status bar
  // names it.
  QWidget* field = control(error.control);
  if (field) {
    if (error.invalid_date) set_widget_text(field, QString());
    field->setFocus(Qt::OtherFocusReason);
    select_all_of(field);
  }
  host_.set_status_text(QString::fromStdString(description_.telegram + "    not sent: please correct " +
                                             field_name(error.control)));
  show_input_error(kCorrectInput);
}

void SendForm::keyPressEvent(QKeyEvent* event) {
  // Escape presses Cancel; a form without Cancel closes only with OK or its close box.
  if (event->key() == Qt::Key_Escape && !description_.has_cancel) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SendForm::on_ok() {
  const std::string& telegram = description_.telegram;
  std::int32_t ret = 0;
  std::string machine_name;
  SendInput input;
  try {
    const int instance = cboMachine_->currentIndex() + 1;
    auto read = read_send_input(
        description_, [this](const std::string& name) { return widget_text(control(name)); }, host_.date_format());
    if (auto* error = std::get_if<InputError>(&read)) {
      show_field_error(*error);
      return;
    }
    input = std::move(std::get<SendInput>(read));
    machine_name = cboMachine_->currentText().toStdString();
    const QString machine = QString::fromStdString(machine_name);
    const QString name = QString::fromStdString(telegram);

    // No control for the machine: nothing to correct in the form, so say what is missing instead.
    if (!host_.machines().exists(instance)) {
      host_.set_status_text(QStringLiteral("%1    not sent: %2 has no control").arg(name, machine));
      host_.prompts().inform(this, QString::fromUtf8(kProgramTitle),
                             QStringLiteral("%1 was not sent: machine %2 (%3) has no Machine control.\r\n%4")
                                 .arg(name)
                                 .arg(instance)
                                 .arg(machine, host_.missing_control_reason(instance)),
                             UserPrompts::Icon::exclamation);
      return;
    }

    com::Variant result;
    com::HRESULT hr;
    {
      SendingState sending(host_, this, cmdOK_,
                           QStringLiteral("%1    sending to %2 ...").arg(name, machine));
      hr = host_.machines().call(instance, description_.method_dispid, input.args, &result);
    }
    if (com::failed(hr)) {
      host_.set_status_text(QStringLiteral("%1    not sent").arg(name));
      if (description_.unsupported_method_detail && hr == com::DISP_E_MEMBERNOTFOUND)
        show_input_error(QStringLiteral("Fehler: %1\r\nObject doesn't support this property or method")
                           .arg(kUnsupportedMethodError));
      else
        show_input_error(kCorrectInput);
      return;
    }
    com::Variant as_number;
    if (com::failed(com::change_type(result, com::VT_I4, &as_number))) {
      host_.set_status_text(QStringLiteral("%1    Ret = ?").arg(name));
      show_input_error(kCorrectInput);
      return;
    }
    ret = as_number.as_i4();
  } catch (const std::exception&) {
    show_input_error(kCorrectInput);
    return;
  }

  // The telegram has gone out. Whatever fails from here on must not read as an input error: the user
  // would correct nothing and send the same order a second time.
  host_.set_status_text(QString::fromStdString(status_text(telegram, ret)));
  try {
    std::unique_ptr<clsRpcData> record = host_.new_call_record();
    record->set_rpc_name(telegram, ret);
    record->add_rpc_param("OrderNum", input.order_num);
    record->add_rpc_param("Machine", machine_name);
    record->add_rpc_param("Host", host_.current_settings().HostID);
    for (auto& [name, value] : input.entries) record->add_rpc_param(name, value);
    if (host_.current_settings().is_traced(telegram)) host_.log_record(*record);
    QtFormView view(this, controls_);
    host_.remember_values(view);
  } catch (const std::exception& e) {
    host_.prompts().inform(
        this, QString::fromUtf8(kProgramTitle),
        QStringLiteral("The telegram %1 was sent (Ret = %2),\r\nbut logging it or storing the values failed:\r\n%3\r\n"
                       "Do not send it again.")
            .arg(QString::fromStdString(telegram))
            .arg(ret)
            .arg(QString::fromUtf8(e.what())),
        UserPrompts::Icon::exclamation);
  }
  close();
}

}  // namespace tarvik::testprogram
