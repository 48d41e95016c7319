// libFuzzer target over the telegram table: the first byte picks one of the 27 procedures and the
// byte order, the rest is its request stub; unmarshal -> marshal -> unmarshal must agree (see
// tests/support/telegram_round_trip.h). Seeds: fuzz/seeds/telegrams, one per procedure,
// encoded by the independent peer. The same property runs over every bit flip of the seeds in
// CTest (protocol_bitflip_tests).
#include <cstddef>
#include <cstdint>

#include "tests/support/telegram_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!tarvik::test::telegram_round_trip_holds(data, size)) __builtin_trap();
  return 0;
}
