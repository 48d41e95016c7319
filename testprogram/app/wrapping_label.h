// A value label for received texts: the text wraps at word boundaries, and anywhere inside a word
// that is wider than the box (an NC program path without blanks), so nothing is cut at the right
// edge. The box grows in height with its text (height for width). Shown as plain text.
// Threads: the UI thread.
#pragma once

#include <QLabel>

namespace tarvik::testprogram {

class WrappingLabel final : public QLabel {
  Q_OBJECT
 public:
  // `min_lines`: the height the box keeps even when empty or short.
  WrappingLabel(int min_lines, QWidget* parent);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int min_lines_;
};

}  // namespace tarvik::testprogram
