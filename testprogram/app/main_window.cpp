#include "testprogram/app/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStatusBar>
#include <QUrl>

#include "testprogram/app/config_window.h"
#include "testprogram/app/history_popup.h"
#include "testprogram/app/incoming_form.h"
#include "testprogram/app/send_form.h"
#include "testprogram/app/status_panels.h"
#include "testprogram/app/user_prompts.h"
#include "testprogram/core/ansi_text.h"
#include "testprogram/core/ini_values.h"

namespace tarvik::testprogram {

// txtRPC as the logger's echo box. The logger works on CR LF text; the widget shows plain lines, so
// the box keeps the logger's text itself and shows a copy.
class frmRpcTarvikTest::EchoBox final : public RpcEchoBox {
 public:
  explicit EchoBox(QPlainTextEdit* box) : box_(box) {}
  std::u16string text() const override { return text_; }
  void show_text(std::u16string text, std::size_t) override {
    text_ = std::move(text);
    QString shown = QString::fromStdU16String(text_);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box_->setPlainText(shown);
    box_->moveCursor(QTextCursor::End);  // the box shows its end
    box_->verticalScrollBar()->setValue(box_->verticalScrollBar()->maximum());
  }

 private:
  QPlainTextEdit* box_;
  std::u16string text_;
};

// Line widths in txtRPC's font against the width txtRPC has now, so records wrap as the box would.
class frmRpcTarvikTest::EchoMeasure final : public TextMeasure {
 public:
  explicit EchoMeasure(QPlainTextEdit* box) : box_(box) {}
  double text_width(std::string_view text) const override {
    return box_->fontMetrics().horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  }
  // The width lines may take without a horizontal scroll bar: the viewport less the document's
  // margins and the caret, and less the vertical scroll bar while that has not appeared yet (it
  // appears as the box fills and must not push the lines already written out of view).
  double available_width() const override {
    int width = box_->viewport()->width() - 2 * static_cast<int>(box_->document()->documentMargin()) -
                box_->cursorWidth() - 1;
    if (!box_->verticalScrollBar()->isVisible()) width -= box_->verticalScrollBar()->sizeHint().width();
    return std::max(0, width);
  }

 private:
  QPlainTextEdit* box_;
};

frmRpcTarvikTest::frmRpcTarvikTest(ProgramContext context) : context_(std::move(context)) {
  setObjectName(QStringLiteral("frmRpcTarvikTest"));
  setWindowTitle(QStringLiteral("RPC TARVIK Testprogram"));

  txtRPC_ = new QPlainTextEdit(this);
  txtRPC_->setObjectName(QStringLiteral("txtRPC"));
  txtRPC_->setReadOnly(true);
  // Records break their lines themselves, against the visible width (EchoMeasure); a single value
  // wider than the box (a list of ten numbers in a narrow window) wraps on screen instead of hiding
  // its end behind a horizontal scroll bar.
  txtRPC_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  txtRPC_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  txtRPC_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setCentralWidget(txtRPC_);  // top left, client width, client height less the status bar

  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("stbStatusBar"));
  bar->setSizeGripEnabled(false);
  panel1_ = new QLabel(bar);
  panel1_->setObjectName(QStringLiteral("pnlStatus"));
  panel1_->setTextFormat(Qt::PlainText);
  bar->addWidget(panel1_, 1);
  new StatusPanels(bar);
  setStatusBar(bar);

  echo_ = std::make_unique<EchoBox>(txtRPC_);
  measure_ = std::make_unique<EchoMeasure>(txtRPC_);
  logger_ = std::make_unique<modLogen>(context_.files, settings_, echo_.get());
  create_menu();

  context_.machines->set_event_handler([this](int instance, com::DispId event, std::span<const com::Variant> args) {
    on_machine_event(instance, event, args);
  });
}

frmRpcTarvikTest::~frmRpcTarvikTest() {
  context_.machines->set_event_handler({});
  context_.machines->remove_all();
}

