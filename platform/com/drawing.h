// Drawing a control: the abstract target a container implements (with QPainter, for example) and the
// interface through which it asks an object to draw itself.
//
// Coordinates are the target's device units (pixels), x to the right, y downwards; rectangles include
// left/top and exclude right/bottom. Colours are 0x00BBGGRR (red in the low byte).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/unknown.h"

namespace tarvik::com {

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

using ColorRef = std::uint32_t;
constexpr ColorRef rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return ColorRef{r} | (ColorRef{g} << 8) | (ColorRef{b} << 16);
}

enum class TextAlign {
  top_left,       // the point is the top-left corner of the text
  baseline_left,  // the point is on the baseline, at the left end of the text
};

// Implemented by a container for the duration of one drawing. Called on the container's thread.
class DrawTarget {
 public:
  virtual ~DrawTarget() = default;
  virtual void fill_rect(const Rect& r, ColorRef color) = 0;
  // A one-unit frame just inside the rectangle.
  virtual void frame_rect(const Rect& r, ColorRef color) = 0;
  // Writes `text` at (x, y) in the target's current font and text colour.
  virtual void text_out(std::int32_t x, std::int32_t y, TextAlign align, std::u16string_view text) = 0;
};

struct IViewObject : IUnknown {
  static constexpr Guid kIid = make_guid("{0000010D-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  // Draws the object into `bounds` of `target`.
  virtual HRESULT Draw(DrawTarget* target, const Rect& bounds) = 0;
  // The object's display extent in units of 0.01 mm.
  virtual HRESULT GetExtent(Size* extent) = 0;

 protected:
  ~IViewObject() = default;
};

// A DrawTarget that records what is drawn, for tests.
class RecordingDrawTarget final : public DrawTarget {
 public:
  struct Op {
    enum class Kind { fill, frame, text } kind;
    Rect rect;  // fill, frame
    ColorRef color = 0;
    std::int32_t x = 0, y = 0;  // text
    TextAlign align = TextAlign::top_left;
    std::u16string text;
  };
  void fill_rect(const Rect& r, ColorRef color) override {
    ops.push_back({Op::Kind::fill, r, color, 0, 0, {}, {}});
  }
  void frame_rect(const Rect& r, ColorRef color) override {
    ops.push_back({Op::Kind::frame, r, color, 0, 0, {}, {}});
  }
  void text_out(std::int32_t x, std::int32_t y, TextAlign align, std::u16string_view text) override {
    ops.push_back({Op::Kind::text, {}, 0, x, y, align, std::u16string(text)});
  }
  std::vector<Op> ops;
};

}  // namespace tarvik::com
