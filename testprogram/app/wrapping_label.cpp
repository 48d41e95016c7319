#include "testprogram/app/wrapping_label.h"

#include <QPainter>
#include <algorithm>
#include <climits>

namespace tarvik::testprogram {
namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;
// Width of the box before the layout gives it more: this many average characters.
constexpr int kHintCharacters = 24;

}  // namespace

WrappingLabel::WrappingLabel(int min_lines, QWidget* parent) : QLabel(parent), min_lines_(std::max(1, min_lines)) {
  setTextFormat(Qt::PlainText);
  // The label paints its text itself, so QLabel's own text control must not handle it.
  setTextInteractionFlags(Qt::NoTextInteraction);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int WrappingLabel::heightForWidth(int width) const {
  const QMargins m = contentsMargins();
  const int inner = std::max(1, width - m.left() - m.right() - 2 * margin());
  const QRect text = fontMetrics().boundingRect(QRect(0, 0, inner, INT_MAX / 2), kTextFlags, this->text());
  const int lines = min_lines_ * fontMetrics().lineSpacing();
  return std::max(text.height(), lines) + m.top() + m.bottom() + 2 * margin();
}

QSize WrappingLabel::minimumSizeHint() const {
  const QMargins m = contentsMargins();
  const int width = fontMetrics().averageCharWidth() * 4 + m.left() + m.right() + 2 * margin();
  return {width, heightForWidth(width)};
}

QSize WrappingLabel::sizeHint() const {
  const QMargins m = contentsMargins();
  const int one_line = fontMetrics().horizontalAdvance(text()) + m.left() + m.right() + 2 * margin() + 2;
  const int width = std::min(one_line, fontMetrics().averageCharWidth() * kHintCharacters);
  const int hint = std::max(width, minimumSizeHint().width());
  return {hint, heightForWidth(hint)};
}

void WrappingLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);  // the frame
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()), kTextFlags, text());
}

}  // namespace tarvik::testprogram
