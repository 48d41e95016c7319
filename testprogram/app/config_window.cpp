#include "testprogram/app/config_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {
namespace {

const char* const kTimeoutItems[] = {" 0 - MIN", " 1", " 2", " 3", " 4", " 5 - DEFAULT", " 6", " 7", " 8", " 9 - MAX"};

// Marks a control with the letter of its page.
template <class W>
W* Tagged(W* w, const char* page, const QString& name = {}) {
  w->setProperty("tag", QString::fromLatin1(page));
  if (!name.isEmpty()) w->setObjectName(name);
  return w;
}

// The leading decimal number of a text, rounded half to even; 0 for a text that does not begin with
// one, nothing when it does not fit in 32 bits.
std::optional<std::int32_t> LeadingNumber(const QString& text) { return RoundToInt32(ValueOfText(text.toStdString())); }

QString Name(std::string_view prefix, std::string_view telegram) {
  return QString::fromLatin1(prefix.data(), static_cast<int>(prefix.size())) +
         QString::fromLatin1(telegram.data(), static_cast<int>(telegram.size()));
}

}  // namespace

frmRpcTarvikConfig::frmRpcTarvikConfig(Settings& settings, Apply apply, QWidget* parent)
    : QDialog(parent), settings_(settings), apply_(std::move(apply)) {
  setObjectName(QStringLiteral("frmRpcTarvikConfig"));
  setWindowTitle(QStringLiteral("Settings"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto* outer = new QVBoxLayout(this);
  tabConfig_ = new QTabWidget(this);
  tabConfig_->setObjectName(QStringLiteral("tabConfig"));
  tabConfig_->addTab(BuildHostPage(), QStringLiteral("&Host"));
  tabConfig_->addTab(BuildMachinePage(), QStringLiteral("&Machine"));
  tabConfig_->addTab(BuildTracePage(), QStringLiteral("&Trace"));
  tabConfig_->addTab(BuildPopupPage(), QStringLiteral("&Popup on RPC"));
  outer->addWidget(tabConfig_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("&OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  cancel->setAutoDefault(false);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  outer->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &frmRpcTarvikConfig::OnOK);
  connect(cancel, &QPushButton::clicked, this, &QWidget::close);

  Load();
}

QWidget* frmRpcTarvikConfig::BuildHostPage() {
  auto* page = new QWidget;
  auto* frame = Tagged(new QGroupBox(QStringLiteral("Host:"), page), "H");
  auto* form = new QFormLayout(frame);
  txtHostID_ = Tagged(new QLineEdit(frame), "H", QStringLiteral("txtHostID"));
  txtHostPort_ = Tagged(new QLineEdit(frame), "H", QStringLiteral("txtHostPort"));
  chkHostEnabled_ = Tagged(new QCheckBox(frame), "H", QStringLiteral("chkHostEnabled"));
  lblMachineCount_ = Tagged(new QLabel(frame), "H", QStringLiteral("lblMachineCount"));
  hsbMachineCount_ = Tagged(new QScrollBar(Qt::Horizontal, frame), "H", QStringLiteral("hsbMachineCount"));
  hsbMachineCount_->setRange(1, kMachineTableSize);
  hsbMachineCount_->setPageStep(1);
  form->addRow(QStringLiteral("Host&ID:"), txtHostID_);
  form->addRow(QStringLiteral("HostPo&rt:"), txtHostPort_);
  lblHostPortError_ = Tagged(new QLabel(QStringLiteral("HostPort must be a whole number."), frame), "H",
                             QStringLiteral("lblHostPortError"));
  lblHostPortError_->setStyleSheet(QStringLiteral("color: #b00000"));
  lblHostPortError_->hide();
  form->addRow(QString(), lblHostPortError_);
  form->addRow(QStringLiteral("Host&Enabled:"), chkHostEnabled_);
  auto* count = new QHBoxLayout;
  lblMachineCount_->setMinimumWidth(24);
  count->addWidget(lblMachineCount_);
  count->addWidget(hsbMachineCount_, 1);
  auto* count_caption = new QLabel(QStringLiteral("&Number of Machines:"), frame);
  count_caption->setBuddy(hsbMachineCount_);
  form->addRow(count_caption, count);
  connect(hsbMachineCount_, &QScrollBar::valueChanged, this, &frmRpcTarvikConfig::SetMachineCount);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

QWidget* frmRpcTarvikConfig::BuildMachinePage() {
  auto* page = new QWidget;
  auto* frame = Tagged(new QGroupBox(QStringLiteral("Machine"), page), "M");
  auto* form = new QFormLayout(frame);
  lblMachine_ = Tagged(new QLabel(frame), "M", QStringLiteral("lblMachine"));
  hsbMachine_ = Tagged(new QScrollBar(Qt::Horizontal, frame), "M", QStringLiteral("hsbMachine"));
  hsbMachine_->setPageStep(1);
  lblCount_ = Tagged(new QLabel(frame), "M", QStringLiteral("lblCount"));
  txtMachineID_ = Tagged(new QLineEdit(frame), "M", QStringLiteral("txtMachineID"));
  txtMachineIP_ = Tagged(new QLineEdit(frame), "M", QStringLiteral("txtMachineIP"));
  txtMachinePort_ = Tagged(new QLineEdit(frame), "M", QStringLiteral("txtMachinePort"));
  cboMachineTimeout_ = Tagged(new QComboBox(frame), "M", QStringLiteral("cboMachineTimeout"));
  auto* machine = new QHBoxLayout;
  lblMachine_->setMinimumWidth(24);
  machine->addWidget(lblMachine_);
  machine->addWidget(hsbMachine_, 1);
  auto* machine_caption = new QLabel(QStringLiteral("M&achine:"), frame);
  machine_caption->setBuddy(hsbMachine_);
  form->addRow(machine_caption, machine);
  form->addRow(QStringLiteral("Count:"), lblCount_);
  form->addRow(QStringLiteral("MachineI&D:"), txtMachineID_);
  form->addRow(QStringLiteral("Machine&IP:"), txtMachineIP_);
  form->addRow(QStringLiteral("MachinePo&rt:"), txtMachinePort_);
  form->addRow(QStringLiteral("MachineTimeo&ut:"), cboMachineTimeout_);
  connect(hsbMachine_, &QScrollBar::valueChanged, this, &frmRpcTarvikConfig::ShowMachine);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

QWidget* frmRpcTarvikConfig::BuildTracePage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  chkTraceAll_ = Tagged(new QCheckBox(QStringLiteral("Trace &all"), page), "T", QStringLiteral("chkTraceAll"));
  layout->addWidget(chkTraceAll_);
  connect(chkTraceAll_, &QCheckBox::toggled, this, &frmRpcTarvikConfig::UpdateTraceFrames);

  auto* frames = new QHBoxLayout;
  fraRpcToVELD_RPC_ = Tagged(new QGroupBox(QStringLiteral("RPC to RPC-TARVIK"), page), "T",
                             QStringLiteral("fraRpcToVELD_RPC"));
  fraRpcFromVELD_RPC_ = Tagged(new QGroupBox(QStringLiteral("RPC from RPC-TARVIK"), page), "T",
                               QStringLiteral("fraRpcFromVELD_RPC"));
  auto* to = new QGridLayout(fraRpcToVELD_RPC_);
  auto* from = new QVBoxLayout(fraRpcFromVELD_RPC_);
  int sent = 0;
  for (std::string_view key : kTraceFlagKeys) {
    const bool outgoing = key.ends_with("_M");
    QGroupBox* frame = outgoing ? fraRpcToVELD_RPC_ : fraRpcFromVELD_RPC_;
    auto* box = Tagged(new QCheckBox(Name("", key), frame), "T", Name("chk", key));
    if (outgoing) {
      to->addWidget(box, sent % 8, sent / 8);
      ++sent;
    } else {
      from->addWidget(box);
    }
    trace_checks_[std::string(key)] = box;
  }
  frames->addWidget(fraRpcToVELD_RPC_, 2);
  frames->addWidget(fraRpcFromVELD_RPC_, 1);
  layout->addLayout(frames);

  auto* size = new QHBoxLayout;
  auto* size_caption = Tagged(new QLabel(QStringLiteral("&LogFileSize:"), page), "T");
  size->addWidget(size_caption);
  txtLogFileSize_ = Tagged(new QLineEdit(page), "T", QStringLiteral("txtLogFileSize"));
  size_caption->setBuddy(txtLogFileSize_);
  txtLogFileSize_->setMaximumWidth(90);
  size->addWidget(txtLogFileSize_);
  size->addWidget(Tagged(new QLabel(QStringLiteral("kByte"), page), "T"));
  size->addStretch(1);
  layout->addLayout(size);
  return page;
}

QWidget* frmRpcTarvikConfig::BuildPopupPage() {
  auto* page = new QWidget;
  auto* frame = Tagged(new QGroupBox(QStringLiteral("Popup on:"), page), "P");
  auto* grid = new QGridLayout(frame);
  int n = 0;
  for (std::string_view telegram : kPopupFlagTelegrams) {
    auto* box = Tagged(new QCheckBox(Name("", telegram), frame), "P", Name("chk", popup_flag_key(telegram)));
    grid->addWidget(box, n % 5, n / 5);
    ++n;
    popup_checks_[std::string(telegram)] = box;
  }
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

void frmRpcTarvikConfig::Load() {
  tabConfig_->setCurrentIndex(0);
  txtHostID_->setText(QString::fromStdString(settings_.HostID));
  txtHostPort_->setText(QString::number(settings_.HostPort));
  chkHostEnabled_->setChecked(settings_.HostEnabled);

  std::copy(settings_.Machines.begin(), settings_.Machines.end(), working_.begin());
  for (const char* item : kTimeoutItems) cboMachineTimeout_->addItem(QString::fromLatin1(item));
  // A count outside what the scroll bar can show is shown clamped; OK then writes the clamped value.
  const int count = std::clamp<int>(settings_.MachineCount, 1, kMachineTableSize);
  hsbMachineCount_->setValue(count);
  SetMachineCount(count);

  chkTraceAll_->setChecked(settings_.TraceAll != 0);
  for (auto& [telegram, box] : trace_checks_) box->setChecked(*settings_.TraceFlag(telegram) != 0);
  for (auto& [telegram, box] : popup_checks_) box->setChecked(*settings_.PopupFlag(telegram) != 0);
  txtLogFileSize_->setText(QString::number(settings_.LogFileSize));
  UpdateTraceFrames();

  hsbMachine_->setValue(1);
  ShowMachine(1);
}

void frmRpcTarvikConfig::SetMachineCount(int count) {
  machine_count_ = count;
  lblMachineCount_->setText(QString::number(count));
  lblCount_->setText(QString::number(count));
  hsbMachine_->setRange(1, count);  // clamps the shown machine, which stores the page first
}

void frmRpcTarvikConfig::StoreMachinePage() {
  if (shown_machine_ < 1) return;
  MachineEntry& e = working_[shown_machine_ - 1];
  e.MachineID = txtMachineID_->text().toStdString();
  e.MachineIP = txtMachineIP_->text().toStdString();
  if (!txtMachinePort_->text().isEmpty())
    if (const auto port = LeadingNumber(txtMachinePort_->text())) e.MachinePort = *port;
  e.MachineTimeout = static_cast<std::int16_t>(std::max(0, cboMachineTimeout_->currentIndex()));
}

void frmRpcTarvikConfig::ShowMachine(int n) {
  if (n == shown_machine_) return;
  StoreMachinePage();
  shown_machine_ = n;
  const MachineEntry& e = working_[n - 1];
  lblMachine_->setText(QString::number(n));
  txtMachineID_->setText(QString::fromStdString(e.MachineID));
  txtMachineIP_->setText(QString::fromStdString(e.MachineIP));
  txtMachinePort_->setText(QString::number(e.MachinePort));
  cboMachineTimeout_->setCurrentIndex(std::clamp<int>(e.MachineTimeout, 0, 9));
}

void frmRpcTarvikConfig::UpdateTraceFrames() {
  // With "Trace all" the single flags do not matter; they keep their ticks and are still saved.
  const bool single_flags = !chkTraceAll_->isChecked();
  fraRpcToVELD_RPC_->setEnabled(single_flags);
  fraRpcFromVELD_RPC_->setEnabled(single_flags);
}

void frmRpcTarvikConfig::OnOK() {
  StoreMachinePage();
  // A host port that is no number would leave the settings half taken over; keep the window open
  // with every edit instead, so nothing is lost and nothing is half applied.
  const std::optional<std::int32_t> port = WholeTextToInt32(txtHostPort_->text().toStdString());
  if (!port) {
    tabConfig_->setCurrentIndex(0);
    lblHostPortError_->show();
    txtHostPort_->setFocus();
    txtHostPort_->selectAll();
    return;
  }
  settings_.HostID = txtHostID_->text().toStdString();
  settings_.HostPort = *port;
  settings_.HostEnabled = chkHostEnabled_->isChecked();
  for (int i = 0; i < machine_count_; ++i) settings_.Machines[i] = working_[i];
  settings_.MachineCount = static_cast<std::int16_t>(machine_count_);
  settings_.TraceAll = chkTraceAll_->isChecked() ? 1 : 0;
  for (auto& [telegram, box] : trace_checks_) *settings_.TraceFlag(telegram) = box->isChecked() ? 1 : 0;
  if (!txtLogFileSize_->text().isEmpty())
    if (const auto size = LeadingNumber(txtLogFileSize_->text())) settings_.LogFileSize = *size;
  for (auto& [telegram, box] : popup_checks_) *settings_.PopupFlag(telegram) = box->isChecked() ? 1 : 0;
  if (apply_) apply_();
  close();
}

}  // namespace tarvik::testprogram
