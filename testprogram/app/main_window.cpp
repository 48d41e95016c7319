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
#include <set>

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
  std::u16string Text() const override { return text_; }
  void ShowText(std::u16string text, std::size_t) override {
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
  double TextWidth(std::string_view text) const override {
    return box_->fontMetrics().horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  }
  double AvailableWidth() const override { return std::max(0, box_->viewport()->width()); }

 private:
  QPlainTextEdit* box_;
};

frmRpcTarvikTest::frmRpcTarvikTest(ProgramContext context) : context_(std::move(context)) {
  setObjectName(QStringLiteral("frmRpcTarvikTest"));
  setWindowTitle(QStringLiteral("RPC TARVIK Testprogram"));

  txtRPC_ = new QPlainTextEdit(this);
  txtRPC_->setObjectName(QStringLiteral("txtRPC"));
  txtRPC_->setReadOnly(true);
  txtRPC_->setLineWrapMode(QPlainTextEdit::NoWrap);
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
  CreateMenu();

  context_.machines->SetEventHandler([this](int instance, com::DispId event, std::span<const com::Variant> args) {
    OnMachineEvent(instance, event, args);
  });
}

frmRpcTarvikTest::~frmRpcTarvikTest() {
  context_.machines->SetEventHandler({});
  context_.machines->RemoveAll();
}

void frmRpcTarvikTest::CreateMenu() {
  QMenu* rpc = menuBar()->addMenu(QStringLiteral("RPC to RPC-TARVIK"));
  rpc->setObjectName(QStringLiteral("mnuRpcToVELD_RPC"));
  // Separator lines mnuT1 to mnuT4 stand before these telegrams.
  const std::set<std::string> group_starts = {"C_TPORDER_M", "R_DDEDATA_M", "C_ORDER_M", "R_MESSAGE_M"};
  int separator = 0;
  for (const SendFormDescription& d : SendFormDescriptions()) {
    if (group_starts.contains(d.telegram)) {
      QAction* line = rpc->addSeparator();
      line->setObjectName(QStringLiteral("mnuT%1").arg(++separator));
    }
    QAction* item = rpc->addAction(QString::fromStdString(d.telegram));
    item->setObjectName(QString::fromStdString("mnu" + d.telegram));
    const std::string telegram = d.telegram;
    connect(item, &QAction::triggered, this, [this, telegram] { OpenSendForm(telegram); });
  }
  QAction* settings = menuBar()->addAction(QStringLiteral("Settings"));
  settings->setObjectName(QStringLiteral("mnuSettings"));
  connect(settings, &QAction::triggered, this, [this] { OpenSettings(); });

  QMenu* log = menuBar()->addMenu(QStringLiteral("LogFile"));
  log->setObjectName(QStringLiteral("mnuLogFile"));
  QAction* clear = log->addAction(QStringLiteral("Clear LogFile"));
  clear->setObjectName(QStringLiteral("mnuClearLogFile"));
  connect(clear, &QAction::triggered, this, &frmRpcTarvikTest::ClearLogFile);
  QAction* view = log->addAction(QStringLiteral("View LogFile"));
  view->setObjectName(QStringLiteral("mnuViewLogFile"));
  connect(view, &QAction::triggered, this, &frmRpcTarvikTest::ViewLogFile);

  QAction* exit = menuBar()->addAction(QStringLiteral("Exit"));
  exit->setObjectName(QStringLiteral("mnuExit"));
  connect(exit, &QAction::triggered, this, &frmRpcTarvikTest::Exit);
}

void frmRpcTarvikTest::StartUp() {
  FormSize size;
  if (ReadFormSize(context_.files, size)) return;
  // Twips are 1/1440 inch.
  const auto pixels = [](std::int32_t twips, int dpi) { return std::max(1, static_cast<int>(twips * std::int64_t{dpi} / 1440)); };
  resize(pixels(size.Width, logicalDpiX()), pixels(size.Height, logicalDpiY()));

  if (const std::optional<SettingsProblem> problem = LoadSettings(context_.files, settings_)) {
    // The start-up ends here; say why, or the program would run without its controls unexplained.
    Prompts().Inform(this, QString::fromUtf8(kProgramTitle), QString::fromStdString(problem->Message()),
                     UserPrompts::Icon::exclamation);
    return;
  }
  InitMachines();
}

