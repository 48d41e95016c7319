// libFuzzer target: arbitrary bytes as a capture file (pcap or pcapng) through the capture reader,
// its TCP reassembly and the DCE RPC conversations.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/capture_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::uint8_t> copy(data, data + size);
  std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
  if (f == nullptr) return 0;
  tarvik::cli::CaptureContents contents;
  std::string error;
  if (!tarvik::cli::read_capture_stream(f, contents, error) && error.empty()) std::abort();
  return 0;
}