void frmRpcTarvikTest::create_menu() {
  QMenu* rpc = menuBar()->addMenu(QStringLiteral("&RPC to RPC-TARVIK"));
  rpc->setObjectName(QStringLiteral("mnuRpcToVELD_RPC"));
  // Separator lines mnuT1, mnuT2, ... stand before the forms that start a group.
  int separator = 0;
  for (const SendFormDescription& d : send_form_descriptions()) {
    if (d.separator_before) {
      QAction* line = rpc->addSeparator();
      line->setObjectName(QStringLiteral("mnuT%1").arg(++separator));
    }
    QAction* item = rpc->addAction(QString::fromStdString(d.telegram));
    item->setObjectName(QString::fromStdString("mnu" + d.telegram));
    const std::string telegram = d.telegram;
    connect(item, &QAction::triggered, this, [this, telegram] { open_send_form(telegram); });
  }
  QAction* settings = menuBar()->addAction(QStringLiteral("&Settings"));
  settings->setObjectName(QStringLiteral("mnuSettings"));
  connect(settings, &QAction::triggered, this, [this] { open_settings(); });

  QMenu* log = menuBar()->addMenu(QStringLiteral("&LogFile"));
  log->setObjectName(QStringLiteral("mnuLogFile"));
  QAction* clear = log->addAction(QStringLiteral("&Clear LogFile"));
  clear->setObjectName(QStringLiteral("mnuClearLogFile"));
  connect(clear, &QAction::triggered, this, &frmRpcTarvikTest::clear_log_file);
  QAction* view = log->addAction(QStringLiteral("&View LogFile"));
  view->setObjectName(QStringLiteral("mnuViewLogFile"));
  connect(view, &QAction::triggered, this, &frmRpcTarvikTest::view_log_file);

  QAction* exit = menuBar()->addAction(QStringLiteral("E&xit"));
  exit->setObjectName(QStringLiteral("mnuExit"));
  connect(exit, &QAction::triggered, this, &frmRpcTarvikTest::exit);
}

void frmRpcTarvikTest::start_up() {
  // A value that stops the start-up is told, or the program would run without its controls
  // unexplained; a send then says again why there is no control.
  const auto stop = [this](const SettingsProblem& problem) {
    start_up_problem_ = QString::fromStdString(problem.message());
    prompts().inform(this, QString::fromUtf8(kProgramTitle), start_up_problem_, UserPrompts::Icon::exclamation);
  };
  FormSize size;
  if (const std::optional<SettingsProblem> problem = read_form_size(context_.files, size)) return stop(*problem);
  // Twips are 1/1440 inch.
  const auto pixels = [](std::int32_t twips, int dpi) { return std::max(1, static_cast<int>(twips * std::int64_t{dpi} / 1440)); };
  resize(pixels(size.Width, logicalDpiX()), pixels(size.Height, logicalDpiY()));

  if (const std::optional<SettingsProblem> problem = load_settings(context_.files, settings_)) return stop(*problem);
  init_machines();
}

