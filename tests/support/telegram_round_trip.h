// The property the telegram fuzz target and the bit-flip test check on arbitrary bytes: the first
// byte picks a procedure of the table (index = byte % 27) and the byte order (odd byte / 27:
// big-endian), the rest is its request stub. A stub that is accepted must survive
// unmarshal -> marshal -> unmarshal with equal values and equal bytes on the second marshal, and
// the printers and event views must take it; a refused stub must be refused as bad stub data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvik::test {

// False when the property is broken (the fuzz target traps on it). Never reads past `size`.
bool telegram_round_trip_holds(const std::uint8_t* data, std::size_t size);

}  // namespace tarvik::test
