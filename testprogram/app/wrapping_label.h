// A value label for received texts: the text wraps at word boundaries, and anywhere inside a word
// that is wider than the box (an NC program path without blanks), so nothing is cut at the right
// edge. The box keeps the height its text needs at its present width (as its minimum height), so
// the form grows with a longer text. Shown as plain text.
// Threads: the UI thread.
#pragma once

#include <QLabel>

namespace tarvik::testprogram {

class WrappingLabel final : public QLabel {
  Q_OBJECT
 public:
  // `min_lines`: the height the box keeps even when empty or short.
  WrappingLabel(int min_lines, QWidget* parent);

  // The height the text needs at `width`, frame included.
  int height_for(int width) const;
  // Takes the height the present text needs at the present width; call after setText.
  void fit_height();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int min_lines_;
};

}  // namespace tarvik::testprogram
