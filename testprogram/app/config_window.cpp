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
W* tagged(W* w, const char* page, const QString& name = {}) {
  w->setProperty("tag", QString::fromLatin1(page));
  if (!name.isEmpty()) w->setObjectName(name);
  return w;
}

// The leading decimal number of a text, rounded half to even; 0 for a text that does not begin with
// one, nothing when it does not fit in 32 bits.
std::optional<std::int32_t> leading_number(const QString& text) { return round_to_int32(value_of_text(text.toStdString())); }

QString name(std::string_view prefix, std::string_view telegram) {
  return QString::fromLatin1(prefix.data(), static_cast<int>(prefix.size())) +
         QString::fromLatin1(telegram.data(), static_cast<int>(telegram.size()));
}

}  // namespace

frmRpcTarvikConfig::frmRpcTarvikConfig(Settings& settings, Apply apply, QWidget* parent,
                                       const QString& file_locations)
    : QDialog(parent), settings_(settings), apply_(std::move(apply)) {
  setObjectName(QStringLiteral("frmRpcTarvikConfig"));
  setWindowTitle(QStringLiteral("Settings"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto* outer = new QVBoxLayout(this);
  tabConfig_ = new QTabWidget(this);
  tabConfig_->setObjectName(QStringLiteral("tabConfig"));
  tabConfig_->addTab(build_host_page(), QStringLiteral("&Host"));
  tabConfig_->addTab(build_machine_page(), QStringLiteral("&Machine"));
  tabConfig_->addTab(build_trace_page(file_locations), QStringLiteral("&Trace"));
  tabConfig_->addTab(build_popup_page(), QStringLiteral("&Popup on RPC"));
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
  connect(ok, &QPushButton::clicked, this, &frmRpcTarvikConfig::on_ok);
  connect(cancel, &QPushButton::clicked, this, &QWidget::close);

  load();
}

QWidget* frmRpcTarvikConfig::build_host_page() {
  auto* page = new QWidget;
  auto* frame = tagged(new QGroupBox(QStringLiteral("Host:"), page), "H");
  auto* form = new QFormLayout(frame);
  txtHostID_ = tagged(new QLineEdit(frame), "H", QStringLiteral("txtHostID"));
  txtHostPort_ = tagged(new QLineEdit(frame), "H", QStringLiteral("txtHostPort"));
  chkHostEnabled_ = tagged(new QCheckBox(frame), "H", QStringLiteral("chkHostEnabled"));
  lblMachineCount_ = tagged(new QLabel(frame), "H", QStringLiteral("lblMachineCount"));
  hsbMachineCount_ = tagged(new QScrollBar(Qt::Horizontal, frame), "H", QStringLiteral("hsbMachineCount"));
  hsbMachineCount_->setRange(1, kMachineTableSize);
  hsbMachineCount_->setPageStep(1);
  form->addRow(QStringLiteral("Host&ID:"), txtHostID_);
  form->addRow(QStringLiteral("HostPo&rt:"), txtHostPort_);
  lblHostPortError_ = tagged(new QLabel(QStringLiteral("HostPort must be a whole number."), frame), "H",
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
  connect(hsbMachineCount_, &QScrollBar::valueChanged, this, &frmRpcTarvikConfig::set_machine_count);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

QWidget* frmRpcTarvikConfig::build_machine_page() {
  auto* page = new QWidget;
  auto* frame = tagged(new QGroupBox(QStringLiteral("Machine"), page), "M");
  auto* form = new QFormLayout(frame);
  lblMachine_ = tagged(new QLabel(frame), "M", QStringLiteral("lblMachine"));
  hsbMachine_ = tagged(new QScrollBar(Qt::Horizontal, frame), "M", QStringLiteral("hsbMachine"));
  hsbMachine_->setPageStep(1);
  lblCount_ = tagged(new QLabel(frame), "M", QStringLiteral("lblCount"));
  txtMachineID_ = tagged(new QLineEdit(frame), "M", QStringLiteral("txtMachineID"));
  txtMachineIP_ = tagged(new QLineEdit(frame), "M", QStringLiteral("txtMachineIP"));
  txtMachinePort_ = tagged(new QLineEdit(frame), "M", QStringLiteral("txtMachinePort"));
  cboMachineTimeout_ = tagged(new QComboBox(frame), "M", QStringLiteral("cboMachineTimeout"));
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
  connect(hsbMachine_, &QScrollBar::valueChanged, this, &frmRpcTarvikConfig::show_machine);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

QWidget* frmRpcTarvikConfig::build_trace_page(const QString& file_locations) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  chkTraceAll_ = tagged(new QCheckBox(QStringLiteral("Trace &all"), page), "T", QStringLiteral("chkTraceAll"));
  layout->addWidget(chkTraceAll_);
  connect(chkTraceAll_, &QCheckBox::toggled, this, &frmRpcTarvikConfig::update_trace_frames);

  auto* frames = new QHBoxLayout;
  fraRpcToVELD_RPC_ = tagged(new QGroupBox(QStringLiteral("RPC to RPC-TARVIK"), page), "T",
                             QStringLiteral("fraRpcToVELD_RPC"));
  fraRpcFromVELD_RPC_ = tagged(new QGroupBox(QStringLiteral("RPC from RPC-TARVIK"), page), "T",
                               QStringLiteral("fraRpcFromVELD_RPC"));
  auto* to = new QGridLayout(fraRpcToVELD_RPC_);
  auto* from = new QVBoxLayout(fraRpcFromVELD_RPC_);
  int sent = 0;
  for (std::string_view key : kTraceFlagKeys) {
    const bool outgoing = key.ends_with("_M");
    QGroupBox* frame = outgoing ? fraRpcToVELD_RPC_ : fraRpcFromVELD_RPC_;
    auto* box = tagged(new QCheckBox(name("", key), frame), "T", name("chk", key));
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
  auto* size_caption = tagged(new QLabel(QStringLiteral("&LogFileSize:"), page), "T");
  size->addWidget(size_caption);
  txtLogFileSize_ = tagged(new QLineEdit(page), "T", QStringLiteral("txtLogFileSize"));
  size_caption->setBuddy(txtLogFileSize_);
  txtLogFileSize_->setMaximumWidth(90);
  size->addWidget(txtLogFileSize_);
  size->addWidget(tagged(new QLabel(QStringLiteral("kByte"), page), "T"));
  size->addStretch(1);
  layout->addLayout(size);

  if (!file_locations.isEmpty()) {
    auto* files = tagged(new QLabel(file_locations, page), "T", QStringLiteral("lblFiles"));
    files->setTextFormat(Qt::PlainText);  // paths are shown as they are, never as markup
    files->setTextInteractionFlags(Qt::TextSelectableByMouse);
    files->setWordWrap(true);
    layout->addWidget(files);
  }
  return page;
}

QWidget* frmRpcTarvikConfig::build_popup_page() {
  auto* page = new QWidget;
  auto* frame = tagged(new QGroupBox(QStringLiteral("Popup on:"), page), "P");
  auto* grid = new QGridLayout(frame);
  int n = 0;
  for (std::string_view telegram : kPopupFlagTelegrams) {
    auto* box = tagged(new QCheckBox(name("", telegram), frame), "P", name("chk", popup_flag_key(telegram)));
    grid->addWidget(box, n % 5, n / 5);
    ++n;
    popup_checks_[std::string(telegram)] = box;
  }
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

void frmRpcTarvikConfig::load() {
  tabConfig_->setCurrentIndex(0);
  txtHostID_->setText(QString::fromStdString(settings_.HostID));
  txtHostPort_->setText(QString::number(settings_.HostPort));
  chkHostEnabled_->setChecked(settings_.HostEnabled);

  std::copy(settings_.Machines.begin(), settings_.Machines.end(), working_.begin());
  for (const char* item : kTimeoutItems) cboMachineTimeout_->addItem(QString::fromLatin1(item));
  // A count outside what the scroll bar can show is shown clamped; OK then writes the clamped value.
  const int count = std::clamp<int>(settings_.MachineCount, 1, kMachineTableSize);
  hsbMachineCount_->setValue(count);
  set_machine_count(count);

  chkTraceAll_->setChecked(settings_.TraceAll != 0);
  for (auto& [telegram, box] : trace_checks_) box->setChecked(*settings_.trace_flag(telegram) != 0);
  for (auto& [telegram, box] : popup_checks_) box->setChecked(*settings_.popup_flag(telegram) != 0);
  txtLogFileSize_->setText(QString::number(settings_.LogFileSize));
  update_trace_frames();

  hsbMachine_->setValue(1);
  show_machine(1);
}

void frmRpcTarvikConfig::set_machine_count(int count) {
  machine_count_ = count;
  lblMachineCount_->setText(QString::number(count));
  lblCount_->setText(QString::number(count));
  hsbMachine_->setRange(1, count);  // clamps the shown machine, which stores the page first
}

void frmRpcTarvikConfig::store_machine_page() {
  if (shown_machine_ < 1) return;
  MachineEntry& e = working_[shown_machine_ - 1];
  e.MachineID = txtMachineID_->text().toStdString();
  e.MachineIP = txtMachineIP_->text().toStdString();
  if (!txtMachinePort_->text().isEmpty())
    if (const auto port = leading_number(txtMachinePort_->text())) e.MachinePort = *port;
  e.MachineTimeout = static_cast<std::int16_t>(std::max(0, cboMachineTimeout_->currentIndex()));
}

void frmRpcTarvikConfig::show_machine(int n) {
  if (n == shown_machine_) return;
  store_machine_page();
  shown_machine_ = n;
  const MachineEntry& e = working_[n - 1];
  lblMachine_->setText(QString::number(n));
  txtMachineID_->setText(QString::fromStdString(e.MachineID));
  txtMachineIP_->setText(QString::fromStdString(e.MachineIP));
  txtMachinePort_->setText(QString::number(e.MachinePort));
  cboMachineTimeout_->setCurrentIndex(std::clamp<int>(e.MachineTimeout, 0, 9));
}

void frmRpcTarvikConfig::update_trace_frames() {
  // With "Trace all" the single flags do not matter; they keep their ticks and are still saved.
  const bool single_flags = !chkTraceAll_->isChecked();
  fraRpcToVELD_RPC_->setEnabled(single_flags);
  fraRpcFromVELD_RPC_->setEnabled(single_flags);
}

void frmRpcTarvikConfig::on_ok() {
  store_machine_page();
  // A host port that is no number would leave the settings half taken over; keep the window open
  // with every edit instead, so nothing is lost and nothing is half applied.
  const std::optional<std::int32_t> port = whole_text_to_int32(txtHostPort_->text().toStdString());
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
  for (auto& [telegram, box] : trace_checks_) *settings_.trace_flag(telegram) = box->isChecked() ? 1 : 0;
  if (!txtLogFileSize_->text().isEmpty())
    if (const auto size = leading_number(txtLogFileSize_->text())) settings_.LogFileSize = *size;
  for (auto& [telegram, box] : popup_checks_) *settings_.popup_flag(telegram) = box->isChecked() ? 1 : 0;
  if (apply_) apply_();
  close();
}

}  // namespace tarvik::testprogram
