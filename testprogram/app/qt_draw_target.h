// The component layer's drawing target (com::DrawTarget) over a QPainter, so a control can draw
// itself into any Qt paint device (a widget, an image for a screenshot).
// Threads: the UI thread, for the duration of one paint.
#pragma once

#include <QPainter>

#include "platform/com/drawing.h"

namespace tarvik::testprogram {

class QtDrawTarget final : public com::DrawTarget {
 public:
  // `painter` must be active and outlive the target.
  explicit QtDrawTarget(QPainter& painter) : painter_(painter) {}
  void fill_rect(const com::Rect& r, com::ColorRef color) override;
  void frame_rect(const com::Rect& r, com::ColorRef color) override;
  void text_out(std::int32_t x, std::int32_t y, com::TextAlign align, std::u16string_view text) override;

  static QColor to_qcolor(com::ColorRef color);

 private:
  QPainter& painter_;
};

}  // namespace tarvik::testprogram
