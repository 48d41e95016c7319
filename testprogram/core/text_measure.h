// How wide a line of text is in the window that shows the log echo, so that call records wrap where
// that window would. The main window implements it from its font and the width of its text box; tests
// use FixedWidthMeasure.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarvik::testprogram {

class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  // Width of `text` (UTF-8, one line) in the echo box's font. Any unit, the same as available_width().
  virtual double text_width(std::string_view text) const = 0;
  // Width of the echo box at this moment.
  virtual double available_width() const = 0;
};

// Every character is one unit wide; the box is `columns` characters wide.
class FixedWidthMeasure : public TextMeasure {
 public:
  explicit FixedWidthMeasure(std::size_t columns) : columns_(columns) {}
  void set_columns(std::size_t columns) { columns_ = columns; }
  double text_width(std::string_view text) const override;
  double available_width() const override { return static_cast<double>(columns_); }

 private:
  std::size_t columns_;
};

}  // namespace tarvik::testprogram
