#include "testprogram/app/value_widths.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace tarvik::testprogram {

int line_edit_width_for(const QLineEdit& edit, const QString& text) {
  // As QLineEdit sizes itself: text, its inner margins (2 px a side), the caret, then the frame.
  const QMargins margins = edit.textMargins();
  const int inner = edit.fontMetrics().horizontalAdvance(text) + 4 + 1 + margins.left() + margins.right();
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.lineWidth = edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
  return edit.style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(inner, edit.fontMetrics().height()), &edit).width();
}

int label_width_for(const QLabel& label, const QString& text) {
  // The frame and contents margins: what the label's rectangle has beyond its contents rectangle.
  const int frame = label.rect().width() - label.contentsRect().width();
  return label.fontMetrics().horizontalAdvance(text) + frame + 2 * label.margin() + 2;
}

QPoint fit_onto_screen(const QRect& window, const QRect& screen) {
  const int x = std::max(screen.left(), std::min(window.left(), screen.right() + 1 - window.width()));
  const int y = std::max(screen.top(), std::min(window.top(), screen.bottom() + 1 - window.height()));
  return {x, y};
}

}  // namespace tarvik::testprogram