bool frmRpcTarvikTest::InitMachines() {
  MachineControls& m = Machines();
  const int count = settings_.ConfiguredMachineCount();
  for (int i = 1; i <= kMaxMachineInstances; ++i) {
    if (i > count) {
      (void)m.Remove(i);  // an instance that does not exist is no failure
      continue;
    }
    if (!m.Exists(i) && com::failed(m.Create(i))) continue;
    // A property the control refuses leaves that instance as it is; the others are configured.
    const MachineEntry& e = settings_.Machines[i - 1];
    (void)m.PutProperty(i, machine_dispid::MachineID, com::Variant::bstr(com::BStr::from_utf8(e.MachineID)));
    (void)m.PutProperty(i, machine_dispid::MachineIP, com::Variant::bstr(com::BStr::from_utf8(e.MachineIP)));
    (void)m.PutProperty(i, machine_dispid::MachinePort, com::Variant::i4(e.MachinePort));
    (void)m.PutProperty(i, machine_dispid::MachineTimeout, com::Variant::i2(e.MachineTimeout));
  }
  if (com::failed(m.PutProperty(1, machine_dispid::HostID, com::Variant::bstr(com::BStr::from_utf8(settings_.HostID)))) ||
      com::failed(m.PutProperty(1, machine_dispid::HostPort, com::Variant::i4(settings_.HostPort))))
    return false;

  const com::HRESULT hr = m.PutProperty(1, machine_dispid::HostEnabled, com::Variant::boolean(settings_.HostEnabled));
  if (com::failed(hr)) {
    settings_.HostEnabled = false;  // in memory only; the file keeps its value until the next OK
    const int code = static_cast<int>(static_cast<std::uint32_t>(hr) & 0x7FFF);
    Prompts().Inform(this, QStringLiteral("ERROR"),
                     QStringLiteral("Error nr: %1 during host enabling,\r\n"
                                    "Probable another host is already running on thy some port !\r\n"
                                    "HostEnabled will be set to false in the host configuration")
                         .arg(code));
  }
  return true;
}

SendForm* frmRpcTarvikTest::OpenSendForm(const std::string& telegram) {
  const SendFormDescription* d = FindSendForm(telegram);
  if (!d) return nullptr;
  QPointer<SendForm>& form = send_forms_[telegram];
  if (!form) form = new SendForm(*d, *this);
  form->show();
  form->raise();
  form->activateWindow();
  return form;
}

frmRpcTarvikConfig* frmRpcTarvikTest::OpenSettings() {
  if (!config_) config_ = new frmRpcTarvikConfig(settings_, [this] { ApplySettings(); }, this);
  config_->show();
  config_->raise();
  config_->activateWindow();
  return config_;
}

void frmRpcTarvikTest::ApplySettings() {
  (void)SaveSettings(context_.files, settings_);
  InitMachines();
}

IncomingForm* frmRpcTarvikTest::OpenIncomingForm(const std::string& telegram) const {
  const auto it = incoming_forms_.find(telegram);
  return it == incoming_forms_.end() ? nullptr : it->second.data();
}

frmHistory& frmRpcTarvikTest::History() {
  if (!history_) history_ = new frmHistory(context_.files, this);  // never shown
  return *history_;
}

void frmRpcTarvikTest::SaveSetting(const char* section, const std::string& key, const std::string& value) {
  (void)WriteIniValue(context_.files, section, key, value);
}

void frmRpcTarvikTest::SetStatusText(const QString& text) { panel1_->setText(text); }

QString frmRpcTarvikTest::StatusText() const { return panel1_->text(); }

std::unique_ptr<clsRpcData> frmRpcTarvikTest::NewCallRecord() {
  return std::make_unique<clsRpcData>(measure_.get(), context_.clock);
}

void frmRpcTarvikTest::LogRecord(clsRpcData& record) { logger_->LogRpcData(record); }

void frmRpcTarvikTest::RememberValues(const FormView& form) { History().UpdateValues(form); }

void frmRpcTarvikTest::OnMachineEvent(int instance, com::DispId event, std::span<const com::Variant> args) {
  const IncomingFormDescription* d = FindIncomingFormByEvent(event);
  if (!d || instance < 1 || instance > kMachineTableSize) return;  // ShutdownH, RxREPORTxH2: nothing
  const std::string& machine = settings_.Machines[instance - 1].MachineID;

  if (const std::int16_t* popup = settings_.PopupFlag(d->telegram); popup && *popup != 0) {
    QPointer<IncomingForm>& form = incoming_forms_[d->telegram];
    if (!form) form = new IncomingForm(*d, *this);
    form->ShowTelegram(machine, args);
    form->show();
    form->raise();
  }

  std::unique_ptr<clsRpcData> record = NewCallRecord();
  record->SetRpcName(d->telegram);
  com::Variant order;
  if (!args.empty()) (void)com::change_type(args[0], com::VT_I4, &order);
  record->AddRpcParam("OrderNum", order.as_i4());
  record->AddRpcParam("Machine", machine);
  record->AddRpcParam("Host", settings_.HostID);
  for (auto& [name, value] : RecordEntries(*d, args)) record->AddRpcParam(name, std::move(value));
  if (settings_.IsTraced(d->trace_partner)) LogRecord(*record);
}

void frmRpcTarvikTest::ViewLogFile() {
  const QString path = QString::fromStdString(context_.files.LogFile().string());
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    const QString editor = qEnvironmentVariable(variable);
    if (!editor.isEmpty() && QProcess::startDetached(editor, {path})) return;
  }
  // Failures are ignored.
}

void frmRpcTarvikTest::ClearLogFile() {
  logger_->ClearLogFile();
  SetStatusText(QString());
}

void frmRpcTarvikTest::Exit() {
  if (Prompts().AskYesNo(this, QString::fromUtf8(kProgramTitle), QStringLiteral("Would you like to end the program?\n")))
    close();
}

void frmRpcTarvikTest::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program: every other window closes and the controls go.
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (w->isWindow() && w != this) w->close();
  context_.machines->RemoveAll();
  event->accept();
}

}  // namespace tarvik::testprogram
