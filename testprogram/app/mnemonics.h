// Keyboard mnemonics for captions: each caption of a window gets the first of its letters or digits
// that no other caption of that window has taken yet ("OrderNum:" -> "&OrderNum:", then "Machine:"
// -> "&Machine:", "MachineMode:" -> "M&achineMode:"). A caption without a free character stays as it
// is. An '&' that is part of the caption is doubled so it shows as itself.
// Threads: any.
#pragma once

#include <QSet>
#include <QString>

namespace tarvik::testprogram {

class MnemonicAssigner {
 public:
  // Takes the characters of captions that carry a fixed mnemonic already ("&OK").
  void reserve(QChar c) { used_.insert(c.toCaseFolded()); }
  // The caption with a mnemonic marked, if one is free.
  QString mark(const QString& caption);

 private:
  QSet<QChar> used_;
};

// The caption as shown: without the mnemonic marks ("&&" shows as "&").
QString shown_caption(const QString& text);

}  // namespace tarvik::testprogram
