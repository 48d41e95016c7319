#include "testprogram/app/mnemonics.h"

namespace tarvik::testprogram {

QString MnemonicAssigner::mark(const QString& caption) {
  QString escaped = caption;
  escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
  for (qsizetype i = 0; i < escaped.size(); ++i) {
    const QChar c = escaped[i];
    if (c == QLatin1Char('&')) {
      ++i;  // "&&" is a literal '&'
      continue;
    }
    if (!c.isLetterOrNumber() || c.unicode() > 0x7F || used_.contains(c.toCaseFolded())) continue;
    used_.insert(c.toCaseFolded());
    return escaped.left(i) + QLatin1Char('&') + escaped.mid(i);
  }
  return escaped;
}

QString shown_caption(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

}  // namespace tarvik::testprogram
