// Sizes that let a value box show the widest value its field can hold, and the rule that keeps a
// window fully on its screen.
// Threads: the UI thread.
#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;

namespace tarvik::testprogram {

// The widest signed 32-bit number.
inline const QString kWidestNumber = QStringLiteral("-2147483648");

// The width a line edit needs to show `text` whole.
int line_edit_width_for(const QLineEdit& edit, const QString& text);
// The width a (framed) label needs to show `text` on one line.
int label_width_for(const QLabel& label, const QString& text);

// Where a window of `window` (frame geometry) goes so that it lies fully inside `screen` (the
// screen's available geometry): moved as little as possible; a window larger than the screen keeps
// its top left corner on the screen, so its caption and the start of its values stay visible.
QPoint fit_onto_screen(const QRect& window, const QRect& screen);

}  // namespace tarvik::testprogram
