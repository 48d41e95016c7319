// libFuzzer target: arbitrary bytes into the PDU decoders and a server connection.
#include <cstdlib>

#include "tests/support/server_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!tarvik::rpc::fuzzing::exercise(std::span(data, size))) std::abort();
  return 0;
}
