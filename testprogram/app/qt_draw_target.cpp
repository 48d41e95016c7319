#include "testprogram/app/qt_draw_target.h"

#include <QFontMetrics>

namespace tarvik::testprogram {

QColor QtDrawTarget::to_qcolor(com::ColorRef color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

void QtDrawTarget::fill_rect(const com::Rect& r, com::ColorRef color) {
  painter_.fillRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)), to_qcolor(color));
}

void QtDrawTarget::frame_rect(const com::Rect& r, com::ColorRef color) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  painter_.save();
  painter_.setPen(QPen(to_qcolor(color), 0));
  painter_.setBrush(Qt::NoBrush);
  // One unit just inside the rectangle, whose right and bottom edges are excluded.
  painter_.drawRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)).adjusted(0, 0, -1, -1));
  painter_.restore();
}

void QtDrawTarget::text_out(std::int32_t x, std::int32_t y, com::TextAlign align, std::u16string_view text) {
  const QString s = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  const int baseline = align == com::TextAlign::top_left ? y + QFontMetrics(painter_.font()).ascent() : y;
  painter_.drawText(QPoint(x, baseline), s);
}

}  // namespace tarvik::testprogram
