#include "testprogram/core/text_measure.h"

namespace tarvik::testprogram {

double FixedWidthMeasure::text_width(std::string_view text) const {
  // Counts code points: every byte that does not continue a UTF-8 sequence starts a character.
  std::size_t characters = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  }
  return static_cast<double>(characters);
}

}  // namespace tarvik::testprogram