bool frmRpcTarvikTest::init_machines() {
  MachineControls& m = machines();
  const int count = settings_.configured_machine_count();
  start_up_problem_.clear();
  missing_control_reasons_.clear();
  QStringList not_created;
  QString failure;
  for (int i = 1; i <= kMaxMachineInstances; ++i) {
    if (i > count) {
      (void)m.remove(i);  // an instance that does not exist is no failure
      continue;
    }
    if (!m.exists(i)) {
      if (const com::HRESULT hr = m.create(i); com::failed(hr)) {
        failure = QString::fromStdString(m.create_failure_text(hr));
        missing_control_reasons_[i] = QStringLiteral("Its Machine control could not be created: %1.").arg(failure);
        not_created << QStringLiteral("%1 (%2)").arg(i).arg(QString::fromStdString(settings_.Machines[i - 1].MachineID));
        continue;
      }
    }
    // A property the control refuses leaves that instance as it is; the others are configured.
    const MachineEntry& e = settings_.Machines[i - 1];
    (void)m.put_property(i, machine_dispid::MachineID, com::Variant::bstr(com::BStr::from_utf8(e.MachineID)));
    (void)m.put_property(i, machine_dispid::MachineIP, com::Variant::bstr(com::BStr::from_utf8(e.MachineIP)));
    (void)m.put_property(i, machine_dispid::MachinePort, com::Variant::i4(e.MachinePort));
    (void)m.put_property(i, machine_dispid::MachineTimeout, com::Variant::i2(e.MachineTimeout));
  }
  if (!not_created.isEmpty())
    prompts().inform(this, QString::fromUtf8(kProgramTitle),
                     QStringLiteral("The Machine control could not be created for machine %1:\r\n%2.\r\n"
                                    "Telegrams to %3 cannot be sent.")
                         .arg(not_created.join(QStringLiteral(", ")), failure,
                              not_created.size() == 1 ? QStringLiteral("this machine") : QStringLiteral("these machines")),
                     UserPrompts::Icon::exclamation);
  if (com::failed(m.put_property(1, machine_dispid::HostID, com::Variant::bstr(com::BStr::from_utf8(settings_.HostID)))) ||
      com::failed(m.put_property(1, machine_dispid::HostPort, com::Variant::i4(settings_.HostPort))))
    return false;

  const com::HRESULT hr = m.put_property(1, machine_dispid::HostEnabled, com::Variant::boolean(settings_.HostEnabled));
  if (com::failed(hr)) {
    settings_.HostEnabled = false;  // in memory only; the file keeps its value until the next OK
    const int code = static_cast<int>(static_cast<std::uint32_t>(hr) & 0x7FFF);
    prompts().inform(this, QStringLiteral("ERROR"),
                     QStringLiteral("Error nr: %1 during host enabling,\r\n"
                                    "Probable another host is already running on thy some port !\r\n"
                                    "HostEnabled will be set to false in the host configuration")
                         .arg(code));
  }
  return true;
}

SendForm* frmRpcTarvikTest::open_send_form(const std::string& telegram) {
  const SendFormDescription* d = find_send_form(telegram);
  if (!d) return nullptr;
  QPointer<SendForm>& form = send_forms_[telegram];
  if (!form) form = new SendForm(*d, *this);
  form->show();
  form->raise();
  form->activateWindow();
  return form;
}

frmRpcTarvikConfig* frmRpcTarvikTest::open_settings() {
  if (!config_)
    config_ = new frmRpcTarvikConfig(settings_, [this] { apply_settings(); }, this,
                                     QString::fromStdString(context_.files.describe_locations()));
  config_->show();
  config_->raise();
  config_->activateWindow();
  return config_;
}

void frmRpcTarvikTest::apply_settings() {
  if (const std::optional<SettingsProblem> problem = save_settings(context_.files, settings_))
    tell_write_failure(problem->file, QStringLiteral("The settings apply until the program ends, but are not kept."));
  init_machines();
}

void frmRpcTarvikTest::tell_write_failure(const std::filesystem::path& file, const QString& consequence) {
  if (!write_failures_told_.insert(file).second) return;
  prompts().inform(this, QString::fromUtf8(kProgramTitle),
                   QStringLiteral("%1 could not be written.\r\n%2\r\nThe program goes on; this is told once.")
                       .arg(QString::fromStdString(file.string()), consequence),
                   UserPrompts::Icon::exclamation);
}

IncomingForm* frmRpcTarvikTest::open_incoming_form(const std::string& telegram) const {
  const auto it = incoming_forms_.find(telegram);
  return it == incoming_forms_.end() ? nullptr : it->second.data();
}

frmHistory& frmRpcTarvikTest::history() {
  if (!history_) history_ = new frmHistory(context_.files, this);  // never shown
  return *history_;
}

void frmRpcTarvikTest::save_setting(const char* section, const std::string& key, const std::string& value) {
  if (!write_ini_value(context_.files, section, key, value))
    tell_write_failure(context_.files.settings_file(),
                     QStringLiteral("The setting %1 applies until the program ends, but is not kept.")
                         .arg(QString::fromStdString(key)));
}

void frmRpcTarvikTest::set_status_text(const QString& text) { panel1_->setText(text); }

QString frmRpcTarvikTest::missing_control_reason(int instance) const {
  if (const auto it = missing_control_reasons_.find(instance); it != missing_control_reasons_.end()) return it->second;
  if (!start_up_problem_.isEmpty()) return QStringLiteral("The start-up stopped before the controls were set up:\r\n") + start_up_problem_;
  return QStringLiteral("It has no Machine control.");
}

