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
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  fit_height();
}

int WrappingLabel::height_for(int width) const {
  const int frame_width = rect().width() - contentsRect().width();
  const int frame_height = rect().height() - contentsRect().height();
  const int inner = std::max(1, width - frame_width - 2 * margin());
  const QRect text = fontMetrics().boundingRect(QRect(0, 0, inner, INT_MAX / 2), kTextFlags, this->text());
  return std::max(text.height(), min_lines_ * fontMetrics().lineSpacing()) + frame_height + 2 * margin();
}

void WrappingLabel::fit_height() {
  const int needed = height_for(width());
  if (needed != minimumHeight()) setFixedHeight(needed);
}

QSize WrappingLabel::minimumSizeHint() const {
  const int frame_width = rect().width() - contentsRect().width();
  return {fontMetrics().averageCharWidth() * 4 + frame_width + 2 * margin(), minimumHeight()};
}

QSize WrappingLabel::sizeHint() const {
  const int frame_width = rect().width() - contentsRect().width();
  const int one_line = fontMetrics().horizontalAdvance(text()) + frame_width + 2 * margin() + 2;
  const int width = std::min(one_line, fontMetrics().averageCharWidth() * kHintCharacters);
  return {std::max(width, minimumSizeHint().width()), minimumHeight()};
}

void WrappingLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fit_height();  // a narrower box needs more lines
}

void WrappingLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);  // the frame
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()), kTextFlags, text());
}

}  // namespace tarvik::testprogram
