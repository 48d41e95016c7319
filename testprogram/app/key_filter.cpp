#include "testprogram/app/key_filter.h"

#include <QKeyEvent>

#include "testprogram/app/user_prompts.h"
#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {

DigitKeyFilter::DigitKeyFilter(UserPrompts& prompts, QObject* parent) : QObject(parent), prompts_(prompts) {}

bool DigitKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString typed = key->text();
  // Navigation and editing keys type control characters ("\t", "\r", "\x1b", "\b", "\x7f") or nothing.
  for (const QChar c : typed)
    if (!c.isPrint()) return false;
  for (const QChar c : typed) {
    if (!key_filter_accepts(c.unicode())) {
      prompts_.beep();
      return true;
    }
  }
  return false;
}

}  // namespace tarvik::testprogram