QString frmRpcTarvikTest::status_text() const { return panel1_->text(); }

std::unique_ptr<clsRpcData> frmRpcTarvikTest::new_call_record() {
  return std::make_unique<clsRpcData>(measure_.get(), context_.clock);
}

void frmRpcTarvikTest::log_record(clsRpcData& record) {
  switch (logger_->log_rpc_data(record)) {
    case LogAppend::not_written:
      tell_write_failure(context_.files.log_file(),
                       QStringLiteral("Calls are shown in the window but not written to the log file."));
      break;
    case LogAppend::written_rotation_failed:
      tell_write_failure(context_.files.backup_file(),
                       QStringLiteral("The log file could not become the backup and grows beyond its limit."));
      break;
    case LogAppend::written:
    case LogAppend::written_and_rotated:
      break;
  }
}

void frmRpcTarvikTest::remember_values(const FormView& form) {
  if (!history().update_values(form))
    tell_write_failure(context_.files.history_file(),
                     QStringLiteral("The telegram was sent, but its values are not remembered for the next time."));
}

void frmRpcTarvikTest::on_machine_event(int instance, com::DispId event, std::span<const com::Variant> args) {
  const IncomingFormDescription* d = find_incoming_form_by_event(event);
  if (!d || instance < 1 || instance > kMachineTableSize) return;  // ShutdownH, RxREPORTxH2: nothing
  const std::string& machine = settings_.Machines[instance - 1].MachineID;

  if (const std::int16_t* popup = settings_.popup_flag(d->telegram); popup && *popup != 0) {
    QPointer<IncomingForm>& form = incoming_forms_[d->telegram];
    if (!form) form = new IncomingForm(*d, *this);
    form->show_telegram(machine, args);
    form->show();
    form->raise();
  }

  std::unique_ptr<clsRpcData> record = new_call_record();
  record->set_rpc_name(d->telegram);
  com::Variant order;
  if (!args.empty()) (void)com::change_type(args[0], com::VT_I4, &order);
  record->add_rpc_param("OrderNum", order.as_i4());
  record->add_rpc_param("Machine", machine);
  record->add_rpc_param("Host", settings_.HostID);
  for (auto& [name, value] : record_entries(*d, args)) record->add_rpc_param(name, std::move(value));
  if (settings_.is_traced(d->trace_partner)) log_record(*record);
}

bool open_in_viewer(const QString& path) {
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    const QString editor = qEnvironmentVariable(variable);
    if (!editor.isEmpty() && QProcess::startDetached(editor, {path})) return true;
  }
  return false;
}

void frmRpcTarvikTest::view_log_file() {
  QString path = QString::fromStdString(context_.files.log_file().string());
  std::error_code error;
  // With a small LogFileSize the newest records may all sit in the backup.
  if (!std::filesystem::exists(context_.files.log_file(), error) &&
      std::filesystem::exists(context_.files.backup_file(), error))
    path = QString::fromStdString(context_.files.backup_file().string());
  if (!std::filesystem::exists(path.toStdString(), error)) {
    prompts().inform(this, QString::fromUtf8(kProgramTitle),
                     QStringLiteral("There is no log file yet:\r\n%1\r\nIt is written with the first call that is "
                                    "traced.")
                         .arg(path));
    return;
  }
  if (context_.open_viewer && context_.open_viewer(path)) return;
  prompts().inform(this, QString::fromUtf8(kProgramTitle),
                   QStringLiteral("No program to view the log file was found (neither a desktop application for "
                                  "text files nor $VISUAL or $EDITOR).\r\nThe log file is %1")
                       .arg(path),
                   UserPrompts::Icon::exclamation);
}

void frmRpcTarvikTest::clear_log_file() {
  logger_->clear_log_file();
  set_status_text(QString());
}

void frmRpcTarvikTest::exit() {
  if (prompts().ask_yes_no(this, QString::fromUtf8(kProgramTitle), QStringLiteral("Would you like to end the program?\n")))
    close();
}

void frmRpcTarvikTest::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program: every other window closes and the controls go.
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (w->isWindow() && w != this) w->close();
  context_.machines->remove_all();
  event->accept();
}

}  // namespace tarvik::testprogram
