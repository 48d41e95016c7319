#include "testprogram/app/status_panels.h"

#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

#ifdef TARVIK_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace tarvik::testprogram {

std::optional<KeyboardLocks> read_keyboard_locks() {
#ifdef TARVIK_HAVE_X11
  if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
    unsigned int state = 0;
    if (Display* display = x11->display(); display && XkbGetIndicatorState(display, XkbUseCoreKbd, &state) == Success)
      return KeyboardLocks{(state & 0x1) != 0, (state & 0x2) != 0, (state & 0x4) != 0};
  }
#endif
  return std::nullopt;
}

namespace {

QLabel* panel(const QString& name, const QString& text, QStatusBar* bar) {
  auto* label = new QLabel(text, bar);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
  bar->addPermanentWidget(label);
  return label;
}

}  // namespace

StatusPanels::StatusPanels(QStatusBar* bar)
    : QObject(bar),
      caps_(panel(QStringLiteral("pnlCaps"), QStringLiteral("CAPS"), bar)),
      num_(panel(QStringLiteral("pnlNum"), QStringLiteral("NUM"), bar)),
      scroll_(panel(QStringLiteral("pnlScroll"), QStringLiteral("SCRL"), bar)),
      empty_(panel(QStringLiteral("pnlText"), QString(), bar)),
      time_(panel(QStringLiteral("pnlTime"), QString(), bar)),
      timer_(new QTimer(this)) {
  empty_->setMinimumWidth(60);
  connect(timer_, &QTimer::timeout, this, &StatusPanels::refresh);
  timer_->start(500);
  refresh();
}

void StatusPanels::refresh() {
  const std::optional<KeyboardLocks> locks = read_keyboard_locks();
  caps_->setEnabled(locks && locks->caps);
  num_->setEnabled(locks && locks->num);
  scroll_->setEnabled(locks && locks->scroll);
  time_->setText(QTime::currentTime().toString(QStringLiteral("HH:mm")));
}

}  // namespace tarvik::testprogram
