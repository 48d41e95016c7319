#include "testprogram/app/incoming_form.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "testprogram/app/form_host.h"

namespace tarvik::testprogram {
namespace {

QLabel* ValueBox(const QString& name, int index, bool multi_line, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setProperty("index", index);
  label->setTextFormat(Qt::PlainText);  // received texts are shown, never interpreted
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(60);
  if (multi_line) {
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMinimumHeight(label->fontMetrics().lineSpacing() * 3 + 4);
  }
  return label;
}

}  // namespace

IncomingForm::IncomingForm(const IncomingFormDescription& description, FormHost& host)
    : QDialog(host.MainWindow()), description_(description), host_(host) {
  setObjectName(QString::fromStdString(description.form));
  setWindowTitle(QString::fromStdString(description.telegram + "()"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  Build();
  PlaceOverMainWindow();
  const std::int16_t* flag = host_.CurrentSettings().PopupFlag(description_.telegram);
  chkPopup_->setChecked(flag && *flag != 0);
}

void IncomingForm::Build() {
  auto* outer = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  outer->addLayout(grid);

  auto* machine_caption = new QLabel(QStringLiteral("Machine:"), this);
  machine_caption->setObjectName(QStringLiteral("llblText"));
  machine_caption->setProperty("index", 0);
  grid->addWidget(machine_caption, 0, 0);
  grid->addWidget(ValueBox(QStringLiteral("lblMachine"), 0, false, this), 0, 1);

  int row = 0;
  int caption_index = 0;
  QHBoxLayout* line = nullptr;
  for (const IncomingLabel& l : description_.labels) {
    auto* caption = l.caption.empty() ? nullptr : new QLabel(QString::fromStdString(l.caption), this);
    if (caption) {
      caption->setObjectName(QStringLiteral("lblText"));
      caption->setProperty("index", caption_index++);
    }
    if (l.new_row) {
      line = new QHBoxLayout;
      ++row;
      grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignTop);
      grid->addLayout(line, row, 1);
    } else if (caption) {
      line->addSpacing(8);
      line->addWidget(caption);
    }
    // The columns of a table stand side by side, column 0 on the left.
    for (int i = 0; i < l.elements; ++i)
      line->addWidget(ValueBox(QString::fromStdString(l.label), i, l.multi_line, this), 1);
  }
  grid->setColumnStretch(1, 1);

  auto* bottom = new QHBoxLayout;
  chkPopup_ = new QCheckBox(QStringLiteral("Popup on RPC"), this);
  chkPopup_->setObjectName(QString::fromStdString(description_.popup_check));
  bottom->addWidget(chkPopup_);
  bottom->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &IncomingForm::OnOK);
  bottom->addWidget(ok);
  outer->addLayout(bottom);
  setMinimumWidth(description_.telegram == "R_REPORT_H" ? 640 : 420);
  adjustSize();
}

void IncomingForm::PlaceOverMainWindow() {
  const QWidget* main = host_.MainWindow();
  if (!main) return;
  const QRect m = main->frameGeometry();
  const QSize size = frameGeometry().size();
  move(m.left() + (m.width() - size.width()) / 2, m.top() + (m.height() - size.height()) / 2);
}

QLabel* IncomingForm::ValueLabel(const std::string& name, int index) const {
  for (QLabel* l : findChildren<QLabel*>(QString::fromStdString(name)))
    if (l->property("index").toInt() == index) return l;
  return nullptr;
}

void IncomingForm::ShowTelegram(const std::string& machine_name, std::span<const com::Variant> args) {
  if (QLabel* m = ValueLabel("lblMachine")) m->setText(QString::fromStdString(machine_name));
  for (const LabelText& t : LabelTexts(description_, args))
    if (QLabel* l = ValueLabel(t.label, t.index)) l->setText(QString::fromStdString(t.text));
}

void IncomingForm::OnOK() {
  const std::int16_t value = chkPopup_->isChecked() ? 1 : 0;
  if (std::int16_t* flag = host_.CurrentSettings().PopupFlag(description_.telegram)) *flag = value;
  host_.SaveSetting("Trace", description_.popup_key, value ? "1" : "0");
  close();
}

}  // namespace tarvik::testprogram
