// The values a call record holds: numbers, bytes, texts and lists of them (the arrays of a telegram,
// such as the ten Flag bytes of a report).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tarvik::testprogram {

// An 8-bit value that a list writes as the character with that code.
struct RpcByte {
  std::uint8_t value = 0;
};

// One element of a list.
using RpcScalar = std::variant<std::int32_t, double, RpcByte, std::string>;

// An array of values with its lower bound; the upper bound is lower_bound + size - 1.
struct RpcList {
  std::int32_t lower_bound = 0;
  std::vector<RpcScalar> elements;
};

// A value of a call record. Texts are UTF-8. A double is a number read from a field before rounding.
using RpcValue = std::variant<std::int32_t, double, RpcByte, std::string, RpcList>;

}  // namespace tarvik::testprogram
