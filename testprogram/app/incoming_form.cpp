#include "testprogram/app/incoming_form.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "testprogram/app/form_host.h"
#include "testprogram/app/value_widths.h"
#include "testprogram/app/wrapping_label.h"

namespace tarvik::testprogram {
namespace {

// A value box sized for the widest value of its kind: numbers for -2147483648, names for five wide
// characters, a flag for one; texts have no limit and wrap inside their box instead.
QLabel* value_box(const QString& name, int index, ValueKind kind, bool multi_line, QWidget* parent) {
  QLabel* label = kind == ValueKind::text ? new WrappingLabel(multi_line ? 3 : 1, parent) : new QLabel(parent);
  label->setObjectName(name);
  label->setProperty("index", index);
  label->setTextFormat(Qt::PlainText);  // received texts are shown, never interpreted
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setMargin(1);
  // Rows keep their natural height: a squeezed row would cut its values at the bottom.
  label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  switch (kind) {
    case ValueKind::number:
      label->setTextInteractionFlags(Qt::TextSelectableByMouse);
      label->setMinimumWidth(label_width_for(*label, kWidestNumber));
      break;
    case ValueKind::name:
      label->setTextInteractionFlags(Qt::TextSelectableByMouse);
      label->setMinimumWidth(label_width_for(*label, QStringLiteral("WWWWW")));
      break;
    case ValueKind::flag:
      label->setMinimumWidth(label_width_for(*label, QStringLiteral("W")));
      break;
    case ValueKind::text:
      break;
  }
  return label;
}

}  // namespace

IncomingForm::IncomingForm(const IncomingFormDescription& description, FormHost& host)
    : QDialog(host.main_window()), description_(description), host_(host) {
  setObjectName(QString::fromStdString(description.form));
  setWindowTitle(QString::fromStdString(description.telegram + "()"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  build();
  place_over_main_window();
  const std::int16_t* flag = host_.current_settings().popup_flag(description_.telegram);
  chkPopup_->setChecked(flag && *flag != 0);
}

void IncomingForm::build() {
  auto* outer = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  outer->addLayout(grid);

  auto* machine_caption = new QLabel(QStringLiteral("Machine:"), this);
  machine_caption->setObjectName(QStringLiteral("llblText"));
  machine_caption->setProperty("index", 0);
  grid->addWidget(machine_caption, 0, 0);
  grid->addWidget(value_box(QStringLiteral("lblMachine"), 0, ValueKind::text, false, this), 0, 1);

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
      line->addWidget(value_box(QString::fromStdString(l.label), i, l.kind, l.multi_line, this), 1);
  }
  grid->setColumnStretch(1, 1);

  auto* bottom = new QHBoxLayout;
  chkPopup_ = new QCheckBox(QStringLiteral("&Popup on RPC"), this);
  chkPopup_->setObjectName(QString::fromStdString(description_.popup_check));
  bottom->addWidget(chkPopup_);
  bottom->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("&OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &IncomingForm::on_ok);
  bottom->addWidget(ok);
  outer->addLayout(bottom);
  // The layout's minimum keeps every value box whole; adjustSize() would cap a wide form at two
  // thirds of the screen and squeeze the report's columns over each other.
  resize(sizeHint().expandedTo(minimumSizeHint()).expandedTo(QSize(420, 0)));
}

void IncomingForm::place_over_main_window() {
  const QWidget* main = host_.main_window();
  if (!main) return;
  const QRect m = main->frameGeometry();
  const QSize size = frameGeometry().size();
  // Centred over the main window, then moved fully onto the main window's screen.
  const QPoint centred(m.left() + (m.width() - size.width()) / 2, m.top() + (m.height() - size.height()) / 2);
  const QScreen* screen = main->screen();
  move(screen ? fit_onto_screen(QRect(centred, size), screen->availableGeometry()) : centred);
}

void IncomingForm::grow_for_texts() {
  // A longer text wraps into more lines: give the form the height its texts need now, but never more
  // than the screen, so OK stays reachable however long a text is.
  for (WrappingLabel* l : findChildren<WrappingLabel*>()) l->fit_height();
  if (!layout()) return;
  layout()->activate();
  int needed = std::max(height(), sizeHint().height());
  const QScreen* s = screen();
  if (s) needed = std::min(needed, s->availableGeometry().height() - (frameGeometry().height() - height()));
  if (needed <= height()) return;
  resize(width(), needed);
  if (s)
    if (const QPoint p = fit_onto_screen(frameGeometry(), s->availableGeometry()); p != frameGeometry().topLeft())
      move(p);
}

QLabel* IncomingForm::value_label(const std::string& name, int index) const {
  for (QLabel* l : findChildren<QLabel*>(QString::fromStdString(name)))
    if (l->property("index").toInt() == index) return l;
  return nullptr;
}

void IncomingForm::show_telegram(const std::string& machine_name, std::span<const com::Variant> args) {
  if (QLabel* m = value_label("lblMachine")) m->setText(QString::fromStdString(machine_name));
  for (const LabelText& t : label_texts(description_, args))
    if (QLabel* l = value_label(t.label, t.index)) l->setText(QString::fromStdString(t.text));
  grow_for_texts();
}

void IncomingForm::on_ok() {
  const std::int16_t value = chkPopup_->isChecked() ? 1 : 0;
  if (std::int16_t* flag = host_.current_settings().popup_flag(description_.telegram)) *flag = value;
  host_.save_setting("Trace", description_.popup_key, value ? "1" : "0");
  close();
}

}  // namespace tarvik::testprogram
